// Runs one build in a process of its own and then ends, as Forgeway does,
// while the compilers it started may still be running:
//
//     BuildProbe <the program's own path> <compiler>
//
// The wait dialog runs on a fast clock and the ten-second wait gives up at
// once.  Prints every box it was shown, one a line.
#include "runtime/NativeText.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Hostile.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char **argv) {
    if (argc != 3)
        return 2;
    QApplication qt(argc, argv);
    AppFixture f;
    f.seam.exe = argv[1];
    f.startForReal(argv[2], 5000);
    hostile::WaitDialogDriver driver;
    Form1->BitBtn1->click();
    for (const QString &box : f.seam.boxes)
        std::printf("%s\n", qPrintable(box));
    return 0;
}

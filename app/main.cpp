// Forgeway: builds the Lumio demo that lies beside it with the command-line
// compiler it finds, and starts the result.
#include "forms/Unit1.h"
#include "forms/Unit2.h"
#include "runtime/Application.h"
#include "runtime/SystemSeam.h"

#include <QApplication>
#include <QIcon>

#ifndef FORGEWAY_GENERATION
#error "FORGEWAY_GENERATION must be 3 or 4"
#endif

int main(int argc, char *argv[]) {
    QApplication qt(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Forgeway"));
    // MAINICON, in the sizes window systems ask for; every window shows it.
    QIcon icon;
    for (int size : {16, 32, 48, 64, 256})
        icon.addFile(QStringLiteral(":/app/icons/forgeway-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    SystemSeam seam;
    TApplication app(seam, FORGEWAY_GENERATION == 3 ? RuntimeGeneration::Delphi3
                                                    : RuntimeGeneration::Delphi4);
    app.Initialize();
    app.CreateForm(Form1);
    app.CreateForm(Form2);
    return app.Run();
}

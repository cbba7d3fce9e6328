// Forgeway: builds the Lumio demo that lies beside it with the command-line
// compiler it finds, and starts the result.
#include "Application.h"
#include "SystemSeam.h"
#include "Unit1.h"
#include "Unit2.h"

#include <QApplication>

#ifndef FORGEWAY_GENERATION
#error "FORGEWAY_GENERATION must be 3 or 4"
#endif

int main(int argc, char *argv[]) {
    QApplication qt(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Forgeway"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app/Forgeway.svg")));

    SystemSeam seam;
    TApplication app(seam, FORGEWAY_GENERATION == 3 ? RuntimeGeneration::Delphi3
                                                    : RuntimeGeneration::Delphi4);
    app.Initialize();
    app.CreateForm(Form1);
    app.CreateForm(Form2);
    return app.Run();
}

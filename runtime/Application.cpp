#include "runtime/Application.h"

#include "runtime/Form.h"
#include "runtime/Seam.h"

#include <QApplication>
#include <QEventLoop>
#include <QFont>
#include <QTimer>

TApplication *Application = nullptr;

TApplication::TApplication(Seam &seam, RuntimeGeneration generation)
    : seam_(seam), generation_(generation) {
    Application = this;
}

TApplication::~TApplication() {
    // Windows go in the reverse order of their creation.
    while (!forms_.empty())
        forms_.pop_back();
    if (Application == this)
        Application = nullptr;
}

void TApplication::Initialize() {
    QApplication::setQuitOnLastWindowClosed(true);
    // Where the Windows faces are missing, fontconfig maps Arial and Times New Roman to their
    // metric-compatible Liberation faces, but MS Sans Serif to whatever it takes for sans-serif,
    // which on a machine with only fonts-liberation is Liberation Mono; so is the toolkit's own
    // default face, which message boxes and the open dialog would take.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Times New Roman"),
                              QStringLiteral("Liberation Serif"));
    QApplication::setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
}

void TApplication::adopt(TForm *form) {
    forms_.emplace_back(form);
}

int TApplication::Run() {
    if (TForm *main = MainForm())
        main->show();
    if (terminated_)
        return 0;
    return QApplication::exec();
}

void TApplication::ProcessMessagesIfDue() {
    const auto now = std::chrono::steady_clock::now();
    if (now < nextPass_)
        return;
    nextPass_ = now + std::chrono::milliseconds(1);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TApplication::ProcessMessagesOrWait(int maxWaitMs) {
    // The timer wakes the dispatcher when nothing else does.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(maxWaitMs);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void TApplication::Minimize() {
    for (const auto &form : forms_)
        if (form->isVisible())
            form->showMinimized();
}

void TApplication::Terminate() {
    terminated_ = true;
    seam_.terminate();
}

std::string TApplication::ExeName() const {
    return seam_.exeName();
}

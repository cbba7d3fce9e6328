// The build-and-run workflow behind the main button: compile the six demo
// units and the project with the chosen compiler, wait for Lumio.EXE, and
// offer to start it.
#include "forms/Unit1.h"

#include "core/CompileCommand.h"
#include "core/KitLayout.h"
#include "forms/Unit2.h"
#include "runtime/Application.h"
#include "runtime/Dialogs.h"
#include "runtime/NativeText.h"
#include "runtime/Seam.h"
#include "runtime/host/Clock.h"
#include "runtime/host/FileSearch.h"

namespace {

constexpr std::uint32_t OutputWaitMs = 10000;
// How long one cycle of the output wait may sleep when nothing happens.
constexpr int OutputPollMs = 10;

// Clears the progress text however the workflow ends.
class FinishStep {
public:
    explicit FinishStep(TStatusBar *bar) : bar_(bar) {}
    ~FinishStep() { bar_->Panels(1).SetText(QString()); }
    FinishStep(const FinishStep &) = delete;
    FinishStep &operator=(const FinishStep &) = delete;

private:
    TStatusBar *bar_;
};

} // namespace

void TForm1::BitBtn1Click(QObject *) {
    const std::string exe = Application->ExeName();
    const std::string demoDir = kit::DemoDir(exe);
    const std::string unitDir = kit::UnitDir(exe, RG->ItemIndex());
    const std::string output = kit::DemoFile(demoDir, kit::OutputProgram);
    FinishStep finish(SB);

    if (!host::PathExists(toNative(Edit1->text()), host::faAnyFile)) {
        Beep();
        ShowMessage(QStringLiteral("DCC32.EXE not found this path: ") + Edit1->text());
        return;
    }
    if (!host::PathExists(unitDir, host::faDirectory) &&
        !host::PathExists(demoDir, host::faDirectory)) {
        ShowMessage(QStringLiteral("Directory not found: \r") + fromNative(unitDir) +
                    QStringLiteral("\r\rOR\r\r") + fromNative(demoDir));
        return;
    }
    SB->Panels(1).SetText(QStringLiteral("Please wait..."));

    if (!host::PathExists(output, host::faAnyFile))
        for (const kit::DemoUnit &unit : kit::DemoUnitTable)
            StartCompile(kit::DemoFile(demoDir, unit.source), unitDir);

    Form2->ShowModal();

    if (!host::PathExists(output, host::faAnyFile)) {
        StartCompile(kit::DemoFile(demoDir, kit::ProjectSource), unitDir);
        ShowMessage(QStringLiteral("*.Pas compile. Click OK to continue and compile Lumio.DPR!"));
    }

    if (!WaitForOutput(output)) {
        ShowMessage(QStringLiteral("Could not compile Lumio.DPR! Try to run this application "
                                   "again, or install Tessaline into the Delphi, and try compile "
                                   "with Delphi..."));
        return;
    }
    if (MessageDlg(QStringLiteral("OK. Compile successfully completed! Now run the Lumio.EXE"),
                   TMsgDlgType::mtInformation, mbOK | mbCancel, 0) == mrCancel)
        return;
    RunOutput(output);
}

void TForm1::StartCompile(const std::string &source, const std::string &unitDir) {
    const CompileCommandLine line = CompileCommand(toNative(Edit1->text()), source, unitDir);
    // The compiler's results show only as files; a start that fails shows as
    // files that never appear.
    (void)Application->seam().startProcess(line.program, line.args);
}

bool TForm1::WaitForOutput(const std::string &output) {
    Seam &seam = Application->seam();
    const std::uint32_t start = seam.tickCount();
    for (;;) {
        if (host::PathExists(output, host::faAnyFile))
            break;
        if (host::TicksSince(start, seam.tickCount()) >= OutputWaitMs)
            break;
        Application->ProcessMessagesOrWait(OutputPollMs);
    }
    return host::PathExists(output, host::faAnyFile);
}

void TForm1::RunOutput(const std::string &output) {
    Refresh();
    const host::StartResult started = Application->seam().startProcess(output, {});
    if (!started.started) {
        // Ending silently here would look like success.
        ShowMessage(QStringLiteral("Could not start %1: %2")
                        .arg(fromNative(output), fromNative(started.error)));
        return;
    }
    Application->Minimize();
    Tag = 1;
    Application->Terminate();
}

// The build-and-run workflow behind the main button: compile the six demo
// units and the project with the chosen compiler, wait for Lumio.EXE, and
// offer to start it.  When it fails, the message offers what the compiles
// that made nothing wrote, as its details.
#include "forms/Unit1.h"

#include "core/CompileCommand.h"
#include "core/KitLayout.h"
#include "forms/CompileLog.h"
#include "forms/Unit2.h"
#include "host/Clock.h"
#include "host/FileSearch.h"
#include "runtime/Application.h"
#include "runtime/Dialogs.h"
#include "runtime/NativeText.h"
#include "runtime/Seam.h"

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

    // What each compile of this run wrote, and the units' outputs in the order
    // they are compiled.
    CompileLog log(Application->seam());
    std::vector<std::string> compiledUnits;
    for (const kit::DemoUnit &unit : kit::DemoUnitTable)
        compiledUnits.push_back(kit::DemoFile(demoDir, unit.compiled));

    if (!host::PathExists(output, host::faAnyFile))
        for (const kit::DemoUnit &unit : kit::DemoUnitTable)
            StartCompile(log, kit::DemoFile(demoDir, unit.source), unitDir,
                         kit::DemoFile(demoDir, unit.compiled));

    Form2->ShowModal();

    if (!host::PathExists(output, host::faAnyFile)) {
        StartCompile(log, kit::DemoFile(demoDir, kit::ProjectSource), unitDir, output);
        // Units still missing when the dialog ran out of time: what their
        // compiles said so far.
        ShowMessage(QStringLiteral("*.Pas compile. Click OK to continue and compile Lumio.DPR!"),
                    Form2->RanOut() ? log.Details(compiledUnits) : QString());
    }

    if (!WaitForOutput(output)) {
        std::vector<std::string> missing{output};
        missing.insert(missing.end(), compiledUnits.begin(), compiledUnits.end());
        ShowMessage(QStringLiteral("Could not compile Lumio.DPR! Try to run this application "
                                   "again, or install Tessaline into the Delphi, and try compile "
                                   "with Delphi..."),
                    log.Details(missing));
        return;
    }
    if (MessageDlg(QStringLiteral("OK. Compile successfully completed! Now run the Lumio.EXE"),
                   TMsgDlgType::mtInformation, mbOK | mbCancel, 0) == mrCancel)
        return;
    RunOutput(output);
}

void TForm1::StartCompile(CompileLog &log, const std::string &source, const std::string &unitDir,
                          const std::string &output) {
    // The compiler's results show as files; a start that fails shows as a file
    // that never appears, and in the details of the message that follows.
    log.Start(CompileCommand(toNative(Edit1->text()), source, unitDir), output);
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
    const host::StartResult started = Application->seam().startProcess(output, {}, nullptr);
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

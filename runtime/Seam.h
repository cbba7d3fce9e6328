// Everything outside the program that its behaviour depends on and that a
// test must be able to control: the user's answers to message boxes and the
// open dialog, process starts, the tick counter, the drive table, the
// program's own path, and the end of the program.
//
// The application object holds exactly one Seam.  The program uses the
// system's (SystemSeam); tests hand in their own.
#pragma once

#include "host/Process.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QWidget;

class Seam {
public:
    virtual ~Seam() = default;

    // The running executable's full path, as native bytes.
    virtual std::string exeName() = 0;
    virtual std::uint32_t tickCount() = 0;
    // Starts a program and returns at once (host::StartProcess); its standard
    // output and error go into output, or nowhere when it is null.
    virtual host::StartResult startProcess(const std::string &program,
                                           const std::vector<std::string> &args,
                                           const host::OutputCapture *output) = 0;
    virtual std::vector<std::string> driveRoots() = 0;

    // A modal box with one OK button.  Details, when not empty, are offered
    // behind a "Show Details..." button.
    virtual void showMessage(QWidget *parent, const QString &text, const QString &details) = 0;
    // A modal information box with OK and Cancel; true for OK.
    virtual bool confirm(QWidget *parent, const QString &text) = 0;
    virtual void beep() = 0;
    // The open-file dialog; the chosen path, or nothing when cancelled.
    virtual std::optional<QString> openFile(QWidget *parent, const QString &initialName,
                                            const QString &filter) = 0;

    // Asks the application's event loop to end once the running handler
    // returns.
    virtual void terminate() = 0;
};

// The main window: the compiler's path and version, the button that builds
// and runs the demo, and the automatic search for the compiler at start.
//
// Its controls come from Unit1.ui (Ui::TForm1); the non-visual components are
// made here.  The handlers are bound to their events in the constructor and
// run only through those events.
#pragma once

#include "runtime/Form.h"
#include "ui_Unit1.h"

#include <string>

class CompileLog;
class TFileFind;
class TOpenDialog;
class TTimer;

class TForm1 : public TForm, public Ui::TForm1 {
    Q_OBJECT

public:
    TForm1();
    ~TForm1() override;

    // Non-visual components, in the order the window stores them.
    TOpenDialog *OD;
    TFileFind *FFind;
    TTimer *Timer1;

private:
    // Handlers (Unit1.cpp, Unit1Search.cpp, Unit1Build.cpp).
    void SpeedButton1Click(QObject *sender);
    void Edit1Change(QObject *sender);
    void FFindSearch(QObject *sender);
    void FormActivate(QObject *sender);
    void Timer1Timer(QObject *sender);
    void FormClose(QObject *sender);
    void BitBtn1Click(QObject *sender);

    // Picks "Delphi 3" or "Delphi 4" from the size of the file that Edit1 names.
    void SelectVersionBySize();

    // The build's steps (Unit1Build.cpp).
    // Starts the compile of source, which makes output, and records it in log.
    void StartCompile(CompileLog &log, const std::string &source, const std::string &unitDir,
                      const std::string &output);
    // True once output exists, false after ten seconds without it.
    bool WaitForOutput(const std::string &output);
    void RunOutput(const std::string &output);

    // Lets pending window events run during the drive search; a program that
    // has been asked to end stops the search.
    void PumpDuringSearch();

    // The user has closed the main window: the program is to end.
    bool closeAsked_ = false;
};

extern TForm1 *Form1;

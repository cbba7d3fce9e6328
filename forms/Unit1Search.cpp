// The main window's automatic search for the compiler: armed at the first
// activation, started by the one-shot start timer, stopped by the browse
// button or by closing the window.
#include "forms/Unit1.h"

#include "components/FileFind.h"
#include "runtime/Application.h"
#include "runtime/Timer.h"

void TForm1::FormActivate(QObject *) {
    Timer1->SetEnabled(Timer1->Tag == 0);
}

void TForm1::Timer1Timer(QObject *) {
    Timer1->SetEnabled(false);
    Timer1->Tag = 1;
    FFind->SetEnabled(true); // the whole search runs here
    if (FFind->Found().isEmpty())
        return;
    Edit1->setText(FFind->Found());
    SelectVersionBySize();
    BitBtn1Click(this);
}

void TForm1::FFindSearch(QObject *) {
    SB->Panels(1).SetText(FFind->CurrentPath());
}

void TForm1::FormClose(QObject *) {
    closeAsked_ = true;
    if (Tag == 0)
        FFind->SetEnabled(false);
}

void TForm1::PumpDuringSearch() {
    Application->ProcessMessagesIfDue();
    // Once the program has been asked to end (its window closed, or the
    // build having started Lumio), the search must not keep it alive.
    if ((closeAsked_ || Application->Terminated()) && FFind->Enabled())
        FFind->SetEnabled(false);
}

#include "runtime/Dialogs.h"

#include "runtime/Application.h"
#include "runtime/Form.h"
#include "runtime/Seam.h"

void ShowMessage(const QString &text, const QString &details) {
    Application->seam().showMessage(Application->MainForm(), text, details);
}

int MessageDlg(const QString &text, TMsgDlgType, TMsgDlgButtons, int) {
    return Application->seam().confirm(Application->MainForm(), text) ? mrOk : mrCancel;
}

void Beep() {
    Application->seam().beep();
}

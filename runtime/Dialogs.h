// Modal message boxes and the beep.
#pragma once

#include <QString>

enum class TMsgDlgType { mtInformation };
enum TMsgDlgBtn { mbOK = 1, mbCancel = 2 };
using TMsgDlgButtons = int;

inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;

// A box with the text and one OK button; details, when not empty, behind a
// "Show Details..." button.
void ShowMessage(const QString &text, const QString &details = QString());
// Only the information type with OK and Cancel is provided.  Returns mrOk for
// OK, mrCancel for Cancel or for a box closed otherwise.
int MessageDlg(const QString &text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext);
void Beep();

// A top-level window as the program's handlers expect it: a caption, a Tag,
// a position, OnActivate and OnClose, modal showing and closing.
#pragma once

#include "runtime/NotifyEvent.h"

#include <QWidget>

class QEventLoop;

// Where a window appears when it is shown.
enum class TPosition {
    poDesigned,     // where it was put (the window system may place it)
    poScreenCenter, // centred on the screen's free area, at every showing
};

class TForm : public QWidget {
    Q_OBJECT

public:
    explicit TForm(QWidget *parent = nullptr);
    ~TForm() override;

    int Tag = 0;
    TPosition Position = TPosition::poDesigned;

    // Raised each time the window becomes the active one.  A window that the
    // platform never activates (no window manager, focus refused) counts as
    // activated once it has been shown.
    TNotifyEvent OnActivate;
    // Raised when the window closes; the close always goes ahead.
    TNotifyEvent OnClose;

    QString Caption() const { return windowTitle(); }
    void SetCaption(const QString &caption) { setWindowTitle(caption); }

    // Shows the window and runs a nested event loop until it closes.
    int ShowModal();
    // On a modal window: ends its ShowModal once the running handler returns.
    // On the main window: ends the program.  On a hidden window: nothing.
    void Close();
    // Repaints at once.
    void Refresh();

protected:
    // A fixed-size frame with a title and close box only.
    void makeDialogFrame();

    bool event(QEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void activated();

    QEventLoop *modalLoop_ = nullptr;
    bool activatedSinceShow_ = false;
    bool standInActivation_ = false; // counted at show, the platform's not yet
};

#include "runtime/Form.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QScreen>
#include <QTimer>

TForm::TForm(QWidget *parent) : QWidget(parent) {}

TForm::~TForm() = default;

void TForm::makeDialogFrame() {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());
}

int TForm::ShowModal() {
    QEventLoop loop;
    QEventLoop *outer = modalLoop_;
    modalLoop_ = &loop;
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    loop.exec(QEventLoop::DialogExec);
    modalLoop_ = outer;
    // Shown modally again from inside its own modal loop, the window closes
    // once for both: the outer ShowModal must not wait for a hidden window.
    if (outer && !isVisible())
        outer->exit(0);
    if (!outer) {
        hide(); // also when the loop ended because the program is ending
        setWindowModality(Qt::NonModal);
    }
    return 0;
}

void TForm::Close() {
    if (!isVisible() && !modalLoop_)
        return;
    close();
}

void TForm::Refresh() {
    repaint();
}

bool TForm::event(QEvent *e) {
    if (e->type() == QEvent::WindowActivate) {
        if (standInActivation_) {
            // The platform's own activation, late: it was already counted.
            standInActivation_ = false;
            activatedSinceShow_ = true;
        } else {
            activated();
        }
    } else if (e->type() == QEvent::WindowDeactivate) {
        standInActivation_ = false;
    }
    return QWidget::event(e);
}

void TForm::showEvent(QShowEvent *e) {
    QWidget::showEvent(e);
    if (e->spontaneous())
        return; // shown again by the window system, e.g. restored
    if (Position == TPosition::poScreenCenter && screen()) {
        // Placed before the window system maps it, so also without a window
        // manager; the frame is known from the second showing on.
        QRect frame = frameGeometry();
        frame.moveCenter(screen()->availableGeometry().center());
        move(frame.topLeft());
    }
    activatedSinceShow_ = false;
    standInActivation_ = false;
    activateWindow();
    // Without a window manager, or with one that refuses focus, no
    // activation may ever come.  When one does come after all, it is the one
    // already counted here.
    QTimer::singleShot(0, this, [this] {
        if (isVisible() && !activatedSinceShow_) {
            standInActivation_ = true;
            activated();
        }
    });
}

void TForm::closeEvent(QCloseEvent *e) {
    if (OnClose)
        OnClose(this);
    e->accept();
    if (modalLoop_)
        modalLoop_->exit(0);
}

void TForm::activated() {
    activatedSinceShow_ = true;
    if (OnActivate)
        OnActivate(this);
}

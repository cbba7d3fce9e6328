#include "runtime/StatusBar.h"

#include <QChildEvent>
#include <QLabel>

namespace {

// About one frame of a 60 Hz screen.
constexpr int FrameMs = 16;
// Writes per frame that go to the label at once.  Two keep a pair of writes
// such as "clear, then set" exact on screen and for screen readers; the
// writes after them wait for the end of the frame, where the latest is shown.
constexpr int ShownAtOncePerFrame = 2;

} // namespace

QString TStatusPanel::Text() const {
    return bar_->panelText(index_);
}

void TStatusPanel::SetText(const QString &text) {
    bar_->setPanelText(index_, text);
}

void TStatusPanel::SetText(const NativeString &text) {
    bar_->setPanelText(index_, QString(), text.bytes, true);
}

TStatusBar::TStatusBar(QWidget *parent) : QFrame(parent) {
    frame_.setInterval(FrameMs);
    connect(&frame_, &QTimer::timeout, this, [this] { endFrame(); });
}

void TStatusBar::childEvent(QChildEvent *event) {
    // A child that is being added may not be a label yet: only note that the
    // panels must be gathered again.
    if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildRemoved)
        stale_ = true;
    QFrame::childEvent(event);
}

void TStatusBar::gather() const {
    if (!stale_)
        return;
    (void)const_cast<TStatusBar *>(this)->showWaiting();
    panels_.clear();
    for (QLabel *label : findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly))
        panels_.push_back(Panel{label, QString(), {}, false, false});
    stale_ = false;
}

TStatusBar::Panel &TStatusBar::panel(int index) const {
    gather();
    return panels_.at(std::size_t(index));
}

int TStatusBar::PanelCount() const {
    gather();
    return int(panels_.size());
}

TStatusPanel TStatusBar::Panels(int index) const {
    (void)panel(index); // refuses an index out of range here already
    return TStatusPanel(const_cast<TStatusBar *>(this), index);
}

QString TStatusBar::panelText(int index) const {
    const Panel &p = panel(index);
    return p.waiting ? p.latest() : p.label->text();
}

void TStatusBar::setPanelText(int index, const QString &text, std::string_view native,
                              bool isNative) {
    Panel &p = panel(index);
    if (shownInFrame_ < ShownAtOncePerFrame) {
        ++shownInFrame_;
        p.waiting = false;
        p.text.clear();
        p.label->setText(isNative ? fromNative(native) : text);
        if (!frame_.isActive())
            frame_.start();
        return;
    }
    // The bytes are kept in a buffer of their own, reused from write to write.
    if ((p.isNative = isNative))
        p.native.assign(native);
    else
        p.text = text;
    p.waiting = true;
}

void TStatusBar::endFrame() {
    if (showWaiting()) {
        // The waiting texts spend the next frame's share: a long burst is
        // shown once per frame, from here.
        shownInFrame_ = ShownAtOncePerFrame;
    } else {
        shownInFrame_ = 0;
        frame_.stop();
    }
}

bool TStatusBar::showWaiting() {
    bool shown = false;
    for (Panel &p : panels_) {
        if (!p.waiting)
            continue;
        p.waiting = false;
        if (p.label)
            p.label->setText(p.latest());
        p.text.clear();
        shown = true;
    }
    return shown;
}

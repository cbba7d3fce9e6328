// What the event loop would deliver, delivered at once: a window's activation
// and a timer's tick.  The program's handlers then run exactly as they would
// for the real event.  Also a watch on a window's showings.
#pragma once

#include "runtime/Timer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace events {

// The platform's activation of window, as when the user switches to it.
inline void activate(QWidget *window) {
    QEvent activation(QEvent::WindowActivate);
    QCoreApplication::sendEvent(window, &activation);
}

// A tick of timer now, as when its interval runs out.  A timer that is not
// counting does not tick: then false.
[[nodiscard]] inline bool tick(TTimer *timer) {
    QTimer *clock = timer->findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
    if (!clock || !clock->isActive())
        return false;
    return QMetaObject::invokeMethod(clock, "timeout");
}

} // namespace events

// Counts the showings of a window and runs onShow at each.
class ShowWatch : public QObject {
public:
    explicit ShowWatch(QWidget *w) { w->installEventFilter(this); }
    int shows = 0;
    std::function<void()> onShow;

protected:
    bool eventFilter(QObject *, QEvent *e) override {
        if (e->type() == QEvent::Show) {
            ++shows;
            if (onShow)
                onShow();
        }
        return false;
    }
};

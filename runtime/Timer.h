// A timer that raises OnTimer on the GUI thread every Interval milliseconds
// while Enabled, with the timer as Sender.  A tick runs to its end before the next one can start.
//
// It counts only while it is enabled, has an interval above 0 and has a
// handler: setting any of the three re-arms it, as the component model it
// follows does.  The counting is a child QTimer's.
#pragma once

#include "runtime/NotifyEvent.h"

#include <QObject>

class QTimer;

class TTimer : public QObject {
    Q_OBJECT

public:
    explicit TTimer(QObject *owner = nullptr);

    int Tag = 0;

    bool Enabled() const { return enabled_; }
    // Switching on a timer that is already on changes nothing: its count
    // towards the next tick goes on.
    void SetEnabled(bool enabled);
    int Interval() const { return interval_; }
    void SetInterval(int ms);
    // The handler of every tick; an empty one stops the count.
    void SetOnTimer(TNotifyEvent handler);

private:
    void update();
    void tick();

    QTimer *timer_;
    TNotifyEvent onTimer_;
    bool enabled_ = false;
    int interval_ = 1000;
};

// A timer that raises OnTimer on the GUI thread every Interval milliseconds
// while Enabled.  A tick runs to its end before the next one can start.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

class TTimer : public QObject {
    Q_OBJECT

public:
    explicit TTimer(QObject *owner = nullptr);

    int Tag = 0;
    std::function<void()> OnTimer;

    bool Enabled() const { return enabled_; }
    // Switching on a timer that is already on changes nothing: its count
    // towards the next tick goes on.
    void SetEnabled(bool enabled);
    int Interval() const { return interval_; }
    void SetInterval(int ms);

    // What a tick does; public so that tests can tick without waiting.
    void Tick();

private:
    void update();

    QTimer timer_;
    bool enabled_ = false;
    int interval_ = 1000;
};

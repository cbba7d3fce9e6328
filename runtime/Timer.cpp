#include "Timer.h"

TTimer::TTimer(QObject *owner) : QObject(owner) {
    connect(&timer_, &QTimer::timeout, this, &TTimer::Tick);
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    update();
}

void TTimer::SetInterval(int ms) {
    if (ms == interval_)
        return;
    interval_ = ms;
    update();
}

void TTimer::update() {
    if (enabled_ && interval_ > 0 && OnTimer)
        timer_.start(interval_);
    else
        timer_.stop();
}

void TTimer::Tick() {
    if (OnTimer)
        OnTimer();
}

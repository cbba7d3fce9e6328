#include "runtime/Timer.h"

#include <QTimer>

TTimer::TTimer(QObject *owner) : QObject(owner), timer_(new QTimer(this)) {
    connect(timer_, &QTimer::timeout, this, &TTimer::tick);
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

void TTimer::SetOnTimer(TNotifyEvent handler) {
    onTimer_ = std::move(handler);
    update();
}

void TTimer::update() {
    if (enabled_ && interval_ > 0 && onTimer_)
        timer_->start(interval_);
    else
        timer_->stop();
}

void TTimer::tick() {
    if (const auto handler = onTimer_) // the handler may replace itself
        handler(this);
}

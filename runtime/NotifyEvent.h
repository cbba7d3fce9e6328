// The one event type of the runtime: a handler given the object that raised
// the event (its Sender).  Components, windows and timers all raise it, so a
// window binds its handlers to them directly:
//
//     Timer1->SetOnTimer(std::bind_front(&TForm1::Timer1Timer, this));
#pragma once

#include <functional>

class QObject;

using TNotifyEvent = std::function<void(QObject *Sender)>;

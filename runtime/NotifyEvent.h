// The one event type of the runtime: a handler given the object that raised
// the event (its Sender).  Components, windows and timers all raise it, so a
// window binds its handlers to them directly:
//
//     Timer1->SetOnTimer(std::bind_front(&TForm1::Timer1Timer, this));
//
// A handler raised for every entry of a scan (OnSearch, which the scan copies
// before each call) is better a lambda that captures only this: the
// std::function holds it in place, where a bind_front is allocated anew at
// each copy.
#pragma once

#include <functional>

class QObject;

using TNotifyEvent = std::function<void(QObject *Sender)>;

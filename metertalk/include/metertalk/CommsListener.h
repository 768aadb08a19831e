#pragma once

#include "metertalk/CommsEvent.h"

// The owner of a request, told how it goes. The engine calls OnCommsEvent from inside OnTimer
// and OnArrival, never from inside Ask or Set; an owner that answers an event by calling the
// engine again must keep the event and act on it after that call has returned (QtCommsListener
// goes through the event loop).
class CommsListener {
public:
    virtual ~CommsListener() = default;
    virtual void OnCommsEvent(CommsEvent event) = 0;
};

#pragma once

#include "metertalk/CommsListener.h"

// Notification ids posted by CComms.
enum : int {
    ID_COMMS_FRAME_START = 18100,    // a reply frame begins (bulk frames included)
    ID_COMMS_TIMEOUT = 18101,        // the request got no answer in 20 silent ticks
    ID_COMMS_ASK_DONE = 18102,       // the value of an Ask is ready
    ID_COMMS_SET_DONE = 18103,       // a Set was acknowledged
    ID_COMMS_UNSOLICITED = 18104,    // an answer with no request outstanding: a bulk run ended
    ID_COMMS_CHECKSUM_ERROR = 18105, // a complete frame failed its checksum
    // Only for reads asked with CommsEngine::Refusal::Answers: the read was refused ('?') and
    // has ended. Every other refused read ends in ID_COMMS_TIMEOUT.
    ID_COMMS_REFUSED = 18106,
};

// The id that CComms posts for an event of its engine.
constexpr int CommsCommandId(CommsEvent event) {
    switch (event) {
    case CommsEvent::FrameStart:
        return ID_COMMS_FRAME_START;
    case CommsEvent::TimedOut:
        return ID_COMMS_TIMEOUT;
    case CommsEvent::AskDone:
        return ID_COMMS_ASK_DONE;
    case CommsEvent::SetDone:
        return ID_COMMS_SET_DONE;
    case CommsEvent::UploadDone:
        return ID_COMMS_UNSOLICITED;
    case CommsEvent::ChecksumError:
        return ID_COMMS_CHECKSUM_ERROR;
    case CommsEvent::Refused:
        return ID_COMMS_REFUSED;
    }
    return 0;
}

// The window that learns the outcome of a request made through CComms, as the ID_COMMS_* ids
// above. The library only ever posts: an implementation must queue the id and deliver it after
// the call that posted it has returned (the Qt one goes through the event loop), never call back
// from inside PostCommand.
class CommandTarget : public CommsListener {
public:
    virtual void PostCommand(int id) = 0;
    void OnCommsEvent(CommsEvent event) final { PostCommand(CommsCommandId(event)); }
};

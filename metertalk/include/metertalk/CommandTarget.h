#pragma once

// The window that learns the outcome of a request. The library only ever posts: an
// implementation must queue the id and deliver it after the call that posted it has returned
// (the Qt one goes through the event loop), never call back from inside PostCommand.
class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    virtual void PostCommand(int id) = 0;
};

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

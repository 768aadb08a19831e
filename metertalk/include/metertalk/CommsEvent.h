#pragma once

// What an engine tells the owner of a request, in the order it happens on the line.
enum class CommsEvent {
    FrameStart,    // a reply frame begins (bulk frames included)
    TimedOut,      // the request got no answer in 20 silent ticks
    AskDone,       // the value of an Ask is ready
    SetDone,       // a Set was acknowledged
    UploadDone,    // an answer with no request outstanding: how a bulk run ends
    ChecksumError, // a complete frame failed its checksum and was dropped
    // Only for reads asked with CommsEngine::Refusal::Answers: the read was refused ('?') and
    // has ended. Every other refused read ends in TimedOut.
    Refused,
};

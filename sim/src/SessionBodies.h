#pragma once

#include <cstddef>

#include "RecordComposer.h"

// The records of each kind of session the generated memory holds.
namespace sim {

// Initials of the four engineers, as switch-on records and index entries carry them.
extern const char* const kInitials[4];

// The instrument always wakes up in its first mode; a session worked in another mode shows the
// engineer switching to it straight after.
void SwitchOn(RecordComposer& c, int mode, int user, bool withInitials);
void UserAndJob(RecordComposer& c, int user, int job);
void SwitchOff(RecordComposer& c);

void SurveyBody(RecordComposer& c);
// full: every record form of the kind, for the sessions of the first days.
void LeakBody(RecordComposer& c, bool full);
void MonitorBody(RecordComposer& c, bool full);
void CalibrationBody(RecordComposer& c, bool full);
// Records this host version does not decode: other letters, and known letters in later versions.
void UnknownBody(RecordComposer& c);

// A reading of 85 PPM (stored escaped) on byte 99 of the stream.
void EscapeAtByte99Body(RecordComposer& c);
// Readings stored escaped so often that the stored bytes run past the session's sector.
void OverflowingRunBody(RecordComposer& c);
// Timed readings until the stream holds about limit bytes.
void LongRunBody(RecordComposer& c, size_t limit);

} // namespace sim

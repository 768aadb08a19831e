#pragma once

struct RecordContext;

// Event records.
void DecodeSwitchOn(RecordContext& ctx);         // 'O'
void DecodeSwitchOff(RecordContext& ctx);        // 'Y'
void DecodeModeChange(RecordContext& ctx);       // 'D'
void DecodeInstrumentOpened(RecordContext& ctx); // 'I'
void DecodeJobNumber(RecordContext& ctx);        // 'J'
void DecodeUserName(RecordContext& ctx);         // 'U'
void DecodeManualZero(RecordContext& ctx);       // 'z'
void DecodePump(RecordContext& ctx);             // 'p'
void DecodeText(RecordContext& ctx);             // 'T'

// Gas readings.
void DecodeSurvey(RecordContext& ctx);        // 'W'
void DecodeAlarm(RecordContext& ctx);         // 'A'
void DecodeManualReading(RecordContext& ctx); // 'M'
void DecodeTimedReading(RecordContext& ctx);  // 'L'

// Instrument tests.
void DecodeSoundness(RecordContext& ctx);        // 'S'
void DecodeCalibration(RecordContext& ctx);      // 'C'
void DecodeZero(RecordContext& ctx);             // 'Z'
void DecodeBumpTest(RecordContext& ctx);         // 'B'
void DecodeFieldCalibration(RecordContext& ctx); // 'F'

// Barhole, GPS average and pipeline gas tests.
void DecodeBarhole(RecordContext& ctx);      // 'H'
void DecodeGpsAverage(RecordContext& ctx);   // 'G'
void DecodePipelineTest(RecordContext& ctx); // 'P'

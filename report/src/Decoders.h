#pragma once

// One decoder per record type reads the record's bytes into its value; its formatter writes the
// report text from that value.
struct DecodeContext;
struct FormatContext;

#define TAVON_RECORD_TYPE(Name)                                                                    \
    void Decode##Name(DecodeContext& ctx);                                                         \
    void Format##Name(FormatContext& ctx)

// Event records.
TAVON_RECORD_TYPE(SwitchOn);         // 'O'
TAVON_RECORD_TYPE(SwitchOff);        // 'Y'
TAVON_RECORD_TYPE(ModeChange);       // 'D'
TAVON_RECORD_TYPE(InstrumentOpened); // 'I'
TAVON_RECORD_TYPE(JobNumber);        // 'J'
TAVON_RECORD_TYPE(UserName);         // 'U'
TAVON_RECORD_TYPE(ManualZero);       // 'z'
TAVON_RECORD_TYPE(Pump);             // 'p'
TAVON_RECORD_TYPE(Text);             // 'T'

// Gas readings.
TAVON_RECORD_TYPE(Survey);        // 'W'
TAVON_RECORD_TYPE(Alarm);         // 'A'
TAVON_RECORD_TYPE(ManualReading); // 'M'
TAVON_RECORD_TYPE(TimedReading);  // 'L'

// Instrument tests.
TAVON_RECORD_TYPE(Soundness);        // 'S'
TAVON_RECORD_TYPE(Calibration);      // 'C'
TAVON_RECORD_TYPE(Zero);             // 'Z'
TAVON_RECORD_TYPE(BumpTest);         // 'B'
TAVON_RECORD_TYPE(FieldCalibration); // 'F'

// Barhole, GPS average and pipeline gas tests.
TAVON_RECORD_TYPE(Barhole);      // 'H'
TAVON_RECORD_TYPE(GpsAverage);   // 'G'
TAVON_RECORD_TYPE(PipelineTest); // 'P'

#undef TAVON_RECORD_TYPE

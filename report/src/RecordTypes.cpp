// The record types this version reads: each type letter routes to its decoder and its formatter.
#include "Decoders.h"
#include "RecordFormat.h"
#include "RecordStream.h"

namespace {

struct RecordType {
    RecordKind Kind = RecordKind::Unrecognised;
    RecordDecoder Decode = nullptr;
    RecordFormatter Format = nullptr;
};

struct DispatchTable {
    RecordType types[256] = {};

    void Route(uint8_t letter, RecordKind kind, RecordDecoder decode, RecordFormatter format) {
        types[letter] = RecordType{kind, decode, format};
    }

    DispatchTable() {
        using K = RecordKind;
        Route('A', K::Alarm, DecodeAlarm, FormatAlarm);
        Route('B', K::BumpTest, DecodeBumpTest, FormatBumpTest);
        Route('C', K::Calibration, DecodeCalibration, FormatCalibration);
        Route('D', K::ModeChange, DecodeModeChange, FormatModeChange);
        Route('F', K::FieldCalibration, DecodeFieldCalibration, FormatFieldCalibration);
        Route('G', K::GpsAverage, DecodeGpsAverage, FormatGpsAverage);
        Route('H', K::Barhole, DecodeBarhole, FormatBarhole);
        Route('I', K::InstrumentOpened, DecodeInstrumentOpened, FormatInstrumentOpened);
        Route('J', K::JobNumber, DecodeJobNumber, FormatJobNumber);
        Route('L', K::Timed, DecodeTimedReading, FormatTimedReading);
        Route('M', K::Manual, DecodeManualReading, FormatManualReading);
        Route('O', K::SwitchOn, DecodeSwitchOn, FormatSwitchOn);
        Route('P', K::PipelineTest, DecodePipelineTest, FormatPipelineTest);
        Route('S', K::Soundness, DecodeSoundness, FormatSoundness);
        Route('T', K::Text, DecodeText, FormatText);
        Route('U', K::UserName, DecodeUserName, FormatUserName);
        Route('W', K::Survey, DecodeSurvey, FormatSurvey);
        Route('Y', K::SwitchOff, DecodeSwitchOff, FormatSwitchOff);
        Route('Z', K::Zero, DecodeZero, FormatZero);
        Route('p', K::Pump, DecodePump, FormatPump);
        Route('z', K::ManualZero, DecodeManualZero, FormatManualZero);
    }
};

const DispatchTable kDispatch;

} // namespace

RecordDecoder DecoderFor(uint8_t typeLetter) {
    return kDispatch.types[typeLetter].Decode;
}

RecordFormatter FormatterFor(uint8_t typeLetter) {
    return kDispatch.types[typeLetter].Format;
}

RecordKind KindFor(uint8_t typeLetter) {
    return kDispatch.types[typeLetter].Kind;
}

#include "ComplianceFixture.h"

#include <cstdio>
#include <memory>
#include <sstream>

#include "archive/SessionCapture.h"
#include "core/LogImage.h"
#include "recbuild/RecordBuilder.h"
#include "sim/LogMemory.h"

namespace compliancetest {
namespace {

uint8_t Flags(char mark) {
    return mark == '+' ? 1 : 0; // 1: passed; any other flags: failed
}

void AppendTest(const std::string& word, uint32_t stamp, std::vector<uint8_t>& stream) {
    if (word.empty()) {
        return;
    }
    const char mark = word.back();
    if (word[0] == 'A') {
        const uint8_t gas = static_cast<uint8_t>(std::stoi(word.substr(1)));
        RecordBuilder::Stamped('A', '1', stamp)
            .Byte(gas)
            .Readings({{gas, 300}}, RecordBuilder::kNoGps)
            .AppendTo(stream);
        return;
    }
    // The instrument's own checks name no sensor.
    if (word[0] == 'S' || word[0] == 'K') {
        const uint8_t filter = mark == '+' ? 2 : 6;
        const uint8_t soundness = word[0] == 'S' ? 1 : 0;
        RecordBuilder::Stamped('S', '1', stamp).Byte(soundness | filter).AppendTo(stream);
        return;
    }
    const uint8_t sensor = static_cast<uint8_t>(std::stoi(word.substr(1)));
    switch (word[0]) {
    case 'B':
        RecordBuilder::Stamped('B', '2', stamp)
            .BumpResult(sensor, mark == 'x' ? 3 : Flags(mark), 500)
            .Byte(RecordBuilder::kSensorListEnd)
            .AppendTo(stream);
        break;
    case 'C':
        RecordBuilder::Stamped('C', '2', stamp)
            .SensorResult(sensor, Flags(mark), 500, 498)
            .Byte(RecordBuilder::kSensorListEnd)
            .AppendTo(stream);
        break;
    case 'c':
        RecordBuilder::Stamped('C', '1', stamp)
            .SensorValues(sensor, 500, 498)
            .Byte(RecordBuilder::kSensorListEnd)
            .AppendTo(stream);
        break;
    case 'F':
        RecordBuilder::Stamped('F', '1', stamp)
            .SensorValues(sensor, 209, 208)
            .Byte(RecordBuilder::kSensorListEnd)
            .AppendTo(stream);
        break;
    case 'Z':
        RecordBuilder::Stamped('Z', '2', stamp)
            .SensorResult(sensor, Flags(mark), 0, 1)
            .Byte(RecordBuilder::kSensorListEnd)
            .AppendTo(stream);
        break;
    default:
        break;
    }
}

} // namespace

uint32_t MorningOf(int day) {
    return sim::InstrumentStamp(2026, 12, 1, 8, 0, 0) + static_cast<uint32_t>(day) * 86400u;
}

std::vector<archive::CapturedSession> MakeSessions(const std::vector<SessionSpec>& specs,
                                                   QByteArray* index) {
    std::unique_ptr<LogImage> image(new LogImage);
    std::vector<int16_t> chosen;
    for (size_t k = 0; k < specs.size(); ++k) {
        const SessionSpec& spec = specs[k];
        const int16_t slot = static_cast<int16_t>(k);
        std::vector<uint8_t> stream;
        RecordBuilder::Stamped('O', '1', spec.start).Chars("GAS", 3).Byte(0).AppendTo(stream);
        uint32_t stamp = spec.start;
        if (!spec.job.empty()) {
            RecordBuilder::Stamped('J', '1', stamp).Chars(spec.job, 12).Byte(0).AppendTo(stream);
        }
        if (!spec.user.empty()) {
            RecordBuilder::Unstamped('U', '1').Chars(spec.user, 16).AppendTo(stream);
        }
        std::istringstream words(spec.tests);
        std::string word;
        while (words >> word) {
            stamp += 60;
            AppendTest(word, stamp, stream);
        }
        if (!spec.open) {
            RecordBuilder::Stamped('Y', '1', stamp + 60).AppendTo(stream);
        }
        std::vector<uint8_t> sector = EscapeForFlash(stream);
        sector.resize(LogImage::kSectorSize, 0xFF);
        image->Store(LogImage::DataSector(slot) * LogImage::kSectorSize, sector.data(),
                     LogImage::kSectorSize);
        char name[21];
        std::snprintf(name, sizeof name, "%08X___________",
                      spec.undated ? 0xFFFFFFFFu : spec.start);
        image->Store(LogImage::IndexEntryOffset(slot), reinterpret_cast<const uint8_t*>(name), 19);
        chosen.push_back(slot);
    }
    if (index != nullptr) {
        *index = archive::IndexBytes(*image);
    }
    return archive::CaptureSessions(*image, chosen);
}

qint64 ImportSessions(archive::SessionArchive& store, const QString& name,
                      const std::vector<SessionSpec>& specs, const QString& serial) {
    archive::InstrumentIdentity identity = archive::NamedInstrument(name);
    identity.serialNumber = serial;
    const qint64 instrument = store.Instrument(identity, name);
    archive::StoreCounts counts;
    QByteArray index;
    const std::vector<archive::CapturedSession> sessions = MakeSessions(specs, &index);
    if (instrument < 0 || store.ImportDump(instrument, "test", index, sessions, counts) < 0 ||
        counts.added != static_cast<int>(specs.size())) {
        return -1;
    }
    return instrument;
}

} // namespace compliancetest

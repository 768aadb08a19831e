#include "sim/Instrument.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim/SerialNumber.h"

namespace sim {

namespace {

// Separate fault streams: enabling one fault kind never changes the decisions of another.
constexpr uint64_t kChecksumStream = 0x636B73756D000001ull;
constexpr uint64_t kDropStream = 0x64726F7000000002ull;
constexpr uint64_t kRefuseStream = 0x7265667573000003ull;
constexpr uint64_t kGarbageStream = 0x6761726261000004ull;

constexpr uint32_t kLastSector = kMemorySize / kSectorSize - 1;
constexpr int kMaxTextAnswer = static_cast<int>(kMaxPayload);

InstrumentOptions WithSerialNumber(InstrumentOptions options, uint64_t seed) {
    if (options.serialNumber.empty())
        options.serialNumber = SerialNumberForSeed(seed);
    return options;
}

} // namespace

Instrument::Instrument(const InstrumentOptions& options, const uint8_t* memory,
                       const FaultPlan& faults, uint64_t seed, ByteSink& sink, SimLog* log)
    : m_tests(WithSerialNumber(options, seed)), m_interfaceVersion(options.interfaceVersion),
      m_memory(memory), m_faults(faults), m_sink(sink), m_log(log), m_config(BuildConfigBlock()),
      m_checksumDice(seed ^ kChecksumStream), m_dropDice(seed ^ kDropStream),
      m_refuseDice(seed ^ kRefuseStream), m_garbageDice(seed ^ kGarbageStream) {}

void Instrument::NewClient() {
    m_lines.Reset();
}

void Instrument::Receive(const uint8_t* data, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (!m_lines.Push(data[i]))
            continue;
        if (m_lines.Overlong()) {
            ++m_rejected;
            if (m_log)
                m_log->Note("overlong line discarded, no answer");
            continue;
        }
        HandleLine(m_lines.Line(), m_lines.LineLength());
    }
}

void Instrument::HandleLine(const uint8_t* line, size_t length) {
    HostCommand cmd;
    const ParseOutcome outcome = ParseCommandLine(line, length, cmd);
    if (m_log)
        m_log->Received(line, length, outcome.status == ParseStatus::Ok ? "" : outcome.reason);
    switch (outcome.status) {
    case ParseStatus::Ok:
        Execute(cmd);
        break;
    case ParseStatus::Unsupported:
        ++m_rejected;
        Refuse(outcome.reason);
        break;
    case ParseStatus::BadChecksum:
    case ParseStatus::Malformed:
        // An instrument cannot trust anything in such a line, not even whom to answer.
        ++m_rejected;
        break;
    }
}

void Instrument::Execute(const HostCommand& cmd) {
    ++m_commands;
    if (m_stalled) {
        if (m_log)
            m_log->Note("stalled: no answer");
        return;
    }
    if (m_dropDice.Chance(m_faults.drop)) {
        if (m_log)
            m_log->Note("drop fault: no answer");
        return;
    }
    if (m_refuseDice.Chance(m_faults.refuse)) {
        Refuse("refuse fault");
        return;
    }
    const int index = m_tests.Find(cmd.test);
    if (index < 0) {
        Refuse("unknown test");
        return;
    }
    if (cmd.kind == CommandKind::Read || cmd.kind == CommandKind::ReadText)
        Read(cmd, index);
    else
        Write(cmd, index);
}

int Instrument::SensorOf(int index, int address) const {
    if (!m_tests.Def(index).perSensor)
        return 0;
    int sensor = address;
    if (m_tests.Type(index) != 1) {
        if (address % 2 != 0)
            return -1;
        sensor = address / 2;
    }
    return sensor >= 0 && sensor < kSensorCount ? sensor : -1;
}

void Instrument::FormatValue(int index, int sensor, char* out, size_t outSize) const {
    const uint32_t v = m_tests.Value(index, sensor);
    const unsigned b0 = v & 0xFF, b1 = (v >> 8) & 0xFF, b2 = (v >> 16) & 0xFF, b3 = v >> 24;
    switch (m_tests.Type(index)) {
    case 2:
        std::snprintf(out, outSize, "%02X %02X", b0, b1);
        break;
    case 3:
        std::snprintf(out, outSize, "%02X %02X %02X %02X", b0, b1, b2, b3);
        break;
    case 4: // the high word first
        std::snprintf(out, outSize, "%02X %02X %02X %02X", b2, b3, b0, b1);
        break;
    default:
        std::snprintf(out, outSize, "%02X", b0);
        break;
    }
}

void Instrument::Read(const HostCommand& cmd, int index) {
    const int type = m_tests.Type(index);
    const int size = m_tests.NoBytes(index);
    char payload[kMaxPayload + 1];
    if (cmd.kind == CommandKind::ReadText || type == 5) {
        if (type != 5) {
            Refuse("read text of a numeric test");
            return;
        }
        int sensor = 0;
        int offset = cmd.address;
        if (m_tests.Def(index).perSensor) {
            sensor = cmd.address / size;
            offset = cmd.address % size;
        }
        // Interfaces up to 10 answer every text read with four character codes, and so does a
        // plain read; from 11 on a text read answers the characters themselves.
        const bool raw = cmd.kind == CommandKind::ReadText && m_interfaceVersion >= 11;
        const int count = raw ? cmd.count : 4;
        if (sensor >= kSensorCount || count < 1 || count > kMaxTextAnswer ||
            (cmd.kind == CommandKind::ReadText && offset >= size)) {
            Refuse("text address or count out of range");
            return;
        }
        const char* text = m_tests.Text(index, sensor);
        if (raw) {
            for (int i = 0; i < count; ++i)
                payload[i] = offset + i < size ? text[offset + i] : ' ';
            payload[count] = 0;
        } else {
            unsigned c[4];
            for (int i = 0; i < 4; ++i)
                c[i] = static_cast<uint8_t>(offset + i < size ? text[offset + i] : ' ');
            std::snprintf(payload, sizeof payload, "%02X %02X %02X %02X", c[0], c[1], c[2], c[3]);
        }
        Answer(payload);
        return;
    }
    const int sensor = SensorOf(index, cmd.address);
    if (sensor < 0) {
        Refuse("no such sensor");
        return;
    }
    FormatValue(index, sensor, payload, sizeof payload);
    Answer(payload);
}

namespace {

// A numeric write's value as the test's type holds it: type 4 sends its long with the words
// swapped, and byte and word tests keep only their own width.
uint32_t WrittenValue(const HostCommand& cmd, int type) {
    const uint8_t* v = cmd.values;
    uint32_t value = 0;
    switch (cmd.kind) {
    case CommandKind::WriteByte:
        value = v[0];
        break;
    case CommandKind::WriteWord:
        value = v[0] | (v[1] << 8);
        break;
    default: // Write long
        if (type == 4)
            value = v[2] | (v[3] << 8) | (static_cast<uint32_t>(v[0]) << 16) |
                    (static_cast<uint32_t>(v[1]) << 24);
        else
            value = v[0] | (v[1] << 8) | (static_cast<uint32_t>(v[2]) << 16) |
                    (static_cast<uint32_t>(v[3]) << 24);
        break;
    }
    if (type == 1)
        value &= 0xFF;
    else if (type == 2)
        value &= 0xFFFF;
    return value;
}

} // namespace

void Instrument::Write(const HostCommand& cmd, int index) {
    if (!m_tests.Alterable(index)) {
        Refuse("test is not alterable");
        return;
    }
    const int type = m_tests.Type(index);
    const bool textWrite = cmd.kind == CommandKind::WriteText ||
                           cmd.kind == CommandKind::WriteTextChunk ||
                           (type == 5 && cmd.kind == CommandKind::WriteLong);
    if (textWrite) {
        if (type != 5)
            Refuse("text write to a numeric test");
        else
            WriteText(cmd, index);
        return;
    }
    if (type == 5) {
        Refuse("numeric write to a text test");
        return;
    }
    const uint32_t value = WrittenValue(cmd, type);
    const int sensor = m_tests.Def(index).perSensor ? SensorOf(index, cmd.address) : 0;
    if (sensor < 0) {
        Refuse("no such sensor");
        return;
    }
    if ((cmd.test == kSectorToUploadTest && value > kLastSector) ||
        (cmd.test == kIndexToUploadTest && value >= kSectorSize)) {
        Refuse("value out of range");
        return;
    }
    m_tests.SetValue(index, sensor, value);
    char payload[kMaxPayload + 1];
    FormatValue(index, sensor, payload, sizeof payload);
    Answer(payload);
    if (cmd.test == kUploadFlagTest && value != 0) {
        StartUpload(value);
        m_tests.SetValue(index, 0, 0); // the flag reads 0 again once the run is over
    }
}

void Instrument::WriteText(const HostCommand& cmd, int index) {
    const bool perSensor = m_tests.Def(index).perSensor;
    const int size = m_tests.NoBytes(index);
    const int sensor = perSensor ? cmd.address / size : 0;
    const int offset = perSensor ? cmd.address % size : cmd.address;
    if (sensor >= kSensorCount || offset >= size) {
        Refuse("text offset out of range");
        return;
    }
    int written;
    if (cmd.kind == CommandKind::WriteLong) {
        const char four[4] = {static_cast<char>(cmd.values[0]), static_cast<char>(cmd.values[1]),
                              static_cast<char>(cmd.values[2]), static_cast<char>(cmd.values[3])};
        written = m_tests.WriteText(index, sensor, offset, four, 4);
    } else {
        written = m_tests.WriteText(index, sensor, offset, cmd.text, cmd.textLength);
    }
    // The acknowledgement never echoes the text: a '?' in it would read as a refusal.
    char payload[kMaxPayload + 1];
    std::snprintf(payload, sizeof payload, "%02X %02X", static_cast<unsigned>(offset),
                  static_cast<unsigned>(written));
    Answer(payload);
}

void Instrument::StartUpload(uint32_t what) {
    if (what == 10) {
        const std::string& text = m_tests.DriverText();
        Stream(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    } else if (what == 20) {
        Stream(m_config.data(), m_config.size());
    } else if (what == 3) {
        const uint32_t sector = m_tests.Value(m_tests.Find(kSectorToUploadTest), 0);
        const uint32_t offset = m_tests.Value(m_tests.Find(kIndexToUploadTest), 0);
        if (sector < static_cast<uint32_t>(kIndexSectors)) {
            Stream(m_memory + sector * kSectorSize, kSectorSize);
        } else {
            const size_t start = sector * kSectorSize + offset;
            Stream(m_memory + start, std::min(kSessionPiece, kMemorySize - start));
        }
    } else {
        // Nothing to send for an unknown selector: the closing frame ends the run at once.
        Stream(nullptr, 0);
    }
}

void Instrument::Stream(const uint8_t* data, size_t length) {
    for (size_t done = 0; done < length && !m_stalled; done += kMaxPayload)
        SendFrame(kBulkKind, data + done, std::min(kMaxPayload, length - done), "");
    char payload[16];
    std::snprintf(payload, sizeof payload, "%02X %02X", static_cast<unsigned>(length & 0xFF),
                  static_cast<unsigned>((length >> 8) & 0xFF));
    SendFrame(kAnswerKind, reinterpret_cast<const uint8_t*>(payload), std::strlen(payload),
              "end of run");
}

void Instrument::Answer(const char* payload) {
    SendFrame(kAnswerKind, reinterpret_cast<const uint8_t*>(payload), std::strlen(payload), "");
}

void Instrument::Refuse(const char* why) {
    SendFrame(kAnswerKind, reinterpret_cast<const uint8_t*>("?"), 1, why);
}

void Instrument::SendFrame(uint8_t kind, const uint8_t* payload, size_t length, const char* note) {
    if (m_stalled)
        return;
    if (m_faults.stallAfter >= 0 &&
        m_framesSent >= static_cast<unsigned long>(m_faults.stallAfter)) {
        m_stalled = true;
        if (m_log)
            m_log->Note("stall fault: the instrument sends nothing more");
        return;
    }
    uint8_t frame[kMaxFrame];
    const size_t n = BuildFrame(kind, payload, length, frame);
    if (n == 0)
        return;
    if (m_garbageDice.Chance(m_faults.garbage)) {
        // Noise never holds 'Y', so the host finds the next frame again.
        uint8_t noise[8];
        const size_t count = 1 + m_garbageDice.Below(6);
        for (size_t i = 0; i < count; ++i) {
            uint8_t b = static_cast<uint8_t>(m_garbageDice.Below(256));
            noise[i] = b == 'Y' ? 0 : b;
        }
        if (m_sink.Put(noise, count) && m_log)
            m_log->Sent(noise, count, "garbage fault");
    }
    const char* why = note;
    if (m_checksumDice.Chance(m_faults.checksum)) {
        static const char kHex[] = "0123456789ABCDEF";
        const size_t l = n - 2;
        const uint8_t good = static_cast<uint8_t>(0x100 - ByteSum(frame, l - 2));
        const uint8_t bad = static_cast<uint8_t>(good + 1 + m_checksumDice.Below(255));
        frame[l - 2] = static_cast<uint8_t>(kHex[bad >> 4]);
        frame[l - 1] = static_cast<uint8_t>(kHex[bad & 0x0F]);
        why = "checksum fault";
    }
    if (!m_sink.Put(frame, n)) {
        if (m_log)
            m_log->Note("output queue full: frame lost");
        return;
    }
    ++m_framesSent;
    if (m_log)
        m_log->Sent(frame, n, why);
}

} // namespace sim

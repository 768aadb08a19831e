#include "sim/Wire.h"

#include <cstring>

namespace sim {

namespace {

int HexDigit(uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Two hexadecimal digits at p, or -1.
int Hex2(const uint8_t* p) {
    const int hi = HexDigit(p[0]);
    const int lo = HexDigit(p[1]);
    return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

ParseOutcome Fail(ParseStatus status, const char* reason) {
    ParseOutcome outcome;
    outcome.status = status;
    outcome.reason = reason;
    return outcome;
}

// Reads n fields of "HH " starting at p into values; false when one is not of that form.
bool ReadFields(const uint8_t* p, int n, int* values) {
    for (int i = 0; i < n; ++i) {
        const int v = Hex2(p + 3 * i);
        if (v < 0 || p[3 * i + 2] != ' ')
            return false;
        values[i] = v;
    }
    return true;
}

constexpr size_t kBodyStart = 7; // three blanks, length character, letter, two blanks
// The chunk line is the Write long body without its trailing blank: 24 characters, although its
// length character 'U' announces 25.
constexpr size_t kChunkContent = 24;

ParseOutcome ParseTextChunk(const uint8_t* line, HostCommand& out) {
    // "   UW  tt oo c1 c2 c3 c4": six fields without a trailing blank and without a checksum.
    int v[6];
    for (int i = 0; i < 6; ++i) {
        const uint8_t* p = line + kBodyStart + 3 * i;
        v[i] = Hex2(p);
        if (v[i] < 0 || (i < 5 && p[2] != ' '))
            return Fail(ParseStatus::Malformed, "text chunk with a bad field");
    }
    out = HostCommand{};
    out.kind = CommandKind::WriteTextChunk;
    out.test = v[0];
    out.address = v[1];
    for (int i = 0; i < 4; ++i)
        out.text[i] = static_cast<char>(v[2 + i]);
    out.textLength = 4;
    return Fail(ParseStatus::Ok, "");
}

// Read, read-text and the numeric writes: "HH " fields after the command letter.
ParseOutcome ParseFieldCommand(const uint8_t* line, size_t body, uint8_t letter, HostCommand& cmd) {
    if ((body - kBodyStart) % 3 != 0)
        return Fail(ParseStatus::Malformed, "fields are not of the form \"HH \"");
    const int n = static_cast<int>((body - kBodyStart) / 3);
    int v[8];
    if (n > 8 || !ReadFields(line + kBodyStart, n, v))
        return Fail(n > 8 ? ParseStatus::Unsupported : ParseStatus::Malformed,
                    n > 8 ? "too many fields" : "fields are not of the form \"HH \"");
    if (n < 3)
        return Fail(ParseStatus::Unsupported, "too few fields");
    cmd.test = v[0];
    cmd.address = v[1];
    if (letter != 'W') {
        if (n != 3)
            return Fail(ParseStatus::Unsupported, "a read takes three fields");
        cmd.kind = letter == 'R' ? CommandKind::Read : CommandKind::ReadText;
        cmd.count = v[2];
        return Fail(ParseStatus::Ok, "");
    }
    if (n == 3)
        cmd.kind = CommandKind::WriteByte;
    else if (n == 4)
        cmd.kind = CommandKind::WriteWord;
    else if (n == 6)
        cmd.kind = CommandKind::WriteLong;
    else
        return Fail(ParseStatus::Unsupported, "a write takes three, four or six fields");
    cmd.valueCount = n - 2;
    for (int i = 0; i < cmd.valueCount; ++i)
        cmd.values[i] = static_cast<uint8_t>(v[2 + i]);
    return Fail(ParseStatus::Ok, "");
}

// "   cS  tt oo text": the text runs to the end of the body.
ParseOutcome ParseTextWrite(const uint8_t* line, size_t body, HostCommand& cmd) {
    if (body < 13)
        return Fail(ParseStatus::Malformed, "text write too short");
    const int test = Hex2(line + 7);
    const int offset = Hex2(line + 10);
    if (test < 0 || offset < 0 || line[9] != ' ' || line[12] != ' ')
        return Fail(ParseStatus::Malformed, "text write with a bad field");
    cmd.kind = CommandKind::WriteText;
    cmd.test = test;
    cmd.address = offset;
    cmd.textLength = static_cast<int>(body - 13);
    std::memcpy(cmd.text, line + 13, static_cast<size_t>(cmd.textLength));
    cmd.text[cmd.textLength] = 0;
    return Fail(ParseStatus::Ok, "");
}

} // namespace

uint8_t ByteSum(const uint8_t* data, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i < length; ++i)
        sum += data[i];
    return static_cast<uint8_t>(sum);
}

ParseOutcome ParseCommandLine(const uint8_t* line, size_t length, HostCommand& out) {
    if (line == nullptr || length < kBodyStart + 2)
        return Fail(ParseStatus::Malformed, "line too short");
    if (length > kMaxLine)
        return Fail(ParseStatus::Malformed, "line too long");
    if (line[length - 2] != '\r' || line[length - 1] != '\n')
        return Fail(ParseStatus::Malformed, "line does not end in CR LF");
    const size_t content = length - 2;
    if (line[0] != ' ' || line[1] != ' ' || line[2] != ' ')
        return Fail(ParseStatus::Malformed, "line does not begin with three blanks");
    if (line[3] < 60 + kBodyStart)
        return Fail(ParseStatus::Malformed, "bad length character");
    const size_t body = static_cast<size_t>(line[3] - 60);
    const uint8_t letter = line[4];
    if (line[5] != ' ' || line[6] != ' ')
        return Fail(ParseStatus::Malformed, "no two blanks after the command letter");

    // The text chunk of older interfaces is the one line without a checksum; it keeps the 'U' of
    // the Write long it is built from.
    if (letter == 'W' && line[3] == 'U' && content == kChunkContent)
        return ParseTextChunk(line, out);

    if (content != body + 2)
        return Fail(ParseStatus::Malformed, "length character disagrees with the line");
    const int checksum = Hex2(line + body);
    if (checksum < 0)
        return Fail(ParseStatus::Malformed, "checksum is not two hexadecimal digits");
    if (((ByteSum(line + 3, body - 3) + checksum) & 0xFF) != 0)
        return Fail(ParseStatus::BadChecksum, "bad checksum");

    HostCommand cmd;
    const ParseOutcome parsed =
        letter == 'R' || letter == 'T' || letter == 'W' ? ParseFieldCommand(line, body, letter, cmd)
        : letter == 'S'                                 ? ParseTextWrite(line, body, cmd)
                        : Fail(ParseStatus::Unsupported, "unknown command letter");
    if (parsed.status == ParseStatus::Ok)
        out = cmd;
    return parsed;
}

bool LineAssembler::Push(uint8_t byte) {
    if (m_complete) {
        m_length = 0;
        m_complete = false;
        m_overlong = false;
    }
    if (m_discarding) {
        if (byte != '\n')
            return false;
        m_discarding = false;
        m_overlong = true;
        m_complete = true;
        m_length = 0;
        return true;
    }
    if (m_length == kMaxLine) {
        m_discarding = true;
        return Push(byte);
    }
    m_line[m_length++] = byte;
    m_line[m_length] = 0;
    if (byte != '\n')
        return false;
    // A text write announces its own length; a LF inside its text does not end it.
    if (m_length >= 5 && m_line[0] == ' ' && m_line[1] == ' ' && m_line[2] == ' ' &&
        m_line[4] == 'S' && m_line[3] >= 60) {
        const size_t need = static_cast<size_t>(m_line[3] - 60) + 4;
        if (m_length < need)
            return false;
    }
    m_complete = true;
    return true;
}

void LineAssembler::Reset() {
    m_length = 0;
    m_discarding = false;
    m_overlong = false;
    m_complete = false;
    m_line[0] = 0;
}

size_t BuildFrame(uint8_t kind, const uint8_t* payload, size_t payloadLength, uint8_t* out) {
    if (payloadLength > kMaxPayload || (payloadLength > 0 && payload == nullptr))
        return 0;
    static const char kHex[] = "0123456789ABCDEF";
    const size_t l = payloadLength + 6;
    out[0] = 'Y';
    out[1] = static_cast<uint8_t>(64 + l);
    out[2] = kind;
    if (payloadLength > 0)
        std::memcpy(out + 3, payload, payloadLength);
    out[3 + payloadLength] = kFrameSeparator;
    const uint8_t checksum = static_cast<uint8_t>(0x100 - ByteSum(out, l - 2));
    out[l - 2] = static_cast<uint8_t>(kHex[checksum >> 4]);
    out[l - 1] = static_cast<uint8_t>(kHex[checksum & 0x0F]);
    out[l] = '\r';
    out[l + 1] = '\n';
    return l + 2;
}

} // namespace sim

#pragma once

#include <cstddef>
#include <cstdint>

// The instrument's side of the wire: host command lines in, reply frames out. Written apart from
// the host's protocol engine on purpose, so that each side checks the other.
namespace sim {

constexpr size_t kMaxPayload = 44;            // data bytes of one reply frame
constexpr size_t kMaxFrame = kMaxPayload + 8; // 'Y', length, kind, payload, separator, sum, CR LF
constexpr size_t kMaxLine = 160;              // longest command line the instrument accepts
constexpr size_t kMaxCommandText = kMaxLine;  // text carried by one write-text command
constexpr uint8_t kAnswerKind = 'A';
constexpr uint8_t kBulkKind = 'M';
// The byte between payload and checksum; deliberately not a blank, so a host that takes it for
// payload shows it in the text it reads.
constexpr uint8_t kFrameSeparator = ';';

// 8-bit sum of the bytes.
uint8_t ByteSum(const uint8_t* data, size_t length);

enum class CommandKind {
    Read,
    ReadText,
    WriteByte,
    WriteWord,
    WriteLong,
    WriteText,
    WriteTextChunk
};

struct HostCommand {
    CommandKind kind = CommandKind::Read;
    int test = 0;
    int address = 0;     // address, or the text offset of a text write
    int count = 0;       // Read and Read text: the count field
    uint8_t values[4]{}; // write commands: the value fields after test and address, as sent
    int valueCount = 0;
    char text[kMaxCommandText + 1]{}; // Write text and text chunks
    int textLength = 0;
};

enum class ParseStatus {
    Ok,
    BadChecksum, // well formed but the sum is wrong: the instrument stays silent
    Malformed,   // cannot be read as a command line at all: silent too
    Unsupported, // correct checksum, but a command letter or field count the instrument lacks
};

struct ParseOutcome {
    ParseStatus status = ParseStatus::Malformed;
    const char* reason = ""; // static text for the log
};

// Parses one complete line, CR LF included. Never reads outside [line, line + length).
ParseOutcome ParseCommandLine(const uint8_t* line, size_t length, HostCommand& out);

// Collects received bytes into command lines. A line ends at LF, except that a text write's line
// runs to the length its length character announces (its text may hold a LF). Lines longer than
// kMaxLine are discarded up to the next LF and reported as overlong.
class LineAssembler {
public:
    // Takes one byte; returns true when a line is complete (see Line/LineLength) or an overlong
    // line has just been discarded (Overlong() is then true and the line is empty).
    bool Push(uint8_t byte);
    const uint8_t* Line() const { return m_line; }
    size_t LineLength() const { return m_length; }
    bool Overlong() const { return m_overlong; }
    void Reset();

private:
    uint8_t m_line[kMaxLine + 1]{};
    size_t m_length = 0;
    bool m_discarding = false;
    bool m_overlong = false;
    bool m_complete = false;
};

// Builds a reply frame into out (kMaxFrame bytes). Returns the frame length, or 0 when the
// payload does not fit.
size_t BuildFrame(uint8_t kind, const uint8_t* payload, size_t payloadLength, uint8_t* out);

} // namespace sim

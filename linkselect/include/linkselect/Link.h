#pragma once

#include <cstdint>
#include <memory>

// One open connection to the instrument: a serial port or the companion program's local pipe.
// The protocol code never knows which of the two it talks to beyond IsPipe().
// A closed link stays a valid object: reads and writes on it fail harmlessly.
class Link {
public:
    enum class ModemLine { SetRts, ClrRts, SetDtr, ClrDtr };
    enum class Parity { None, Odd, Even };

    struct LineSettings {
        int32_t baud = 9600;
        int32_t dataBits = 8;
        Parity parity = Parity::None;
        int32_t stopBits = 1;
    };

    virtual ~Link() = default;

    virtual bool IsOpen() const = 0;
    // Returns at once with what has arrived, at most max bytes; 0 when nothing waits, -1 on
    // failure.
    virtual int32_t Read(uint8_t* buffer, int32_t max) = 0;
    // Returns the number of bytes written, -1 on failure.
    virtual int32_t Write(const uint8_t* data, int32_t length) = 0;
    virtual bool IsPipe() const = 0;
    // Pipes only: the number of bytes that a read would return now; -1 on failure.
    virtual int32_t BytesWaiting() = 0;
    // Serial ports only; a pipe accepts and ignores them.
    virtual bool SetModemLine(ModemLine line) = 0;
    // Changes baud, data bits, parity and stop bits, turns flow control off and raises DTR and
    // RTS; everything else keeps what the driver had. false when the line settings were refused.
    virtual bool Configure(const LineSettings& settings) = 0;
    // Driver queue sizes in bytes, where the platform has them.
    virtual void SetQueueSizes(int32_t input, int32_t output) = 0;
    virtual void Close() = 0;
};

using LinkPtr = std::shared_ptr<Link>;

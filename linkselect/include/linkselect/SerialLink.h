#pragma once

#include "linkselect/Link.h"
#include "linkselect/LinkSelectExport.h"

#include <memory>
#include <string>

#ifdef _WIN32
// Qt Serial Port is not built for Windows here: the serial link there is the library's own.
#include "linkselect/Win32SerialLink.h"
using SerialLink = Win32SerialLink;
#else

class QSerialPort;

// A serial port (cable or Bluetooth) on QSerialPort. Reads never wait, writes are handed to the
// driver at once. Modem-line changes that the device refuses (a pseudo-terminal has no modem
// lines) are ignored and the port's error cleared, so the port keeps working.
class LINKSELECT_EXPORT SerialLink : public Link {
public:
    // portName is the bare device name ("ttyUSB0", "pts/3", "COM3") or a full path. Opens for
    // reading and writing, exclusively. Null when the port cannot be opened.
    static std::shared_ptr<SerialLink> Open(const std::string& portName);

    explicit SerialLink(std::unique_ptr<QSerialPort> port);
    ~SerialLink() override;
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    bool IsOpen() const override;
    int32_t Read(uint8_t* buffer, int32_t max) override;
    int32_t Write(const uint8_t* data, int32_t length) override;
    bool IsPipe() const override { return false; }
    int32_t BytesWaiting() override { return -1; }
    bool SetModemLine(ModemLine line) override;
    bool Configure(const LineSettings& settings) override;
    void SetQueueSizes(int32_t input, int32_t output) override;
    void Close() override;

    // The line settings the port runs at now, as the driver reports them.
    LineSettings CurrentSettings() const;

private:
    std::unique_ptr<QSerialPort> port_;
};

#endif

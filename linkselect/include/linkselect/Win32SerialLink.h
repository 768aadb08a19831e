#pragma once

#ifdef _WIN32

#include "linkselect/Link.h"
#include "linkselect/LinkSelectExport.h"

#include <memory>
#include <string>

// A serial port (cable or Bluetooth) on the Windows communications calls. Reads never wait: the
// port's time-outs make ReadFile return at once with what the driver holds. Modem-line changes
// that the device refuses are ignored, as on the other platforms.
class LINKSELECT_EXPORT Win32SerialLink : public Link {
public:
    // portName is the bare name ("COM3") or the device path ("\\.\COM3"). Opens for reading and
    // writing, exclusively. Null when the port cannot be opened.
    static std::shared_ptr<Win32SerialLink> Open(const std::string& portName);

    explicit Win32SerialLink(void* handle);
    ~Win32SerialLink() override;
    Win32SerialLink(const Win32SerialLink&) = delete;
    Win32SerialLink& operator=(const Win32SerialLink&) = delete;

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
    void* handle_; // the port's HANDLE; INVALID_HANDLE_VALUE once closed
};

#endif

#include "linkselect/Win32SerialLink.h"

#include <windows.h>

namespace {

// Writes are handed to the driver and normally return at once; a port that stops taking bytes
// (flow control held by a dead device) fails the write after this long instead of hanging.
constexpr DWORD kWriteTimeoutMs = 2000;

std::string DevicePath(const std::string& portName) {
    return portName.compare(0, 4, "\\\\.\\") == 0 ? portName : "\\\\.\\" + portName;
}

} // namespace

std::shared_ptr<Win32SerialLink> Win32SerialLink::Open(const std::string& portName) {
    if (portName.empty()) {
        return nullptr;
    }
    HANDLE handle = CreateFileA(DevicePath(portName).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    // Interval MAXDWORD with both read totals zero: ReadFile returns at once with what is there.
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
    if (!SetCommTimeouts(handle, &timeouts)) {
        CloseHandle(handle);
        return nullptr;
    }
    // Bytes the instrument sent before this program took the port are not answers to it.
    PurgeComm(handle, PURGE_RXCLEAR);
    return std::make_shared<Win32SerialLink>(handle);
}

Win32SerialLink::Win32SerialLink(void* handle) : handle_(handle) {}

Win32SerialLink::~Win32SerialLink() {
    Close();
}

bool Win32SerialLink::IsOpen() const {
    return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr;
}

int32_t Win32SerialLink::Read(uint8_t* buffer, int32_t max) {
    if (!IsOpen() || buffer == nullptr || max < 0) {
        return -1;
    }
    DWORD count = 0;
    if (!ReadFile(handle_, buffer, static_cast<DWORD>(max), &count, nullptr)) {
        // A device that went away (a cable pulled out, a Bluetooth link dropped) closes the
        // link, so that whoever holds it sees at once that no instrument is there.
        switch (GetLastError()) {
        case ERROR_ACCESS_DENIED:
        case ERROR_BAD_COMMAND:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_GEN_FAILURE:
        case ERROR_FILE_NOT_FOUND:
        case ERROR_INVALID_HANDLE:
            Close();
            break;
        default:
            break;
        }
        return -1;
    }
    return static_cast<int32_t>(count);
}

int32_t Win32SerialLink::Write(const uint8_t* data, int32_t length) {
    if (!IsOpen() || data == nullptr || length < 0) {
        return -1;
    }
    DWORD count = 0;
    if (!WriteFile(handle_, data, static_cast<DWORD>(length), &count, nullptr)) {
        return -1;
    }
    return static_cast<int32_t>(count);
}

bool Win32SerialLink::SetModemLine(ModemLine line) {
    if (!IsOpen()) {
        return false;
    }
    DWORD function = SETDTR;
    switch (line) {
    case ModemLine::SetRts:
        function = SETRTS;
        break;
    case ModemLine::ClrRts:
        function = CLRRTS;
        break;
    case ModemLine::SetDtr:
        function = SETDTR;
        break;
    case ModemLine::ClrDtr:
        function = CLRDTR;
        break;
    }
    // Refused where the device has no modem lines (a pseudo-terminal under Wine); the port keeps
    // working either way.
    return EscapeCommFunction(handle_, function) != 0;
}

bool Win32SerialLink::Configure(const LineSettings& settings) {
    if (!IsOpen()) {
        return false;
    }
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_, &dcb)) {
        return false;
    }
    dcb.BaudRate = static_cast<DWORD>(settings.baud);
    dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
    dcb.Parity = settings.parity == Parity::Odd    ? ODDPARITY
                 : settings.parity == Parity::Even ? EVENPARITY
                                                   : NOPARITY;
    dcb.fParity = settings.parity != Parity::None;
    dcb.StopBits = settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    // No flow control of either kind; the lines themselves are raised below.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    const bool done = SetCommState(handle_, &dcb) != 0;
    SetModemLine(ModemLine::SetDtr);
    SetModemLine(ModemLine::SetRts);
    return done;
}

void Win32SerialLink::SetQueueSizes(int32_t input, int32_t output) {
    if (IsOpen() && input > 0) {
        SetupComm(handle_, static_cast<DWORD>(input),
                  static_cast<DWORD>(output > 0 ? output : input));
    }
}

void Win32SerialLink::Close() {
    if (IsOpen()) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
}

Link::LineSettings Win32SerialLink::CurrentSettings() const {
    LineSettings settings;
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    if (!IsOpen() || !GetCommState(handle_, &dcb)) {
        return settings;
    }
    settings.baud = static_cast<int32_t>(dcb.BaudRate);
    settings.dataBits = dcb.ByteSize;
    settings.parity = dcb.Parity == ODDPARITY    ? Parity::Odd
                      : dcb.Parity == EVENPARITY ? Parity::Even
                                                 : Parity::None;
    settings.stopBits = dcb.StopBits == TWOSTOPBITS ? 2 : 1;
    return settings;
}

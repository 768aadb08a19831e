#pragma once

#include "linkselect/Link.h"
#include "linkselect/LinkSelectExport.h"

#include <string>

// Opens the two kinds of link. The library's default opens real serial ports and the companion
// program's local pipe; tests and simulations substitute their own.
class LINKSELECT_EXPORT LinkOpener {
public:
    virtual ~LinkOpener() = default;
    // The companion program's pipe; null when nobody serves it.
    virtual LinkPtr OpenPipe() = 0;
    // A serial port by its bare name ("ttyUSB0", "COM3"); null when it cannot be opened.
    virtual LinkPtr OpenSerial(const std::string& portName) = 0;
};

// The real thing: QSerialPort and a QLocalSocket to the server "RAK Pipe".
class LINKSELECT_EXPORT SystemLinkOpener : public LinkOpener {
public:
    LinkPtr OpenPipe() override;
    LinkPtr OpenSerial(const std::string& portName) override;
};

#include "linkselect/LinkOpener.h"

#include "linkselect/PipeLink.h"
#include "linkselect/SerialLink.h"

LinkPtr SystemLinkOpener::OpenPipe() {
    return PipeLink::Open();
}

LinkPtr SystemLinkOpener::OpenSerial(const std::string& portName) {
    return SerialLink::Open(portName);
}

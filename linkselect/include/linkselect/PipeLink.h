#pragma once

#include "linkselect/Link.h"
#include "linkselect/LinkSelectExport.h"

#include <memory>
#include <string>

class QLocalSocket;

// The name the companion program serves its pipe under. Outside the class: a data member of a
// class exported from the DLL would be imported from it, and an inline constant never is.
constexpr char kCompanionPipeName[] = "RAK Pipe";

// The companion program's pipe, a local socket ("RAK Pipe": a named pipe on Windows, a socket file
// in the user's runtime folder elsewhere, see PipePlace.h). Line settings and modem lines mean
// nothing here and are accepted and ignored.
class LINKSELECT_EXPORT PipeLink : public Link {
public:
    // Null when no server answers within timeoutMs.
    static std::shared_ptr<PipeLink> Open(const std::string& serverName = kCompanionPipeName,
                                          int timeoutMs = 1000);

    explicit PipeLink(std::unique_ptr<QLocalSocket> socket);
    ~PipeLink() override;
    PipeLink(const PipeLink&) = delete;
    PipeLink& operator=(const PipeLink&) = delete;

    bool IsOpen() const override;
    int32_t Read(uint8_t* buffer, int32_t max) override;
    int32_t Write(const uint8_t* data, int32_t length) override;
    bool IsPipe() const override { return true; }
    int32_t BytesWaiting() override;
    bool SetModemLine(ModemLine) override { return true; }
    bool Configure(const LineSettings&) override { return true; }
    void SetQueueSizes(int32_t, int32_t) override {}
    void Close() override;

private:
    void Poll();
    std::unique_ptr<QLocalSocket> socket_;
};

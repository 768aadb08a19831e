#include "PtyPair.h"

#include "linkselect/PipeLink.h"
#include "linkselect/PipePlace.h"
#include "linkselect/SerialLink.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Reads what the link offers until count bytes have come or the time-out has passed.
std::string ReadFrom(Link& link, size_t count, int timeoutMs = 2000) {
    std::string received;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (received.size() < count && Clock::now() < end) {
        uint8_t buffer[64];
        const int32_t n = link.Read(buffer, sizeof buffer);
        if (n < 0) {
            break;
        }
        received.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(n));
        if (n == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    return received;
}

int32_t WriteTo(Link& link, const std::string& bytes) {
    return link.Write(reinterpret_cast<const uint8_t*>(bytes.data()),
                      static_cast<int32_t>(bytes.size()));
}

TEST(SerialLinkTest, MissingPortDoesNotOpen) {
    EXPECT_EQ(SerialLink::Open("ttyTavonMissing9"), nullptr);
    EXPECT_EQ(SerialLink::Open(""), nullptr);
}

TEST(SerialLinkTest, BytesBothWaysOverAPseudoTerminal) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    auto link = SerialLink::Open(pty.PortName());
    ASSERT_TRUE(link);
    pty.ReleaseSlave();
    EXPECT_TRUE(link->IsOpen());
    EXPECT_FALSE(link->IsPipe());
    EXPECT_EQ(link->BytesWaiting(), -1);

    uint8_t buffer[16];
    EXPECT_EQ(link->Read(buffer, sizeof buffer), 0); // nothing waits: returns at once

    EXPECT_EQ(WriteTo(*link, std::string("$K,1\r\n\0\xff", 8)), 8);
    EXPECT_EQ(pty.ReadFromLink(8), std::string("$K,1\r\n\0\xff", 8));

    ASSERT_TRUE(pty.WriteToLink(std::string("0123456789\0\x80", 12)));
    std::string first;
    const auto end = Clock::now() + std::chrono::seconds(2);
    while (first.empty() && Clock::now() < end) {
        const int32_t n = link->Read(buffer, 4); // never more than asked for
        ASSERT_GE(n, 0);
        ASSERT_LE(n, 4);
        first.assign(reinterpret_cast<char*>(buffer), static_cast<size_t>(n));
    }
    EXPECT_EQ(first + ReadFrom(*link, 12 - first.size()), std::string("0123456789\0\x80", 12));
}

TEST(SerialLinkTest, BytesSentBeforeTheLinkOpenedAreNotReadAsAnswers) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    // The end of an upload the last program to hold the port no longer waited for.
    ASSERT_TRUE(pty.WriteToLink("YKA00 04;FC\r\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto link = SerialLink::Open(pty.PortName());
    ASSERT_TRUE(link);
    pty.ReleaseSlave();
    ASSERT_TRUE(pty.WriteToLink("YHA00;83\r\n"));
    EXPECT_EQ(ReadFrom(*link, 10), "YHA00;83\r\n");
}

TEST(SerialLinkTest, LineSettingsAndModemLinesOnAPseudoTerminal) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    auto link = SerialLink::Open(pty.PortName());
    ASSERT_TRUE(link);
    pty.ReleaseSlave();

    // The first stage, the toggle sequence (refused by a pty: no modem lines) and the second.
    EXPECT_TRUE(link->Configure({9600, 8, Link::Parity::None, 2}));
    EXPECT_EQ(link->CurrentSettings().baud, 9600);
    EXPECT_EQ(link->CurrentSettings().stopBits, 2);
    link->SetQueueSizes(32768, 10240);
    for (auto line : {Link::ModemLine::SetRts, Link::ModemLine::SetDtr, Link::ModemLine::ClrDtr,
                      Link::ModemLine::ClrRts}) {
        link->SetModemLine(line);
    }
    EXPECT_TRUE(link->Configure({115200, 8, Link::Parity::None, 1}));
    EXPECT_EQ(link->CurrentSettings().baud, 115200);
    EXPECT_EQ(link->CurrentSettings().stopBits, 1);
    EXPECT_EQ(link->CurrentSettings().dataBits, 8);
    EXPECT_EQ(link->CurrentSettings().parity, Link::Parity::None);

    // The port still carries bytes after the refused line changes.
    EXPECT_EQ(WriteTo(*link, "ok"), 2);
    EXPECT_EQ(pty.ReadFromLink(2), "ok");
    ASSERT_TRUE(pty.WriteToLink("back"));
    EXPECT_EQ(ReadFrom(*link, 4), "back");
}

TEST(SerialLinkTest, ClosedLinkFailsHarmlessly) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    LinkPtr link = SerialLink::Open(pty.PortName());
    ASSERT_TRUE(link);
    LinkPtr holder = link; // the other side still holds it
    link->Close();
    link->Close();
    uint8_t buffer[4];
    EXPECT_FALSE(holder->IsOpen());
    EXPECT_EQ(holder->Read(buffer, sizeof buffer), -1);
    EXPECT_EQ(holder->Write(buffer, sizeof buffer), -1);
    EXPECT_FALSE(holder->Configure({9600, 8, Link::Parity::None, 1}));
    EXPECT_FALSE(holder->SetModemLine(Link::ModemLine::SetDtr));
    holder->SetQueueSizes(1, 1);
}

// A device that goes away closes the link by itself: whoever holds it sees at once that no
// instrument is there, instead of reading nothing for ever.
TEST(SerialLinkTest, ALinkWhoseDeviceWentAwayCloses) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    LinkPtr link = SerialLink::Open(pty.PortName());
    ASSERT_TRUE(link);
    pty.ReleaseSlave();
    pty.CloseMaster();
    uint8_t buffer[4];
    int32_t read = 0;
    for (int attempt = 0; attempt < 50 && link->IsOpen(); ++attempt) {
        read = link->Read(buffer, sizeof buffer);
    }
    EXPECT_FALSE(link->IsOpen());
    EXPECT_EQ(read, -1);
}

TEST(SerialLinkTest, BadArgumentsAreRefused) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    auto link = SerialLink::Open(pty.PortName());
    ASSERT_TRUE(link);
    uint8_t buffer[4];
    EXPECT_EQ(link->Read(nullptr, 4), -1);
    EXPECT_EQ(link->Read(buffer, -1), -1);
    EXPECT_EQ(link->Write(nullptr, 4), -1);
    EXPECT_EQ(link->Write(buffer, -3), -1);
}

// A companion program's pipe served by the test itself, in the test's own runtime folder.
class PipeLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString path = QString::fromStdString(PipeSocketPath(kCompanionPipeName));
        ASSERT_TRUE(path.startsWith(qEnvironmentVariable("XDG_RUNTIME_DIR") + "/"));
        QLocalServer::removeServer(path);
        ASSERT_TRUE(server_.listen(path)) << server_.errorString().toStdString();
    }
    QLocalSocket* Accept() {
        if (!server_.waitForNewConnection(2000)) {
            return nullptr;
        }
        return server_.nextPendingConnection();
    }
    QLocalServer server_;
};

TEST_F(PipeLinkTest, BytesBothWaysAndBytesWaiting) {
    auto link = PipeLink::Open();
    ASSERT_TRUE(link);
    QLocalSocket* peer = Accept();
    ASSERT_NE(peer, nullptr);
    EXPECT_TRUE(link->IsPipe());
    EXPECT_EQ(link->BytesWaiting(), 0);
    uint8_t buffer[8];
    EXPECT_EQ(link->Read(buffer, sizeof buffer), 0);

    EXPECT_EQ(WriteTo(*link, std::string("$A\0\r\n", 5)), 5);
    std::string received;
    while (received.size() < 5 && peer->waitForReadyRead(2000)) {
        received += peer->readAll().toStdString();
    }
    EXPECT_EQ(received, std::string("$A\0\r\n", 5));

    peer->write(QByteArray("\x01\x02reply\xfe", 8));
    ASSERT_TRUE(peer->waitForBytesWritten(2000));
    const auto end = Clock::now() + std::chrono::seconds(2);
    while (link->BytesWaiting() < 8 && Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(link->BytesWaiting(), 8);
    EXPECT_EQ(link->Read(buffer, 3), 3); // never more than asked for
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), "\x01\x02r");
    EXPECT_EQ(link->BytesWaiting(), 5);
    EXPECT_EQ(ReadFrom(*link, 5), "eply\xfe");

    // Line settings and modem lines mean nothing on a pipe and are accepted.
    EXPECT_TRUE(link->Configure({115200, 8, Link::Parity::None, 1}));
    EXPECT_TRUE(link->SetModemLine(Link::ModemLine::SetRts));
}

TEST_F(PipeLinkTest, ServerGoneMeansFailedReads) {
    auto link = PipeLink::Open();
    ASSERT_TRUE(link);
    QLocalSocket* peer = Accept();
    ASSERT_NE(peer, nullptr);
    peer->write("last");
    peer->waitForBytesWritten(2000);
    peer->disconnectFromServer();
    delete peer;
    EXPECT_EQ(ReadFrom(*link, 4), "last");
    uint8_t buffer[4];
    const auto end = Clock::now() + std::chrono::seconds(2);
    int32_t result = 0;
    while (result == 0 && Clock::now() < end) {
        result = link->Read(buffer, sizeof buffer);
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(link->Write(buffer, 2), -1);
}

TEST_F(PipeLinkTest, ClosedLinkFailsHarmlessly) {
    LinkPtr link = PipeLink::Open();
    ASSERT_TRUE(link);
    LinkPtr holder = link;
    link->Close();
    uint8_t buffer[4];
    EXPECT_FALSE(holder->IsOpen());
    EXPECT_EQ(holder->Read(buffer, 4), -1);
    EXPECT_EQ(holder->Write(buffer, 4), -1);
    EXPECT_EQ(holder->BytesWaiting(), -1);
}

TEST(PipeLinkNoServerTest, NoServerMeansNoPipe) {
    QLocalServer::removeServer(QString::fromStdString(PipeSocketPath(kCompanionPipeName)));
    const auto start = Clock::now();
    EXPECT_EQ(PipeLink::Open(), nullptr);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

TEST(PipeLinkNoServerTest, StaleSocketFileRefusesUntilTheServerRemovesIt) {
    // What a killed server leaves behind: a socket file that nobody listens on.
    const std::string path = PipeSocketPath(kCompanionPipeName);
    QLocalServer::removeServer(QString::fromStdString(path));
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    path.copy(address.sun_path, path.size());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
    EXPECT_EQ(PipeLink::Open(), nullptr);

    QLocalServer server;
    QLocalServer::removeServer(QString::fromStdString(path));
    ASSERT_TRUE(server.listen(QString::fromStdString(path)));
    auto link = PipeLink::Open();
    EXPECT_TRUE(link);
}

} // namespace

// The program's edges: the pipe server's one-client rule, a stale socket file, the
// pseudo-terminal, the log and the command line.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "HostLines.h"
#include "sim/LogMemory.h"
#include "sim/MemoryLayout.h"
#include "sim/SerialNumber.h"
#include "testsupport/QtProcesses.h"

using testsupport::EnvGuard;
using testsupport::PrivateInstrument;
using testsupport::RunBuildProgram;

namespace {

const char kReadUploadFlag[] = "   LR  0B 00 01 8F\r\n";
const char kAnswerZero[] = "YHA00;"; // then the checksum and CR LF

// The host's end of a pseudo-terminal, raw; a read waits at most a second.
int OpenPort(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return fd;
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 10;
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

// Sends a line and collects frames until `answers` answer frames have come, or a few seconds of
// silence.
std::vector<simtest::Frame> Converse(int fd, const std::string& line, int answers) {
    if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        return {};
    std::vector<uint8_t> bytes;
    std::vector<simtest::Frame> frames;
    for (int silent = 0; silent < 5;) {
        uint8_t buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            ++silent;
            continue;
        }
        bytes.insert(bytes.end(), buffer, buffer + n);
        frames = simtest::SplitFrames(bytes);
        int seen = 0;
        for (const simtest::Frame& f : frames)
            seen += f.kind == 'A';
        if (seen >= answers)
            break;
    }
    return frames;
}

QByteArray Exchange(QLocalSocket& socket, const char* line, int waitMs = 3000) {
    socket.write(line);
    socket.flush();
    QByteArray got;
    while (!got.contains("\r\n") && socket.waitForReadyRead(waitMs))
        got += socket.readAll();
    return got;
}

} // namespace

TEST(SimServer, ServesOneClientAtATimeAndThenTheNext) {
    PrivateInstrument sim;
    ASSERT_TRUE(sim.Start({})) << sim.Errors().toStdString();
    EXPECT_EQ(sim.ReadyLine(), "ready: pipe " + sim.Folder() + "/RAK Pipe");

    QLocalSocket first, second;
    first.connectToServer("RAK Pipe");
    ASSERT_TRUE(first.waitForConnected(3000));
    EXPECT_TRUE(Exchange(first, kReadUploadFlag).startsWith(kAnswerZero));

    second.connectToServer("RAK Pipe");
    ASSERT_TRUE(second.waitForConnected(3000));
    second.write(kReadUploadFlag);
    second.flush();
    EXPECT_FALSE(second.waitForReadyRead(300)); // waits its turn

    first.disconnectFromServer();
    QByteArray got;
    while (!got.contains("\r\n") && second.waitForReadyRead(3000))
        got += second.readAll();
    EXPECT_TRUE(got.startsWith(kAnswerZero)) << got.toStdString();
}

// The socket goes into the user's runtime folder when there is one, into TMPDIR otherwise, and
// only its owner may connect either way.
TEST(SimServer, SocketIsTheUsersOwnInTheRuntimeFolderElseTmpdir) {
    PrivateInstrument sim; // TMPDIR and XDG_RUNTIME_DIR both its folder
    testsupport::TempDir tmp("sim-tmpdir-");
    ASSERT_TRUE(tmp.Ok());
    for (const bool runtime : {true, false}) {
        EnvGuard tmpdir("TMPDIR", tmp.Path());
        const std::string folder = sim.Folder().toStdString();
        EnvGuard xdg("XDG_RUNTIME_DIR", runtime ? folder.c_str() : nullptr);
        ASSERT_TRUE(sim.Start({})) << sim.Errors().toStdString();
        const std::string path = (runtime ? folder : tmp.Path()) + "/RAK Pipe";
        EXPECT_EQ(sim.ReadyLine().toStdString(), "ready: pipe " + path);
        struct stat info;
        ASSERT_EQ(::stat(path.c_str(), &info), 0) << path;
        EXPECT_TRUE(S_ISSOCK(info.st_mode));
        EXPECT_EQ(info.st_uid, ::getuid());
        EXPECT_EQ(info.st_mode & 077, 0u) << std::oct << info.st_mode;
        // The other folder holds no socket.
        EXPECT_NE(::access(((runtime ? tmp.Path() : folder) + "/RAK Pipe").c_str(), F_OK), 0);
        sim.Stop();
    }
}

TEST(SimServer, StaleSocketFileIsRemovedAndOtherNamesServed) {
    PrivateInstrument sim;
    QFile stale(sim.Folder() + "/RAK Pipe");
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();
    ASSERT_TRUE(sim.Start({})) << sim.Errors().toStdString();
    QLocalSocket socket;
    socket.connectToServer("RAK Pipe");
    ASSERT_TRUE(socket.waitForConnected(3000));
    EXPECT_TRUE(Exchange(socket, kReadUploadFlag).startsWith(kAnswerZero));

    PrivateInstrument other;
    ASSERT_TRUE(other.Start({"--pipe", "Bench Pipe"}));
    QLocalSocket socket2;
    socket2.connectToServer("Bench Pipe");
    ASSERT_TRUE(socket2.waitForConnected(3000));
    EXPECT_TRUE(Exchange(socket2, kReadUploadFlag).startsWith(kAnswerZero));
}

TEST(SimServer, PseudoTerminalAnswersLikeThePipe) {
    PrivateInstrument sim;
    ASSERT_TRUE(sim.Start({"--pty"})) << sim.Errors().toStdString();
    ASSERT_TRUE(sim.ReadyLine().startsWith("ready: pty /dev/"));
    const QByteArray path = sim.ReadyLine().mid(11).toLocal8Bit();
    const int fd = OpenPort(path);
    ASSERT_GE(fd, 0) << path.constData();
    ASSERT_EQ(::write(fd, kReadUploadFlag, sizeof kReadUploadFlag - 1),
              static_cast<ssize_t>(sizeof kReadUploadFlag - 1));
    std::string got;
    char buffer[64];
    for (int i = 0; i < 5 && got.find("\r\n") == std::string::npos; ++i) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    EXPECT_EQ(got.rfind(kAnswerZero, 0), 0u) << got;
}

// Three instruments in one process, each with its own seed, serial number, memory and log.
TEST(SimServer, SeveralPseudoTerminalsAreSeveralInstruments) {
    testsupport::TempDir dir("sim-pty3-");
    ASSERT_TRUE(dir.Ok());
    QProcess process;
    process.start(
        testsupport::QtBinDir() + "/tavon-instrument",
        {"--pty", "3", "--seed", "11", "--log", QString::fromStdString(dir.File("i.log"))});
    QStringList ready;
    while (ready.size() < 3 && (process.canReadLine() || process.waitForReadyRead(30000)))
        while (process.canReadLine())
            ready += QString::fromLocal8Bit(process.readLine()).trimmed();
    ASSERT_EQ(ready.size(), 3) << process.readAllStandardError().toStdString();

    std::vector<std::string> serials, sectors;
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(ready[k].toStdString());
        ASSERT_TRUE(ready[k].startsWith("ready: pty /dev/"));
        const int fd = OpenPort(ready[k].mid(11).toLocal8Bit());
        ASSERT_GE(fd, 0);
        const auto serial = Converse(fd, simtest::CommandLine('T', {20, 0, 16}), 1);
        Converse(fd, simtest::CommandLine('W', {12, 0, 0, 0}), 1);
        Converse(fd, simtest::CommandLine('W', {13, 0, 0, 0}), 1);
        const auto run = Converse(fd, simtest::CommandLine('W', {11, 0, 3}), 2);
        ::close(fd);
        ASSERT_EQ(serial.size(), 1u);
        const std::string expected = sim::SerialNumberForSeed(11 + static_cast<uint64_t>(k));
        EXPECT_EQ(serial[0].payload, expected + std::string(16 - expected.size(), ' '));
        serials.push_back(serial[0].payload);

        std::string sector;
        for (const simtest::Frame& f : run)
            if (f.kind == 'M')
                sector += f.payload;
        sim::LogMemory memory;
        sim::MemoryOptions options;
        options.seed = 11 + static_cast<uint64_t>(k);
        ASSERT_TRUE(memory.Generate(options));
        EXPECT_EQ(sector,
                  std::string(reinterpret_cast<const char*>(memory.Bytes()), sim::kSectorSize));
        sectors.push_back(sector);
        EXPECT_EQ(::access(dir.File("i-" + std::to_string(k + 1) + ".log").c_str(), R_OK), 0);
    }
    EXPECT_NE(ready[0], ready[1]);
    EXPECT_NE(ready[1], ready[2]);
    EXPECT_NE(serials[0], serials[1]);
    EXPECT_NE(serials[1], serials[2]);
    EXPECT_NE(sectors[0], sectors[1]);
    EXPECT_NE(sectors[1], sectors[2]);
    process.terminate();
    EXPECT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 0);
}

TEST(SimServer, NewSessionsReachTheServedMemory) {
    testsupport::TempDir dir("sim-new-");
    ASSERT_TRUE(dir.Ok());
    const std::string path = dir.File("grown.txt");
    ASSERT_EQ(RunBuildProgram("tavon-instrument", {"--seed", "9", "--new-sessions", "2", "--dump",
                                                   QString::fromStdString(path)}),
              0);
    sim::LogMemory dumped, expected;
    std::string error;
    ASSERT_TRUE(dumped.LoadDump(path, error)) << error;
    sim::MemoryOptions options;
    options.seed = 9;
    options.newSessions = 2;
    ASSERT_TRUE(expected.Generate(options));
    EXPECT_EQ(std::memcmp(dumped.Bytes(), expected.Bytes(), sim::kMemorySize), 0);
}

TEST(SimServer, LogHoldsCommandsAndFramesWithTimes) {
    PrivateInstrument sim;
    const QString path = sim.Folder() + "/sim.log";
    ASSERT_TRUE(sim.Start({"--log", path}));
    QLocalSocket socket;
    socket.connectToServer("RAK Pipe");
    ASSERT_TRUE(socket.waitForConnected(3000));
    Exchange(socket, kReadUploadFlag);
    Exchange(socket, "   LR  0B 00 01 8E\r\n", 300);
    sim.Stop();
    QFile log(path);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromLatin1(log.readAll());
    EXPECT_TRUE(text.contains(QRegularExpression(R"(\d+\.\d{3} < {4}LR  0B 00 01 8F\\r\\n\n)")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression(R"(\d+\.\d{3} > YHA00;\w\w\\r\\n\n)")));
    EXPECT_TRUE(text.contains("LR  0B 00 01 8E\\r\\n  # bad checksum"));
    EXPECT_TRUE(text.contains("client connected"));
}

TEST(SimServer, BadOptionsAreRefused) {
    for (const QStringList& args :
         {QStringList{"--fault", "drop:2"}, QStringList{"--fault", "spill:0.1"},
          QStringList{"--baud", "fast"}, QStringList{"--baud", "0"}, QStringList{"--seed", "-1"},
          QStringList{"--driver-version", "AB"}, QStringList{"--interface-version", "x"},
          QStringList{"--pipe", "A", "--pty"}, QStringList{"--image", "/nonexistent/F.txt"},
          QStringList{"stray"}, QStringList{"--bogus"},
          QStringList{"--serial", "TAV-0000000000001"}, QStringList{"--pty", "0"},
          QStringList{"--new-sessions", "many"}}) {
        QByteArray err;
        const int code = RunBuildProgram("tavon-instrument", args, nullptr, &err, 20000);
        EXPECT_NE(code, 0) << args.join(' ').toStdString();
        EXPECT_TRUE(err.startsWith("tavon-instrument: ")) << err.toStdString();
    }
}

TEST(SimServer, HelpListsTheOptions) {
    QByteArray out;
    ASSERT_EQ(RunBuildProgram("tavon-instrument", {"--help"}, &out), 0);
    for (const char* option : {"--pipe", "--pty", "--seed", "--serial", "--driver-version",
                               "--interface-version", "--with-unknown-records", "--new-sessions",
                               "--image", "--dump", "--baud", "--fault", "--log"})
        EXPECT_TRUE(out.contains(option)) << option;
}

TEST(SimServer, ImageServesADumpAndDumpWritesOne) {
    PrivateInstrument sim;
    const QString a = sim.Folder() + "/a.txt", b = sim.Folder() + "/b.txt";
    ASSERT_EQ(RunBuildProgram("tavon-instrument", {"--seed", "9", "--dump", a}), 0);
    // Served from a dump, the memory is the dump's: dumping it again gives the same file.
    ASSERT_EQ(RunBuildProgram("tavon-instrument", {"--image", a, "--dump", b}), 0);
    QFile fa(a), fb(b);
    ASSERT_TRUE(fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly));
    const QByteArray da = fa.readAll();
    EXPECT_EQ(da.size(), 131072 * 50);
    EXPECT_EQ(da, fb.readAll());
    ASSERT_TRUE(sim.Start({"--image", a}));
}

TEST(SimServer, BaudPacesWhatIsSent) {
    // A lower bound only: paced at 9,600 baud, no more than 960 bytes can arrive per second.
    PrivateInstrument sim;
    ASSERT_TRUE(sim.Start({"--baud", "9600"}));
    QLocalSocket socket;
    socket.connectToServer("RAK Pipe");
    ASSERT_TRUE(socket.waitForConnected(3000));
    QElapsedTimer clock;
    clock.start();
    socket.write("   LW  0B 00 0A 7A\r\n"); // the driver text run
    socket.flush();
    QByteArray got;
    qint64 lastByte = 0;
    while (socket.waitForReadyRead(1000)) {
        got += socket.readAll();
        lastByte = clock.elapsed();
    }
    const qint64 elapsed = lastByte;
    ASSERT_GT(got.size(), 400);
    EXPECT_GE(elapsed, (got.size() - 1) * 1000 / 960 - 50) << got.size() << " bytes";
}

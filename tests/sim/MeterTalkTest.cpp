// tavon-instrument against the program's own communications library over a real local socket:
// each side was written from the wire format on its own, so each checks the other.
#include <gtest/gtest.h>

#include <QFile>
#include <QThread>
#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include "core/LogImage.h"
#include "linkselect/LinkSelect.h"
#include "metertalk/CommandTarget.h"
#include "metertalk/Comms.h"
#include "metertalk/TestList.h"
#include "sim/InstrumentTests.h"
#include "sim/LogMemory.h"
#include "sim/MemoryLayout.h"
#include "sim/SerialNumber.h"
#include "testsupport/QtProcesses.h"

using testsupport::PrivateInstrument;
using testsupport::RunBuildProgram;

namespace {

class Recorder : public CommandTarget {
public:
    void PostCommand(int id) override { ids.push_back(id); }
    std::deque<int> ids;
};

// The host's side, driven the way the program drives it: one OnTimer per tick, the next request
// only after the notification of the last.
class Host {
public:
    explicit Host(int tickMs = 10) : m_tickMs(tickMs) {}
    ~Host() { Close(); }

    bool Open() {
        m_list.InitTestList();
        m_list.ReadDriver(nullptr);
        m_comms.SetTestList(&m_list);
        CLinkSelect().ResetModuleState();
        const AppInfo app{"Tavon Datalogging", ""};
        m_open = m_comms.InitCom(&app, "KOVA", "115,200") == 1;
        return m_open;
    }
    void Close() {
        if (m_open)
            m_comms.InitCom(nullptr, "", "");
        m_open = false;
    }

    // Ticks until a notification other than ID_COMMS_FRAME_START; 0 when none came.
    int Next(int maxTicks = 600) {
        for (int tick = 0; tick < maxTicks; ++tick) {
            if (!m_rec.ids.empty() || (m_comms.OnTimer(), !m_rec.ids.empty())) {
                while (!m_rec.ids.empty()) {
                    const int id = m_rec.ids.front();
                    m_rec.ids.pop_front();
                    if (id == ID_COMMS_TIMEOUT)
                        ++timeouts;
                    if (id == ID_COMMS_CHECKSUM_ERROR)
                        ++checksumErrors;
                    if (id != ID_COMMS_FRAME_START)
                        return id;
                }
            }
            QThread::msleep(static_cast<unsigned long>(m_tickMs));
        }
        return 0;
    }

    CTestList& List() { return m_list; }
    CComms& Comms() { return m_comms; }

    int Ask(const char* test) {
        if (m_list.FindTest(test) == 0)
            return -1;
        m_comms.Ask(&m_rec, 0);
        return Next();
    }
    int Set(const char* test, unsigned value) {
        if (m_list.FindTest(test) == 0)
            return -1;
        m_comms.Set(&m_rec, value);
        return Next();
    }
    int SetText(const char* test, const std::string& text) {
        if (m_list.FindTest(test) == 0)
            return -1;
        m_comms.Set(&m_rec, text);
        return Next();
    }
    // "Upload flag" = value and the run it starts; the data in out when it ended normally.
    int Upload(unsigned value, std::string& out) {
        const int ack = Set("Upload flag", value);
        if (ack != ID_COMMS_SET_DONE)
            return ack;
        const int end = Next();
        if (end == ID_COMMS_UNSOLICITED)
            out = Uploaded();
        return end;
    }
    std::string Uploaded() {
        static char buffer[CComms::UploadCapacity + 1];
        int length = 0;
        m_comms.GetUploadedData(buffer, static_cast<int>(sizeof buffer), length);
        return std::string(buffer, static_cast<size_t>(length));
    }
    // The start-up of the program: the driver text, then the configuration block when asked.
    bool StartUp(std::string* driver = nullptr, std::string* block = nullptr) {
        std::string text, config;
        if (Upload(10, text) != ID_COMMS_UNSOLICITED)
            return false;
        m_list.ReadDriver(text.c_str());
        const char letter = m_list.FindTest("Upload flag");
        m_list.SetSensorNumber(1);
        if (letter != 'A' && Upload(20, config) != ID_COMMS_UNSOLICITED)
            return false;
        if (driver)
            *driver = text;
        if (block)
            *block = config;
        return true;
    }
    // One area of memory as the program asks for it.
    int Area(unsigned sector, unsigned offset, std::string& out) {
        int id = Set("Sector to upload", sector);
        if (id != ID_COMMS_SET_DONE)
            return id;
        id = Set("Index to upload", offset);
        if (id != ID_COMMS_SET_DONE)
            return id;
        return Upload(3, out);
    }

    int timeouts = 0;
    int checksumErrors = 0;

private:
    int m_tickMs;
    CComms m_comms;
    CTestList m_list;
    Recorder m_rec;
    bool m_open = false;
};

std::string DefaultDriverText(int interfaceVersion = 11, char letter = 'B') {
    sim::InstrumentOptions options;
    options.interfaceVersion = interfaceVersion;
    options.uploadFlagLetter = letter;
    return sim::InstrumentTests(options).DriverText();
}

class SimMeterTalk : public ::testing::Test {
protected:
    PrivateInstrument sim;
    Host host;

    void Start(const QStringList& arguments = {}) {
        ASSERT_TRUE(sim.Start(arguments)) << sim.Errors().toStdString();
        ASSERT_TRUE(host.Open());
    }
};

} // namespace

TEST_F(SimMeterTalk, StartUpUploadsDriverTextThenConfigurationBlock) {
    Start();
    EXPECT_EQ(host.Ask("Upload flag"), ID_COMMS_ASK_DONE);
    EXPECT_EQ(host.Comms().GetNewValue(), 0);
    std::string driver, block;
    ASSERT_TRUE(host.StartUp(&driver, &block));
    EXPECT_EQ(driver, DefaultDriverText());
    EXPECT_EQ(host.List().GetInterfaceVersion(), 11);
    EXPECT_EQ(host.List().GetNumberOfTests(), 14);
    EXPECT_EQ(host.List().FindTest("Upload flag"), 'B');
    EXPECT_EQ(host.List().GetTestNumber(), "11");
    EXPECT_EQ(host.List().FindTest("Sector to upload"), 'A');
    EXPECT_EQ(host.List().GetTestType(), 2);
    EXPECT_EQ(host.List().GetAlterable(), 1);
    ASSERT_EQ(block.size(), sim::kConfigBlockSize);
    EXPECT_EQ(block[0], 8);
    EXPECT_STREQ(block.c_str() + 308, "Survey");
    EXPECT_STREQ(block.c_str() + 518, "R[seau Enqu]te");
    // Idle polling goes on after the start-up.
    EXPECT_EQ(host.Ask("Upload flag"), ID_COMMS_ASK_DONE);
    EXPECT_EQ(host.timeouts, 0);
}

TEST_F(SimMeterTalk, DriverVersionASkipsTheConfigurationBlock) {
    Start({"--driver-version", "A"});
    std::string driver, block = "untouched";
    ASSERT_TRUE(host.StartUp(&driver, &block));
    EXPECT_EQ(host.List().FindTest("Upload flag"), 'A');
    EXPECT_EQ(block, "");
}

TEST_F(SimMeterTalk, TenIndexSectorsAndFourSessionPiecesAreByteIdentical) {
    const QString dump = sim.Folder() + "/expected.txt";
    ASSERT_EQ(RunBuildProgram("tavon-instrument", {"--seed", "5", "--dump", dump}), 0);
    auto expected = std::make_unique<LogImage>();
    std::string message;
    ASSERT_EQ(expected->LoadDump(dump.toLocal8Bit().constData(), message), 1) << message;
    Start({"--seed", "5"});
    ASSERT_TRUE(host.StartUp());

    auto image = std::make_unique<LogImage>();
    for (unsigned s = 0; s < 10; ++s) {
        std::string data;
        ASSERT_EQ(host.Area(s, 0, data), ID_COMMS_UNSOLICITED) << s;
        ASSERT_EQ(data.size(), sim::kSectorSize);
        image->Store(s * sim::kSectorSize, reinterpret_cast<const uint8_t*>(data.data()),
                     sim::kSectorSize);
    }
    EXPECT_EQ(std::memcmp(image->Bytes(), expected->Bytes(), sim::kIndexSectors * sim::kSectorSize),
              0);

    // The session whose escapes run past its sector, and the very last sector (field 0x1FD).
    sim::LogMemory memory;
    sim::MemoryOptions options;
    options.seed = 5;
    memory.Generate(options);
    int slot = -1;
    for (const auto& s : memory.Sessions())
        if (s.storedLength > sim::kSectorSize)
            slot = s.slot;
    ASSERT_GE(slot, 0);
    for (const unsigned sector : {sim::SessionSector(slot), 509u}) {
        for (unsigned piece = 0; piece < 4; ++piece) {
            std::string data;
            const size_t offset = piece * sim::kSessionPiece;
            ASSERT_EQ(host.Area(sector, static_cast<unsigned>(offset), data), ID_COMMS_UNSOLICITED);
            ASSERT_EQ(data.size(), sim::kSessionPiece);
            image->Store(sector * sim::kSectorSize + offset,
                         reinterpret_cast<const uint8_t*>(data.data()), sim::kSessionPiece);
        }
        EXPECT_EQ(std::memcmp(image->Bytes() + sector * sim::kSectorSize,
                              expected->Bytes() + sector * sim::kSectorSize, sim::kSectorSize),
                  0)
            << sector;
    }
    EXPECT_EQ(host.timeouts, 0);
}

// The serial number as the program reads it, on both interfaces: the seed's, or the one given.
struct SerialCase {
    int interfaceVersion;
    QStringList arguments;
    std::string expected; // blank-padded to the test's 16 characters
};

class SimMeterTalkSerial : public SimMeterTalk, public ::testing::WithParamInterface<SerialCase> {};

TEST_P(SimMeterTalkSerial, SerialNumberRead) {
    Start(GetParam().arguments +
          QStringList{"--interface-version", QString::number(GetParam().interfaceVersion)});
    ASSERT_TRUE(host.StartUp());
    ASSERT_EQ(host.Ask("Serial number"), ID_COMMS_ASK_DONE);
    EXPECT_EQ(std::string(host.Comms().GetNewString()), GetParam().expected);
}

std::string Padded(const std::string& serial) {
    return serial + std::string(sim::kSerialNumberLength - serial.size(), ' ');
}

INSTANTIATE_TEST_SUITE_P(
    Interfaces, SimMeterTalkSerial,
    ::testing::Values(SerialCase{11, {"--seed", "7"}, Padded(sim::SerialNumberForSeed(7))},
                      SerialCase{10, {"--seed", "7"}, Padded(sim::SerialNumberForSeed(7))},
                      SerialCase{11, {"--serial", "DEPOT 4"}, "DEPOT 4         "},
                      SerialCase{10, {"--serial", "0123456789ABCDEF"}, "0123456789ABCDEF"}));

class SimMeterTalkText : public SimMeterTalk, public ::testing::WithParamInterface<int> {};

TEST_P(SimMeterTalkText, TextTestsReadAndWritten) {
    Start({"--interface-version", QString::number(GetParam())});
    std::string driver;
    ASSERT_TRUE(host.StartUp(&driver));
    EXPECT_EQ(host.List().GetInterfaceVersion(), GetParam());

    ASSERT_EQ(host.Ask("Firmware version"), ID_COMMS_ASK_DONE);
    EXPECT_STREQ(host.Comms().GetNewString(), "4.12.0003   ");

    ASSERT_EQ(host.SetText("Job number", "JOB 42"), ID_COMMS_SET_DONE);
    ASSERT_EQ(host.Ask("Job number"), ID_COMMS_ASK_DONE);
    EXPECT_STREQ(host.Comms().GetNewString(), "JOB 42      ");
    ASSERT_EQ(host.SetText("Job number", "NW-22817-03Z"), ID_COMMS_SET_DONE);
    ASSERT_EQ(host.Ask("Job number"), ID_COMMS_ASK_DONE);
    EXPECT_STREQ(host.Comms().GetNewString(), "NW-22817-03Z");

    host.List().FindTest("Sensor name");
    host.List().SetSensorNumber(2);
    ASSERT_EQ(host.Ask("Sensor name"), ID_COMMS_ASK_DONE);
    EXPECT_STREQ(host.Comms().GetNewString(), "CO cell     ");

    host.List().SetSensorNumber(3);
    ASSERT_EQ(host.Ask("Sensor reading"), ID_COMMS_ASK_DONE);
    EXPECT_EQ(host.Comms().GetNewValue(), 209);
    ASSERT_EQ(host.Set("Alarm level", 190), ID_COMMS_SET_DONE);
    ASSERT_EQ(host.Ask("Alarm level"), ID_COMMS_ASK_DONE);
    EXPECT_EQ(host.Comms().GetNewValue(), 190);
    ASSERT_EQ(host.Ask("Clock"), ID_COMMS_ASK_DONE);
    EXPECT_EQ(static_cast<uint32_t>(host.Comms().GetNewValue()), 0x31A2F4C0u);
    EXPECT_EQ(host.timeouts, 0);
}

INSTANTIATE_TEST_SUITE_P(InterfaceVersions, SimMeterTalkText, ::testing::Values(10, 11));

TEST_F(SimMeterTalk, NotAlterableTestIsRefusedAgainAndAgain) {
    Start({"--log", sim.Folder() + "/log.txt"});
    ASSERT_TRUE(host.StartUp());
    // The engine resends a refused write without limit; the instrument keeps refusing it.
    Recorder recorder;
    host.List().FindTest("Battery voltage");
    host.Comms().Set(&recorder, 5u);
    for (int i = 0; i < 20; ++i) {
        host.Comms().OnTimer();
        QThread::msleep(10);
    }
    QFile log(sim.Folder() + "/log.txt");
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    EXPECT_GE(text.count("# test is not alterable"), 3);
    EXPECT_EQ(std::count(recorder.ids.begin(), recorder.ids.end(), ID_COMMS_SET_DONE), 0);
}

TEST_F(SimMeterTalk, RefusalsAreOutwaitedAndDeterministic) {
    struct Outcome {
        int timeouts = -1;
        int refusals = -1;
    };
    const auto play = [](PrivateInstrument& process, Outcome& outcome) {
        Host h;
        const QString log = process.Folder() + "/refuse.log";
        ASSERT_TRUE(process.Start({"--fault", "refuse:0.4", "--seed", "11", "--log", log}));
        ASSERT_TRUE(h.Open());
        // Polls as the program makes them: a time-out is answered by asking again.
        for (int poll = 0; poll < 8; ++poll) {
            int id = 0;
            for (int i = 0; i < 20 && id != ID_COMMS_ASK_DONE; ++i)
                id = h.Ask("Upload flag");
            ASSERT_EQ(id, ID_COMMS_ASK_DONE);
        }
        // Refused writes are resent by the engine until one is taken.
        std::string driver;
        ASSERT_TRUE(h.StartUp(&driver));
        EXPECT_EQ(driver, DefaultDriverText());
        for (unsigned sector = 0; sector < 3; ++sector) {
            std::string data;
            ASSERT_EQ(h.Area(sector, 0, data), ID_COMMS_UNSOLICITED);
            EXPECT_EQ(data.size(), sim::kSectorSize);
        }
        process.Stop();
        QFile file(log);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        outcome.refusals = static_cast<int>(file.readAll().count("# refuse fault"));
        outcome.timeouts = h.timeouts;
    };
    Outcome first, second;
    play(sim, first);
    PrivateInstrument again;
    play(again, second);
    EXPECT_GT(first.timeouts, 0);
    EXPECT_GT(first.refusals, first.timeouts);
    EXPECT_EQ(first.timeouts, second.timeouts);
    EXPECT_EQ(first.refusals, second.refusals);
}

TEST_F(SimMeterTalk, DroppedRequestTimesOut) {
    Start({"--fault", "drop:1"});
    EXPECT_EQ(host.Ask("Upload flag"), ID_COMMS_TIMEOUT);
}

TEST_F(SimMeterTalk, CorruptChecksumIsReported) {
    Start({"--fault", "checksum:1"});
    EXPECT_EQ(host.Ask("Upload flag"), ID_COMMS_CHECKSUM_ERROR);
}

TEST_F(SimMeterTalk, StallCutsARunShortAndTheHostKeepsWhatCame) {
    Start({"--fault", "stall-after:5"});
    std::string data;
    EXPECT_EQ(host.Upload(10, data), ID_COMMS_TIMEOUT);
    EXPECT_EQ(host.Uploaded(), DefaultDriverText().substr(0, 4 * 44));
    EXPECT_EQ(host.Ask("Upload flag"), ID_COMMS_TIMEOUT);
}

TEST_F(SimMeterTalk, NoiseBetweenFramesCostsNothing) {
    Start({"--fault", "garbage:0.5", "--seed", "3"});
    std::string driver;
    ASSERT_TRUE(host.StartUp(&driver));
    EXPECT_EQ(driver, DefaultDriverText());
    sim::LogMemory memory;
    sim::MemoryOptions options;
    options.seed = 3;
    memory.Generate(options);
    for (unsigned s = 0; s < 3; ++s) {
        std::string data;
        ASSERT_EQ(host.Area(s, 0, data), ID_COMMS_UNSOLICITED);
        EXPECT_EQ(std::memcmp(data.data(), memory.Bytes() + s * sim::kSectorSize, sim::kSectorSize),
                  0);
    }
    EXPECT_EQ(host.checksumErrors, 0);
}

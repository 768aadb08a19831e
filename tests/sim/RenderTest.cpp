// The generated memory through the program's own decoders, by way of tavon-datalog render.
#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>
#include <cstring>

#include "sim/LogMemory.h"
#include "sim/MemoryLayout.h"
#include "testsupport/QtProcesses.h"
#include "testsupport/TempDir.h"

using testsupport::RunBuildProgram;
using testsupport::TempDir;

namespace {

struct Rendered {
    int code = -1;
    QByteArray report;
    QByteArray errors;
    int sessions = 0;
};

Rendered Render(const QStringList& simArguments, bool unknown) {
    Rendered r;
    const TempDir folder("simrender");
    const QString dump = QString::fromStdString(folder.File("FlashData.txt"));
    if (RunBuildProgram("tavon-instrument", simArguments + QStringList{"--dump", dump}) != 0)
        return r;
    sim::LogMemory memory;
    sim::MemoryOptions options;
    options.withUnknownRecords = unknown;
    memory.Generate(options);
    // The program's dump and the library's generation must agree before anything else.
    QFile file(dump);
    if (!file.open(QIODevice::ReadOnly))
        return r;
    sim::LogMemory loaded;
    std::string error;
    if (!loaded.LoadDump(dump.toStdString(), error) ||
        std::memcmp(loaded.Bytes(), memory.Bytes(), sim::kMemorySize) != 0)
        return r;
    QStringList args{"render", dump, "--graph", "--mode-names",
                     "Survey,Leak Search,Barhole,R[seau Enqu]te"};
    for (const auto& s : memory.Sessions())
        args << QString::number(s.slot);
    r.sessions = static_cast<int>(memory.Sessions().size());
    r.code = RunBuildProgram("tavon-datalog", args, &r.report, &r.errors, 120000);
    return r;
}

} // namespace

TEST(SimRender, EveryGeneratedSessionDecodesWithoutUnrecognisedRecords) {
    const Rendered r = Render({}, false);
    ASSERT_EQ(r.code, 0) << r.errors.toStdString();
    EXPECT_FALSE(r.errors.contains("Warning")) << r.errors.toStdString();
    EXPECT_FALSE(r.report.contains("Unrecognised log"));
    EXPECT_FALSE(r.report.contains("new log format"));
    // One section per session, joined as Full Day joins them.
    EXPECT_EQ(r.report.count("\\par -------- "), r.sessions - 1);
    for (const char* text : {"Switch ON",
                             "Switch off",
                             "Survey: ",
                             " A    ",
                             " M    ",
                             " T    ",
                             "Barhole",
                             "Gas Test.",
                             "Pipeline gas",
                             "No Determination",
                             "Soundness test passed",
                             "Filter Check failed",
                             "Calibration",
                             "Zero",
                             "Bump Test",
                             "Not Tested",
                             "Field Cal",
                             "GPS Average",
                             "Instrument opened",
                             "Job Number ",
                             "User Name : ",
                             "Manual zero ",
                             " Pump FAULT/RUNNING",
                             "Mode change to ",
                             "No GPS Fix",
                             "N 53 28.",
                             "W 002 14.",
                             "Need new table",
                             " / ",
                             " Methane",
                             " Nat Gas",
                             "EEEE",
                             "Meter box outside \\par smell"})
        EXPECT_TRUE(r.report.contains(text)) << text;
}

TEST(SimRender, UnknownRecordsBringTheWarning) {
    const Rendered r = Render({"--with-unknown-records"}, true);
    ASSERT_EQ(r.code, 0) << r.errors.toStdString();
    EXPECT_TRUE(r.errors.contains("Warning: This session contains some logs which are not "
                                  "recognised"))
        << r.errors.toStdString();
    EXPECT_TRUE(r.report.contains("Unrecognised log."));
    EXPECT_TRUE(r.report.contains("Alarm log - new log format."));
    EXPECT_TRUE(r.report.contains("Switch off - new log format."));
}

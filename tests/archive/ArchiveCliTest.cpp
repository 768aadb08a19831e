// tavon-datalog archive as a process: import, listing formats, rendering, and the faults that must
// leave the archive untouched.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "core/LogImage.h"
#include "sim/LogMemory.h"
#include "testsupport/Files.h"
#include "testsupport/Processes.h"
#include "testsupport/TempDir.h"

namespace {

using testsupport::RunProgram;
using testsupport::RunResult;

class ArchiveCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.Ok());
        sim::LogMemory memory;
        memory.Generate(sim::MemoryOptions());
        std::string error;
        ASSERT_TRUE(memory.WriteDump(m_dir.File("FlashData.txt"), error)) << error;
        m_sessions = memory.Sessions().size();
    }

    RunResult Datalog(std::vector<std::string> args) {
        args.insert(args.begin() + 2, {"--archive", m_dir.File("a.sqlite")});
        // No list of trusted keys this machine holds judges the signers.
        return RunProgram("tavon-datalog", args, m_dir.Path(), 120,
                          {"TZ=UTC", "LC_ALL=C", "XDG_CONFIG_HOME=" + m_dir.File("config"),
                           "TAVON_SYSTEM_TRUSTED_KEYS=" + m_dir.File("system-keys")});
    }

    testsupport::TempDir m_dir{"tavon-archive-cli-"};
    size_t m_sessions = 0;
};

TEST_F(ArchiveCliTest, ImportListAndRenderAsTheDumpRenders) {
    RunResult r = Datalog({"archive", "import", "--instrument", "unit 7", "FlashData.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(std::to_string(m_sessions) + " new"), std::string::npos) << r.out;
    r = Datalog({"archive", "import", "FlashData.txt", "--instrument", "unit 7"});
    EXPECT_NE(r.out.find(std::to_string(m_sessions) + " already archived"), std::string::npos);

    r = Datalog({"archive", "list", "--format", "json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonArray listed = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
    ASSERT_EQ(listed.size(), static_cast<int>(m_sessions));
    EXPECT_EQ(listed[0].toObject()["instrument"].toString(), "unit 7");

    // Without --archive, the one Settings.ini names for the program and its downloads.
    ASSERT_TRUE(testsupport::WriteFile(m_dir.File("Settings.ini"),
                                       "Archive=" + m_dir.File("a.sqlite") + "\r\n"));
    r = RunProgram("tavon-datalog", {"archive", "list", "--format", "json"}, m_dir.Path(), 120,
                   {"TZ=UTC", "LC_ALL=C", "XDG_DATA_HOME=" + m_dir.File("data")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array(), listed);

    // The text names each number it prints for what it is, as the JSON does: the archive's id
    // and the instrument's slot, never a bare number.
    r = Datalog({"archive", "list"});
    ASSERT_EQ(r.status, 0) << r.err;
    const QStringList lines = QString::fromStdString(r.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), listed.size());
    for (int k = 0; k < listed.size(); ++k) {
        const QJsonObject session = listed[k].toObject();
        const QString id = QString("id %1 ").arg(session["id"].toInt());
        const QString slot = QString("  slot %1  ").arg(session["slot"].toInt(), 3);
        EXPECT_TRUE(lines[k].startsWith(id)) << lines[k].toStdString();
        EXPECT_TRUE(lines[k].contains(slot)) << lines[k].toStdString();
    }

    r = Datalog({"archive", "list", "--format", "csv", "--alarm"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("id,instrument,day,start,end,slot,alarm,", 0), 0u);

    const int first = listed[0].toObject()["id"].toInt();
    const int slot = listed[0].toObject()["slot"].toInt();
    r = Datalog({"archive", "render", std::to_string(first)});
    ASSERT_EQ(r.status, 0) << r.err;
    const RunResult direct =
        RunProgram("tavon-datalog", {"render", "FlashData.txt", std::to_string(slot)}, m_dir.Path(),
                   120, {"TZ=UTC", "LC_ALL=C"});
    EXPECT_EQ(r.out, direct.out);

    // The archive knows the instrument by the name the import gave it; the dump, only when told.
    r = Datalog({"archive", "export", "--format", "geojson", std::to_string(first)});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"instrument\":\"unit 7\""), std::string::npos) << r.out;
    const RunResult exported = RunProgram("tavon-datalog",
                                          {"export", "FlashData.txt", std::to_string(slot),
                                           "--format", "geojson", "--instrument", "unit 7"},
                                          m_dir.Path(), 120, {"TZ=UTC", "LC_ALL=C"});
    EXPECT_EQ(r.out, exported.out);
    EXPECT_EQ(Datalog({"archive", "export", "--format", "kml", "1"}).status, 2);

    r = Datalog({"archive", "plot", "-o", "chart.png", "--size", "640x480", std::to_string(first)});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string png = testsupport::ReadFile(m_dir.File("chart.png"));
    ASSERT_GE(png.size(), 24u);
    // The picture's width and height, big-endian in the PNG header.
    EXPECT_EQ(png.substr(16, 8), std::string("\0\0\x02\x80\0\0\x01\xe0", 8));
    EXPECT_EQ(Datalog({"archive", "plot", "-o", "chart.svg", "1"}).status, 2);
}

// The peak the listing gives each gas of a session is a figure the export's CSV holds in that
// gas's column, as precise as the record holds it ("LEL 0.0 % LEL", never "LEL 0 % LEL"), and
// none of the column's readings is higher.
TEST_F(ArchiveCliTest, ListedPeaksAreTheFiguresTheExportHolds) {
    ASSERT_EQ(Datalog({"archive", "import", "--instrument", "unit 7", "FlashData.txt"}).status, 0);
    RunResult r = Datalog({"archive", "list", "--format", "json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonArray listed = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
    std::vector<std::string> exported = {"archive", "export", "--format", "csv", "-o", "all.csv"};
    for (const QJsonValue& session : listed) {
        exported.push_back(std::to_string(session.toObject()["id"].toInt()));
    }
    r = Datalog(exported);
    ASSERT_EQ(r.status, 0) << r.err;
    // Python's csv module reads the file: slot, column -> the cells of that session's rows.
    QProcess python;
    python.start("python3",
                 {"-c",
                  "import csv, json, sys\n"
                  "rows = list(csv.reader(open(sys.argv[1], newline='')))\n"
                  "out = {}\n"
                  "for row in rows[1:]:\n"
                  "    for name, cell in zip(rows[0], row):\n"
                  "        if cell: out.setdefault(row[1] + ' ' + name, []).append(cell)\n"
                  "print(json.dumps(out))",
                  QString::fromStdString(m_dir.File("all.csv"))});
    ASSERT_TRUE(python.waitForFinished(60000)) << python.errorString().toStdString();
    const QJsonObject cells = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    ASSERT_FALSE(cells.isEmpty());
    int compared = 0;
    for (const QJsonValue& session : listed) {
        const QString slot = QString::number(session.toObject()["slot"].toInt());
        for (const QJsonValue& peak : session.toObject()["peaks"].toArray()) {
            // "LEL 0.0 % LEL": the gas, its figure, its unit; the column "LEL (% LEL)".
            const QString text = peak.toString();
            const QStringList words = text.split(' ');
            ASSERT_GE(words.size(), 2) << text.toStdString();
            if (words[1] == "EEEE") {
                continue; // over range: no number in the CSV's column
            }
            const QString unit = words.mid(2).join(' ');
            const QString heading = unit.isEmpty() ? words[0] : words[0] + " (" + unit + ")";
            // Two sensors of one heading are "GAS (% gas)" and "GAS (% gas) 2": the peak is the
            // highest reading of one of them.
            bool highest = false;
            for (const QString& key : cells.keys()) {
                const QString column = key.mid(slot.size() + 1);
                if (!key.startsWith(slot + " ") ||
                    (column != heading && !column.startsWith(heading + " "))) {
                    continue;
                }
                const QJsonArray values = cells[key].toArray();
                bool below = values.contains(QJsonValue(words[1]));
                for (const QJsonValue& value : values) {
                    below = below && value.toString().toDouble() <= words[1].toDouble();
                }
                highest = highest || below;
            }
            EXPECT_TRUE(highest) << "slot " << slot.toStdString() << ": " << text.toStdString();
            ++compared;
        }
    }
    EXPECT_GT(compared, 100);
}

// A new name is a new instrument; renaming is asked for, keeps the sessions and refuses a name that
// another instrument has.
TEST_F(ArchiveCliTest, RenameInstrumentKeepsTheSessionsAndRefusesANameInUse) {
    ASSERT_EQ(Datalog({"archive", "import", "--instrument", "unit 7", "FlashData.txt"}).status, 0);
    RunResult r = Datalog({"archive", "import", "--instrument", "unit 9", "FlashData.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(std::to_string(m_sessions) + " new"), std::string::npos) << r.out;
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out; // the start of standard output, or of standard error when it failed
    };
    const std::string moved = ": " + std::to_string(m_sessions) + " sessions\n";
    const Case cases[] = {
        {{"unit 7", "van 7"}, 0, "unit 7 is now called van 7" + moved},
        {{"van 7", "van 7"}, 0, "van 7 is already called van 7: nothing changed\n"},
        {{"van 7", "unit 9"}, 2, "tavon-datalog: another instrument already goes by \"unit 9\""},
        {{"nobody", "van 8"}, 2, "tavon-datalog: the archive holds no instrument \"nobody\""},
        {{"van 7"}, 2, "tavon-datalog: archive rename-instrument takes"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"archive", "rename-instrument"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        r = Datalog(args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ((c.status == 0 ? r.out : r.err).rfind(c.out, 0), 0u) << r.out << r.err;
    }
    r = Datalog({"archive", "list", "--format", "json"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::string, size_t> perInstrument;
    for (const QJsonValue& s : QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array()) {
        ++perInstrument[s.toObject()["instrument"].toString().toStdString()];
    }
    EXPECT_EQ(perInstrument,
              (std::map<std::string, size_t>{{"van 7", m_sessions}, {"unit 9", m_sessions}}));
    // Only what changed is in the history: the name given again left no row.
    r = Datalog({"archive", "history"});
    EXPECT_EQ(r.out.find("to \"van 7\"", r.out.find("to \"van 7\"") + 1), std::string::npos)
        << r.out;
    r = Datalog({"archive", "stats"});
    EXPECT_NE(r.out.find("\n  van 7: " + std::to_string(m_sessions) + " sessions"),
              std::string::npos)
        << r.out;
}

// A dump saved after one day's uploads lists every session of the index but holds the data of
// that day's alone: only those are archived, the others counted as not in it.
TEST_F(ArchiveCliTest, ImportStoresOnlyTheSessionsTheDumpHolds) {
    std::unique_ptr<LogImage> image(new LogImage);
    std::string error;
    ASSERT_TRUE(image->LoadDump(m_dir.File("FlashData.txt").c_str(), error)) << error;
    const uint32_t kept = LogImage::DataSector(0) * LogImage::kSectorSize;
    const std::string sector(reinterpret_cast<const char*>(image->Bytes()) + kept,
                             LogImage::kSectorSize);
    image->ForgetSessions();
    image->Store(kept, reinterpret_cast<const uint8_t*>(sector.data()), LogImage::kSectorSize);
    ASSERT_TRUE(image->DumpImage(m_dir.File("one-day.txt").c_str()));

    RunResult r = Datalog({"archive", "import", "--instrument", "unit 9", "one-day.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "one-day.txt: " + std::to_string(m_sessions) +
                         " sessions listed: 1 new, 0 already archived, 0 replaced, " +
                         std::to_string(m_sessions - 1) +
                         " not in the dump: filed under the new instrument \"unit 9\"\n");
    r = Datalog({"archive", "list", "--format", "json"});
    const QJsonArray listed = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
    ASSERT_EQ(listed.size(), 1) << r.out;
    EXPECT_EQ(listed[0].toObject()["slot"].toInt(), 0);
    // When it was first and last seen: ISO 8601 in UTC, to the millisecond, as the history's.
    for (const char* seen : {"firstSeen", "lastSeen"}) {
        const QString at = listed[0].toObject()[seen].toString();
        const QDateTime parsed = QDateTime::fromString(at, Qt::ISODateWithMs);
        EXPECT_TRUE(parsed.isValid()) << seen << " " << at.toStdString();
        EXPECT_TRUE(at.endsWith('Z')) << at.toStdString();
        EXPECT_EQ(at.size(), 24) << at.toStdString();
        EXPECT_LT(std::llabs(parsed.toMSecsSinceEpoch() - QDateTime::currentMSecsSinceEpoch()),
                  3600000LL);
    }
    // The whole dump later brings the rest.
    r = Datalog({"archive", "import", "--instrument", "unit 9", "FlashData.txt"});
    EXPECT_NE(r.out.find(std::to_string(m_sessions - 1) + " new, 1 already archived"),
              std::string::npos)
        << r.out;
}

TEST_F(ArchiveCliTest, AMalformedDumpIsNamedWithItsLineAndNothingIsStored) {
    std::string text = testsupport::ReadFile(m_dir.File("FlashData.txt"));
    const size_t line3 = text.find('\n', text.find('\n') + 1) + 1;
    text[line3 + 4] = 'X';
    ASSERT_TRUE(testsupport::WriteFile(m_dir.File("bad.txt"), text));
    RunResult r = Datalog({"archive", "import", "FlashData.txt", "bad.txt"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("bad.txt"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("line 3"), std::string::npos) << r.err;
    // Not even the archive was made.
    r = Datalog({"archive", "stats"});
    EXPECT_EQ(r.status, 6) << r.out;
    EXPECT_NE(r.err.find("no archive at " + m_dir.File("a.sqlite")), std::string::npos) << r.err;
}

TEST_F(ArchiveCliTest, AnArchiveThatCannotBeOpenedOrWrittenEndsWithStatus6) {
    ASSERT_EQ(Datalog({"archive", "import", "FlashData.txt"}).status, 0);
    ASSERT_EQ(chmod(m_dir.File("a.sqlite").c_str(), 0444), 0);
    RunResult r = Datalog({"archive", "import", "FlashData.txt"});
    if (geteuid() != 0) { // root writes through any file mode
        EXPECT_EQ(r.status, 6) << r.out;
        EXPECT_NE(r.err.find("readonly"), std::string::npos) << r.err;
    }
    // What root can write through: a file that is no database at all.
    ASSERT_TRUE(testsupport::WriteFile(m_dir.File("junk.sqlite"), std::string(8192, 'j')));
    r = RunProgram("tavon-datalog",
                   {"archive", "import", "--archive", "junk.sqlite", "FlashData.txt"},
                   m_dir.Path());
    EXPECT_EQ(r.status, 6);
    EXPECT_NE(r.err.find("junk.sqlite"), std::string::npos) << r.err;
    EXPECT_EQ(testsupport::ReadFile(m_dir.File("junk.sqlite")), std::string(8192, 'j'));
    r = RunProgram("tavon-datalog",
                   {"archive", "list", "--archive", "postgresql://nobody@%2Fnonexistent:1/none"},
                   m_dir.Path());
    EXPECT_EQ(r.status, 6);
    EXPECT_NE(r.err.find("cannot open the archive postgresql://nobody@"), std::string::npos)
        << r.err;
    r = Datalog({"archive", "list", "--from", "yesterday"});
    EXPECT_EQ(r.status, 2);
}

// A file that is no SQLite database at all is said to be no archive, in our words rather than the
// driver's, with exit status 6, and is left as it was: by a command that reads an archive and by
// one that would make it.
TEST_F(ArchiveCliTest, AFileThatIsNoDatabaseIsSaidToBeNoArchive) {
    const std::string text = "some notes, not an archive\n";
    ASSERT_TRUE(testsupport::WriteFile(m_dir.File("notes.txt"), text));
    const std::vector<std::vector<std::string>> commands = {
        {"archive", "list"},
        {"archive", "verify"},
        {"archive", "history"},
        {"archive", "import", "FlashData.txt"},
    };
    for (std::vector<std::string> args : commands) {
        args.insert(args.begin() + 2, {"--archive", "notes.txt"});
        const RunResult r = RunProgram("tavon-datalog", args, m_dir.Path(), 120);
        EXPECT_EQ(r.status, 6) << args[1] << ": " << r.err;
        EXPECT_EQ(r.err, "tavon-datalog: notes.txt is not an archive (not an SQLite database)\n")
            << args[1];
        EXPECT_EQ(testsupport::ReadFile(m_dir.File("notes.txt")), text) << args[1];
    }
}

// An option given before the subcommand is told where it goes, the command written as it should
// be; exit status 2.
TEST_F(ArchiveCliTest, AnOptionBeforeTheSubcommandIsToldItsPlace) {
    const struct {
        std::vector<std::string> args;
        const char* said;
    } cases[] = {
        {{"archive", "--archive", "a.sqlite", "list"},
         "tavon-datalog: the subcommand comes first: tavon-datalog archive list --archive"
         " a.sqlite (see tavon-datalog archive --help)\n"},
        {{"archive", "--format", "csv", "history", "--archive", "my archive.sqlite"},
         "tavon-datalog: the subcommand comes first: tavon-datalog archive history --format csv"
         " --archive \"my archive.sqlite\" (see tavon-datalog archive --help)\n"},
        {{"archive", "--archive", "a.sqlite"},
         "tavon-datalog: the subcommand comes first: tavon-datalog archive SUBCOMMAND --archive"
         " a.sqlite (SUBCOMMAND one of import, list, render, export, plot, map, survey, stats,"
         " rename-instrument, history, verify, head, keys, sign-off, sync, new-identity,"
         " compliance, events and set-interval) (see tavon-datalog archive --help)\n"},
    };
    for (const auto& c : cases) {
        const RunResult r = RunProgram("tavon-datalog", c.args, m_dir.Path(), 120);
        EXPECT_EQ(r.status, 2) << c.said;
        EXPECT_EQ(r.err, c.said);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(testsupport::FileExists(m_dir.File("a.sqlite")));
}

TEST_F(ArchiveCliTest, HistoryAndVerifyRefuseBadArgumentsAndAnUnreadableArchive) {
    ASSERT_TRUE(testsupport::WriteFile(m_dir.File("junk.sqlite"), std::string(8192, 'j')));
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message; // in standard error
    } cases[] = {
        {{"archive", "verify", "extra"}, 2, "archive verify takes no arguments"},
        {{"archive", "verify", "--format", "csv"}, 2, "unknown option --format"},
        {{"archive", "history", "--format", "json"}, 2, "--format takes text or csv"},
        {{"archive", "history", "7"}, 2, "archive history takes no arguments"},
        {{"archive", "verify", "--archive", "junk.sqlite"}, 6, "junk.sqlite"},
        {{"archive", "history", "--archive", "junk.sqlite"}, 6, "junk.sqlite"},
    };
    for (const auto& c : cases) {
        const RunResult r = RunProgram("tavon-datalog", c.args, m_dir.Path(), 120);
        EXPECT_EQ(r.status, c.status) << c.args[1] << " " << c.args[2] << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    RunResult r = RunProgram("tavon-datalog", {"archive", "verify", "--help"}, m_dir.Path(), 120);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Usage: tavon-datalog archive verify"), std::string::npos) << r.out;
    // An archive an import made verifies clean: its history begins with it.
    r = Datalog({"archive", "import", "--instrument", "unit 7", "FlashData.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Datalog({"archive", "verify"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Verified: " + std::to_string(m_sessions) + " sessions", 0), 0u) << r.out;
}

// A name or text with a control character, or whose bytes are no UTF-8, is refused by every command
// that takes one (exit status 2, what it holds said), before anything is opened or written.
TEST_F(ArchiveCliTest, ANameOrTextThatIsNotOneLineOfUtf8IsRefused) {
    ASSERT_EQ(Datalog({"archive", "import", "--instrument", "unit 7", "FlashData.txt"}).status, 0);
    const RunResult before = Datalog({"archive", "history", "--format", "csv"});
    const struct {
        std::vector<std::string> args;
        const char* said; // in standard error, after "COMMAND: "
    } cases[] = {
        {{"archive", "sign-off", "--meaning", "approved\"\n    8  2026-12-09"},
         "--meaning holds a line break (\\n): it must be one line of text"},
        {{"archive", "sign-off", "--meaning", "ok\rno"}, "--meaning holds a line break (\\r)"},
        {{"archive", "sign-off", "--meaning", "ok\xff"}, "--meaning is not valid UTF-8"},
        {{"archive", "import", "--instrument", "unit\t7", "FlashData.txt"},
         "--instrument holds a tab (\\t)"},
        {{"archive", "list", "--instrument", "unit 7\x1b[2J"},
         "--instrument holds the control character \\x1b"},
        {{"archive", "list", "--job", "NW\x7f"}, "--job holds the control character \\x7f"},
        {{"archive", "map", "-o", "m.png", "--user", "Lee\xc2\x85"},
         "--user holds the control character \\x85"},
        {{"archive", "events", "--user", "Lee\xe2\x80\xa8"},
         "--user holds a line separator (\\u{2028})"},
        {{"archive", "events", "--job", "NW\xe2\x80\xa9"},
         "--job holds a paragraph separator (\\u{2029})"},
        {{"archive", "compliance", "--instrument", "unit\x01"},
         "--instrument holds the control character \\x01"},
        {{"archive", "set-interval", "--bump-days", "2", "--instrument", "unit\n7"},
         "--instrument holds a line break (\\n)"},
        {{"archive", "sign-off", "--meaning", "ok", "--instrument", "unit\xc0\x80"},
         "--instrument is not valid UTF-8"},
        {{"archive", "rename-instrument", "unit 7", "van\n7"},
         "the new name holds a line break (\\n)"},
        {{"archive", "rename-instrument", "unit\xfe", "van 7"},
         "the instrument's name is not valid UTF-8"},
        {{"download", "--dump", "d.txt", "--instrument", "van\n7"},
         "--instrument holds a line break (\\n)"},
        {{"export", "FlashData.txt", "1", "--format", "csv", "--instrument", "van\xed\xa0\x80"},
         "--instrument is not valid UTF-8"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        if (args[0] == "archive") {
            args.insert(args.begin() + 2, {"--archive", m_dir.File("a.sqlite")});
        }
        const RunResult r = RunProgram("tavon-datalog", args, m_dir.Path(), 120, {"LC_ALL=C"});
        EXPECT_EQ(r.status, 2) << c.args[1] << ": " << r.err;
        EXPECT_NE(r.err.find(std::string(": ") + c.said), std::string::npos)
            << c.args[1] << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.args[1];
    }
    EXPECT_EQ(Datalog({"archive", "history", "--format", "csv"}).out, before.out);
    EXPECT_FALSE(testsupport::FileExists(m_dir.File("d.txt")));
}

// Two names whose bytes are no UTF-8 were once read as one ("van\uFFFD"): each is refused, and
// nothing is stored or made.
TEST_F(ArchiveCliTest, NamesThatAreNotUtf8AreNotMadeOne) {
    for (const char* name : {"van\xff", "van\xfe"}) {
        const RunResult r = Datalog({"archive", "import", "--instrument", name, "FlashData.txt"});
        EXPECT_EQ(r.status, 2) << r.out;
        EXPECT_NE(r.err.find("archive import: --instrument is not valid UTF-8"), std::string::npos)
            << r.err;
    }
    EXPECT_FALSE(testsupport::FileExists(m_dir.File("a.sqlite")));
    // A name in UTF-8 beyond ASCII is a name like any other.
    const RunResult r = Datalog({"archive", "import", "--instrument", "Vän 7", "FlashData.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(Datalog({"archive", "stats"}).out.find("\n  Vän 7: "), std::string::npos);
}

} // namespace

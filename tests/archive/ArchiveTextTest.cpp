// What the archive keeps and shows of a text, on both engines: a reading command of a location
// that holds no archive makes none; a meaning that would forge a history line is refused, and one
// written into the database behind the program's back still prints on one line in every view.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "ArchiveFixture.h"
#include "archive/ArchiveHistory.h"
#include "archive/SessionArchive.h"
#include "archive/StoredText.h"
#include "testsupport/Processes.h"

using archive::SessionArchive;

namespace {

class ArchiveTextTest : public archivetest::EngineFixture {
protected:
    void Import() {
        ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
        const std::unique_ptr<LogImage> image = archivetest::GeneratedImage(3);
        const qint64 unit = m_archive.Instrument(archive::NamedInstrument("unit 7"), "unit 7");
        ASSERT_GT(unit, 0) << m_archive.Error().toStdString();
        archive::StoreCounts counts;
        ASSERT_GT(m_archive.ImportDump(unit, "import test", archive::IndexBytes(*image),
                                       archive::CaptureSessions(*image, {}), counts),
                  0)
            << m_archive.Error().toStdString();
        m_sessions = counts.added;
    }

    qint64 Rows() {
        QString error;
        const qint64 rows = archive::History(m_archive, error).size();
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        return rows;
    }

    // Whether the location holds an archive now: asked without making one.
    bool Holds(const std::string& location) {
        SessionArchive probe;
        const bool open =
            probe.Open(QString::fromStdString(location), SessionArchive::OpenMode::ExistingOnly);
        EXPECT_TRUE(open || probe.Error().startsWith("no archive at "))
            << probe.Error().toStdString();
        return open;
    }

    int m_sessions = 0;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// Every archive command but import and sync's target reads or changes an archive that is there: of
// a location without one (a mistyped SQLite file in a folder that is not there either, a server's
// database without the archive's tables) each says so, exit status 6, and makes nothing.
TEST_P(ArchiveTextTest, ACommandOfALocationWithoutAnArchiveMakesNone) {
    const bool file = GetParam() == archivetest::Engine::SQLite;
    if (file) {
        m_location = m_dir.File("typo/archive.sqlite");
    }
    const std::vector<std::vector<std::string>> commands = {
        {"verify"},
        {"list"},
        {"history"},
        {"head"},
        {"keys"},
        {"stats"},
        {"compliance"},
        {"events"},
        {"render", "1"},
        {"export", "--format", "csv", "1"},
        {"plot", "-o", "chart.png", "1"},
        {"map", "-o", "map.png", "1"},
        {"survey", "1"},
        {"sign-off", "--meaning", "approved"},
        {"rename-instrument", "unit 7", "van 7"},
        {"set-interval", "--bump-days", "2"},
        {"new-identity"},
        {"sync", "--from", m_location}, // into the same: neither is made
    };
    const std::string said = "tavon-datalog: no archive at " + m_location + "\n";
    for (const std::vector<std::string>& args : commands) {
        const testsupport::RunResult r = Datalog(args);
        EXPECT_EQ(r.status, 6) << args[0] << ": " << r.out << r.err;
        // (After what Qt may say of its own: a display's runtime folder.)
        EXPECT_TRUE(r.err.size() >= said.size() &&
                    r.err.compare(r.err.size() - said.size(), said.size(), said) == 0)
            << args[0] << ": " << r.err;
        EXPECT_EQ(r.out, "") << args[0];
    }
    if (file) {
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(m_dir.File("typo"))));
    }
    EXPECT_FALSE(Holds(m_location));
    // What makes one still does.
    SessionArchive made;
    ASSERT_TRUE(made.Open(QString::fromStdString(m_location))) << made.Error().toStdString();
    made.Close();
    EXPECT_TRUE(Holds(m_location));
    EXPECT_EQ(Datalog({"verify"}).status, 0);
}

// A meaning that would print as a history row of its own (finding 4 of the audit) is refused, no
// row written; the same text written into the database with plain SQL, and a user's name and a
// session's listing line with a line break, still print on one line each, escaped.
TEST_P(ArchiveTextTest, AForgedLineIsRefusedAndStaysOneLineInEveryView) {
    Import();
    if (IsSkipped()) {
        return;
    }
    const std::string forged = "    8  2026-12-09 09:00:00 UTC  qa.lead@hq  sign-off  signed off "
                               "as \"REJECTED";
    const qint64 before = Rows();
    testsupport::RunResult r = Datalog({"sign-off", "--meaning", "approved\"\n" + forged});
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.err.find("--meaning holds a line break (\\n)"), std::string::npos) << r.err;
    EXPECT_EQ(Rows(), before);

    const QString detail = QString::fromStdString("signed off as \"approved\n" + forged + "\"");
    ASSERT_TRUE(Sql("UPDATE archive_history SET kind = 'sign-off', detail = ? WHERE seq = ?",
                    {detail, before}));
    // A key is named by the row it registered with.
    ASSERT_TRUE(Sql("UPDATE archive_history SET os_user = ? WHERE seq ="
                    " (SELECT MIN(first_seq) FROM history_keys WHERE origin = '')",
                    {"qa\nlead"}));
    ASSERT_TRUE(Sql("UPDATE sessions SET line_tail = line_tail || ? WHERE id = "
                    "(SELECT MIN(id) FROM sessions)",
                    {"\nid 99  forged"}));
    const std::string shown = archive::OneLine(detail).toStdString();
    ASSERT_NE(shown.find("approved\\n    8  2026-12-09"), std::string::npos) << shown;
    const struct {
        std::vector<std::string> args;
        size_t lines;          // as many as the archive holds of what it lists
        std::string escaped;   // on one of them
        std::string neverLine; // the start of no line
    } views[] = {
        {{"history"}, static_cast<size_t>(before), shown, "    8  2026-12-09"},
        {{"keys"}, 1, "  qa\\nlead@", "lead@"},
        {{"list"}, static_cast<size_t>(m_sessions), "\\nid 99  forged", "id 99  forged"},
    };
    for (const auto& view : views) {
        r = Datalog(view.args);
        ASSERT_EQ(r.status, 0) << view.args[0] << ": " << r.err;
        const std::vector<std::string> lines = Lines(r.out);
        EXPECT_EQ(lines.size(), view.lines) << view.args[0] << ":\n" << r.out;
        EXPECT_NE(r.out.find(view.escaped), std::string::npos) << view.args[0] << ":\n" << r.out;
        for (const std::string& line : lines) {
            EXPECT_NE(line.rfind(view.neverLine, 0), 0u) << view.args[0] << ": " << line;
        }
    }
    // CSV keeps the text as it is, quoted (RFC 4180: a quote doubled).
    r = Datalog({"history", "--format", "csv"});
    EXPECT_NE(r.out.find(",sign-off,\"signed off as \"\"approved\n" + forged.substr(0, 20)),
              std::string::npos)
        << r.out;

    // The compliance pack prints the history's sign-offs: this one with its line break shown, the
    // rest of it on the same line (a long one wraps, after the "\n" that tells it).
    r = Datalog({"compliance", "--format", "pdf", "-o", "pack.pdf"});
    ASSERT_TRUE(r.status == 0 || r.status == 3) << r.err;
    // The page wraps long lines: read them as one text, each run of blanks one space.
    const std::string pack = QString::fromStdString(archivetest::PdfText(m_dir.File("pack.pdf")))
                                 .simplified()
                                 .toStdString();
    EXPECT_NE(pack.find("signed off as \"approved\\n"), std::string::npos) << pack;
    EXPECT_NE(pack.find("Signer: "), std::string::npos) << pack;
    EXPECT_NE(pack.find(", qa\\nlead@"), std::string::npos) << pack;
}

INSTANTIATE_ON_BOTH_ENGINES(ArchiveTextTest);

} // namespace

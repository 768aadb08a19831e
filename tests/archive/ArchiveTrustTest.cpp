// Trusted keys on both engines: a chain re-signed with another user's key passes verify's
// consistency checks, and fails wherever verify runs once a list (the user's, the system's, one
// given for the run) holds the real key; Settings.ini in the working folder adds no trust; a list
// others may write is refused; keys --trust writes the user's list.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVariant>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "ArchiveFixture.h"
#include "archive/ArchiveHistory.h"
#include "archive/ArchiveSync.h"
#include "archive/HistorySigning.h"
#include "archive/SigningKey.h"
#include "archive/TrustedKeys.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/Files.h"
#include "testsupport/Processes.h"

using archive::HistoryRow;
using archive::SessionArchive;

namespace {

const char kConsistencyOnly[] =
    "; signatures checked for consistency only: no trusted keys are set\n";

class ArchiveTrustTest : public archivetest::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        m_elsewhere = m_dir.Path() + "/elsewhere";
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(m_elsewhere)));
        // Ann writes the archive; Bob, who can write the database too, signs it all again with
        // his own key, registered as the chain's signer from its first row.
        BecomeUser("bob");
        m_bob = Key();
        BecomeUser("ann");
        ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
        const std::unique_ptr<LogImage> image = archivetest::GeneratedImage(5);
        const qint64 instrument =
            m_archive.Instrument(archive::NamedInstrument("unit 7"), "unit 7");
        ASSERT_GT(instrument, 0) << m_archive.Error().toStdString();
        archive::StoreCounts counts;
        ASSERT_GT(m_archive.ImportDump(instrument, "import test", archive::IndexBytes(*image),
                                       archive::CaptureSessions(*image, {}), counts),
                  0)
            << m_archive.Error().toStdString();
        m_ann = archive::KeyFingerprint(Key().PublicHex());
        m_bobs = archive::KeyFingerprint(m_bob.PublicHex());
        QString error;
        const QVector<HistoryRow> rows = archive::History(m_archive, error);
        ASSERT_FALSE(rows.isEmpty()) << error.toStdString();
        m_rows = rows.size();
        m_writer = (rows.first().user + '@' + rows.first().host).toStdString();
        for (const HistoryRow& row : rows) {
            ASSERT_TRUE(Sql("UPDATE archive_history SET signer = ?, signature = ? WHERE seq = ?",
                            {m_bob.PublicHex(), m_bob.Sign(row.hash), row.seq}));
        }
        ASSERT_TRUE(Sql("DELETE FROM history_keys WHERE origin = ''"));
        // Registered as its first row's writer, as a rebuilder who knows the checks would.
        ASSERT_TRUE(
            Sql("INSERT INTO history_keys (origin, public_key, first_seq, first_at,"
                " os_user, host) VALUES ('', ?, 1, ?, ?, ?)",
                {m_bob.PublicHex(), rows.first().at, rows.first().user, rows.first().host}));
        const archive::VerifySummary consistent = archive::VerifyArchive(m_archive);
        ASSERT_TRUE(consistent.Clean()) << consistent.mismatches.join('\n').toStdString();
    }

    void BecomeUser(const std::string& name) {
        m_user.reset();
        m_user.reset(new testsupport::EnvGuard("XDG_CONFIG_HOME", m_dir.Path() + "/" + name));
    }

    archive::SigningKey Key() {
        archive::SigningKey key;
        QString error;
        EXPECT_TRUE(key.Load(error)) << error.toStdString();
        return key;
    }

    // tavon-datalog archive `args` on the archive, run in `folder`.
    testsupport::RunResult RunIn(const std::string& folder, std::vector<std::string> args,
                                 std::vector<std::string> environment = {}) {
        args.insert(args.begin(), "archive");
        args.insert(args.end(), {"--archive", m_location});
        environment.insert(environment.end(), {"TZ=UTC", "LC_ALL=C"});
        return testsupport::RunProgram("tavon-datalog", args, folder, 120, environment);
    }

    static void WriteList(const std::string& file, const QStringList& lines, mode_t mode = 0644) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(QString::fromStdString(file)).absolutePath()));
        {
            std::ofstream out(file, std::ios::binary | std::ios::trunc);
            out << lines.join('\n').toStdString() << '\n';
        }
        ASSERT_EQ(chmod(file.c_str(), mode), 0);
    }

    std::string UserList() const { return archive::UserTrustedKeysFile().toStdString(); }

    // "history rows 1-N are signed by key BOB (ANN@HOST), which is not a trusted key": named by
    // the first row it signed, not by the names history_keys holds.
    std::string Untrusted() const {
        return QString("history rows 1-%1 are signed by key %2 (%3), which is not a trusted key")
            .arg(m_rows)
            .arg(m_bobs, QString::fromStdString(m_writer))
            .toStdString();
    }

    testsupport::ZoneGuard m_zone{"UTC"};
    std::unique_ptr<testsupport::EnvGuard> m_user;
    archive::SigningKey m_bob;
    QString m_ann;
    QString m_bobs;
    int m_rows = 0;
    std::string m_writer; // who wrote the first row, and where: "USER@HOST"
    std::string m_elsewhere;
};

// Where trust comes from, and verify's verdict on the re-signed chain from the folder that holds
// a Settings.ini and from another one.
TEST_P(ArchiveTrustTest, ARechainedHistoryFailsWhereverAListHoldsTheRealKey) {
    enum Said { Passes, ConsistencyOnly, NotTrusted, Refused };
    const struct {
        const char* name;
        const char* user;     // this user's list, its lines; "": none
        const char* system;   // the system-wide one (TAVON_SYSTEM_TRUSTED_KEYS)
        const char* oneRun;   // --trusted-keys FILE; "": not given, "-": a file that is not there
        const char* settings; // "Trusted Keys=" in Settings.ini of the first folder; "": none
        mode_t mode;          // the user's list's
        int status;
        Said said;
        const char* err; // on standard error, in the first folder
    } cases[] = {
        {"no list", "", "", "", "", 0644, 0, ConsistencyOnly, ""},
        {"the user's list holds the real key", "%ann", "", "", "", 0600, 1, NotTrusted, ""},
        {"the user's list holds the forger's", "%bob", "", "", "", 0644, 0, Passes, ""},
        {"--trusted-keys holds the real key", "", "", "%ann", "", 0644, 1, NotTrusted, ""},
        {"the system's list holds the real key", "", "%ann", "", "", 0644, 1, NotTrusted, ""},
        {"the lists add up", "%ann", "", "%bob", "", 0644, 0, Passes, ""},
        {"Settings.ini trusts the forger", "%ann", "", "", "%bob", 0644, 1, NotTrusted,
         "\"Trusted Keys\" in Settings.ini is ignored: "},
        {"Settings.ini alone", "", "", "", "%ann", 0644, 0, ConsistencyOnly, "is ignored: "},
        {"lines that are no fingerprint", "# keys\n\nnonsense\n%ANN", "", "", "", 0644, 1,
         NotTrusted, ", line 3: \"nonsense\" is not a key's fingerprint, and is left out"},
        {"a user's list others may write", "%bob", "", "", "", 0666, 6, Refused,
         "may be written by other users (mode 0666): only its owner may write it"},
        {"a list given that is not there", "", "", "-", "", 0644, 6, Refused,
         "cannot read the list of trusted keys "},
    };
    const std::string system = m_dir.File("system-list");
    const std::string oneRun = m_dir.File("one-run-list");
    const std::string settings = m_dir.File("Settings.ini");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto keys = [this](const char* lines) {
            return QString(lines)
                .replace("%ann", m_ann)
                .replace("%bob", m_bobs)
                .replace("%ANN", QString(m_ann).remove(':').toUpper())
                .split('\n');
        };
        for (const std::string& file : {UserList(), system, oneRun, settings}) {
            QFile::remove(QString::fromStdString(file));
        }
        if (*c.user != '\0') {
            WriteList(UserList(), keys(c.user), c.mode);
        }
        if (*c.system != '\0') {
            WriteList(system, keys(c.system));
        }
        std::vector<std::string> args = {"verify"};
        if (*c.oneRun != '\0') {
            if (std::strcmp(c.oneRun, "-") != 0) {
                WriteList(oneRun, keys(c.oneRun));
            }
            args.insert(args.end(), {"--trusted-keys", oneRun});
        }
        if (*c.settings != '\0') {
            WriteList(settings, {"Trusted Keys=" + keys(c.settings).first()});
        }
        for (const std::string& folder : {m_dir.Path(), m_elsewhere}) {
            SCOPED_TRACE(folder);
            const testsupport::RunResult run =
                RunIn(folder, args, {"TAVON_SYSTEM_TRUSTED_KEYS=" + system});
            EXPECT_EQ(run.status, c.status) << run.out << run.err;
            const bool noted = run.out.size() >= std::strlen(kConsistencyOnly) &&
                               run.out.compare(run.out.size() - std::strlen(kConsistencyOnly),
                                               std::string::npos, kConsistencyOnly) == 0;
            EXPECT_EQ(noted, c.said == ConsistencyOnly) << run.out;
            EXPECT_EQ(run.out.find(Untrusted()) != std::string::npos, c.said == NotTrusted)
                << run.out;
            if (c.said == Refused) {
                EXPECT_EQ(run.out, "");
            }
            if (folder == m_dir.Path()) {
                EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
            }
            if (folder != m_dir.Path()) {
                EXPECT_EQ(run.err.find("Settings.ini"), std::string::npos) << run.err;
            }
        }
    }
    // The library gives the verdict the command gives, for the program's pack as well.
    QFile::remove(QString::fromStdString(settings));
    WriteList(UserList(), {m_ann});
    const testsupport::EnvGuard systemList("TAVON_SYSTEM_TRUSTED_KEYS", system);
    archive::TrustedKeys trusted;
    QString error;
    ASSERT_TRUE(archive::ReadTrustedKeys({}, trusted, error)) << error.toStdString();
    const archive::VerifySummary verdict = archive::VerifyTrusted(m_archive, trusted);
    const testsupport::RunResult run = RunIn(m_elsewhere, {"verify"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, verdict.mismatches.join('\n').toStdString() + "\n" +
                           verdict.Line().toStdString() + "\n");
    QFile::remove(QString::fromStdString(UserList()));
    ASSERT_TRUE(archive::ReadTrustedKeys({}, trusted, error)) << error.toStdString();
    EXPECT_EQ(archive::VerifyTrusted(m_archive, trusted).Line().toStdString() + "\n",
              RunIn(m_elsewhere, {"verify"}).out);
}

TEST_P(ArchiveTrustTest, KeysTrustWritesTheUsersListAndNotSettings) {
    const testsupport::RunResult trust =
        RunIn(m_dir.Path(), {"keys", "--trust", m_ann.toStdString()});
    EXPECT_EQ(trust.status, 0) << trust.err;
    EXPECT_EQ(trust.out, "key " + m_ann.toStdString() +
                             " added to the trusted keys of this user (" + UserList() + ")\n");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(m_dir.File("Settings.ini"))));
    struct stat info;
    ASSERT_EQ(stat(UserList().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_NE(testsupport::ReadFile(UserList()).find(m_ann.toStdString() + "\n"),
              std::string::npos);
    const testsupport::RunResult again =
        RunIn(m_elsewhere, {"keys", "--trust", QString(m_ann).remove(':').toStdString()});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, "key " + m_ann.toStdString() +
                             " is already one of the trusted keys of this user (" + UserList() +
                             ")\n");

    // A mistyped --archive names no archive: no key is trusted on its word, and nothing is made.
    const std::string typo = m_dir.Path() + "/nothere/typo.sqlite";
    const std::string held = testsupport::ReadFile(UserList());
    const testsupport::RunResult mistyped = testsupport::RunProgram(
        "tavon-datalog", {"archive", "keys", "--trust", m_bobs.toStdString(), "--archive", typo},
        m_elsewhere, 120, {"TZ=UTC", "LC_ALL=C"});
    EXPECT_EQ(mistyped.status, 6) << mistyped.out << mistyped.err;
    EXPECT_NE(mistyped.err.find("no archive at " + typo), std::string::npos) << mistyped.err;
    EXPECT_EQ(mistyped.out, "");
    EXPECT_EQ(testsupport::ReadFile(UserList()), held);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(m_dir.Path() + "/nothere")));

    // The list holds the real key: the re-signed chain fails from anywhere, and keys says whom
    // the list holds.
    for (const std::string& folder : {m_dir.Path(), m_elsewhere}) {
        const testsupport::RunResult run = RunIn(folder, {"verify"});
        EXPECT_EQ(run.status, 1) << run.out << run.err;
        EXPECT_NE(run.out.find(Untrusted()), std::string::npos) << run.out;
    }
    const testsupport::RunResult listed = RunIn(m_elsewhere, {"keys"});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_NE(listed.out.find(m_bobs.toStdString() + "  " + m_writer + "  first row 1, "),
              std::string::npos)
        << listed.out;
    EXPECT_NE(listed.out.find("  not trusted\n"), std::string::npos) << listed.out;
    const std::string bobsList = m_dir.File("bob-list");
    WriteList(bobsList, {m_bobs});
    const testsupport::RunResult withBob = RunIn(m_elsewhere, {"keys", "--trusted-keys", bobsList});
    EXPECT_EQ(withBob.out.find("not trusted"), std::string::npos) << withBob.out;
    EXPECT_NE(withBob.out.find("  trusted\n"), std::string::npos) << withBob.out;

    // A list others may write is neither read nor written.
    ASSERT_EQ(chmod(UserList().c_str(), 0620), 0);
    const testsupport::RunResult refused =
        RunIn(m_elsewhere, {"keys", "--trust", m_bobs.toStdString()});
    EXPECT_EQ(refused.status, 6);
    EXPECT_NE(refused.err.find("may be written by other users (mode 0620)"), std::string::npos)
        << refused.err;
    EXPECT_EQ(testsupport::ReadFile(UserList()).find(m_bobs.toStdString()), std::string::npos);
    EXPECT_EQ(RunIn(m_elsewhere, {"keys", "--trust", "12:34"}).status, 2);
    const testsupport::RunResult both =
        RunIn(m_elsewhere, {"keys", "--trust", m_bobs.toStdString(), "--trusted-keys", bobsList});
    EXPECT_EQ(both.status, 2) << both.err;
}

// A key is named by the row it registered with, whose hash and the key's signature cover the
// writer's names; the names history_keys keeps beside it are in no hash (here forged as
// mallory@elsewhere, and taken along by a sync) and show in no view, of this archive's own chain
// or of the chain synced into another.
TEST_P(ArchiveTrustTest, AKeyIsNamedByItsFirstRowNotByTheKeyList) {
    FRESH_OR_SKIP(team, "team");
    archive::SyncSummary synced;
    QString error;
    ASSERT_TRUE(archive::SyncArchive(m_archive, *team, {}, synced, error)) << error.toStdString();
    const std::string annList = m_dir.File("ann-list");
    WriteList(annList, {m_ann});
    const std::string pack = m_dir.File("pack.pdf");
    const std::string bob = m_bobs.toStdString();
    const struct {
        std::vector<std::string> args;
        std::string said; // in standard output, or in the pack's text
    } views[] = {
        {{"keys"}, bob + "  " + m_writer + "  first row 1"},
        {{"verify", "--trusted-keys", annList},
         "are signed by key " + bob + " (" + m_writer + "), which is not a trusted key"},
        {{"compliance", "--format", "pdf", "-o", pack}, "Signer: " + bob + ", " + m_writer + ", "},
    };
    for (const std::string& where : {m_location, team->Where().toStdString()}) {
        for (const auto& view : views) {
            SCOPED_TRACE(view.args[0] + " of " + where);
            std::vector<std::string> args = {"archive"};
            args.insert(args.end(), view.args.begin(), view.args.end());
            args.insert(args.end(), {"--archive", where});
            QFile::remove(QString::fromStdString(pack));
            const testsupport::RunResult run = testsupport::RunProgram(
                "tavon-datalog", args, m_dir.Path(), 120, {"TZ=UTC", "LC_ALL=C"});
            const std::string shown =
                view.args[0] == "compliance"
                    ? QString::fromStdString(archivetest::PdfText(pack)).simplified().toStdString()
                    : run.out;
            EXPECT_NE(shown.find(view.said), std::string::npos) << shown << run.err;
            EXPECT_EQ(shown.find("mallory"), std::string::npos) << shown;
        }
    }
}

// A signer column edited to something that is no public key (upper-case hex, as SQL's UPPER
// leaves it) has no fingerprint: every view names it "an unreadable key", as verify does, never
// by an empty fingerprint.
TEST_P(ArchiveTrustTest, AKeyThatIsNoPublicKeyIsNamedUnreadableInEveryView) {
    ASSERT_TRUE(Sql("UPDATE archive_history SET signer = UPPER(signer)"));
    ASSERT_TRUE(Sql("UPDATE history_keys SET public_key = UPPER(public_key) WHERE origin = ''"));
    const std::string annList = m_dir.File("ann-list");
    WriteList(annList, {m_ann});
    const std::string pack = m_dir.File("pack.pdf");
    const struct {
        std::vector<std::string> args;
        std::string said; // in standard output, or in the pack's text
    } views[] = {
        {{"keys"}, "an unreadable key  " + m_writer + "  first row 1, "},
        {{"verify", "--trusted-keys", annList},
         "are signed by an unreadable key (" + m_writer + "), which is not a trusted key"},
        {{"compliance", "--format", "pdf", "-o", pack},
         "Signer: an unreadable key, " + m_writer + ", signed"},
    };
    for (const auto& view : views) {
        SCOPED_TRACE(view.args[0]);
        const testsupport::RunResult run = RunIn(m_dir.Path(), view.args);
        const std::string shown =
            view.args[0] == "compliance"
                ? QString::fromStdString(archivetest::PdfText(pack)).simplified().toStdString()
                : run.out;
        EXPECT_NE(shown.find(view.said), std::string::npos) << shown << run.err;
        for (const char* empty : {"key  (", "Signer: , ", "\n  "}) {
            EXPECT_EQ(("\n" + shown).find(empty), std::string::npos) << empty << "\n" << shown;
        }
    }
}

INSTANTIATE_ON_BOTH_ENGINES(ArchiveTrustTest);

} // namespace

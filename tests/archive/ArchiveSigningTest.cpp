// Signed history on both engines: every row signed with its writer's key, and each forgery that a
// writer of the database without that key could make reported on its own line; a key others
// could read refused; an older archive's unsigned rows kept; a sign-off shown; signatures carried
// by a sync. The trusted keys' cases are ArchiveTrustTest's.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QVariant>
#include <memory>
#include <sys/stat.h>

#include "ArchiveFixture.h"
#include "PersonalKeys.h"
#include "archive/ArchiveHistory.h"
#include "archive/ArchiveSync.h"
#include "archive/HistoryChain.h"
#include "archive/HistorySigning.h"
#include "archive/PersonalKey.h"
#include "archive/SigningKey.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/Processes.h"

using archive::HistoryRow;
using archive::SessionArchive;

namespace {

class ArchiveSigningTest : public archivetest::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        m_image = archivetest::GeneratedImage(5);
    }

    // The user whose key signs from now on: a configuration folder of their own.
    void BecomeUser(const std::string& name) {
        m_user.reset();
        m_user.reset(new testsupport::EnvGuard("XDG_CONFIG_HOME", m_dir.Path() + "/" + name));
    }

    // The archive opened with one instrument's sessions imported.
    void OpenImported() {
        ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
        Import(m_archive);
    }

    void Import(SessionArchive& archive) {
        const qint64 instrument = archive.Instrument(archive::NamedInstrument("unit 7"), "unit 7");
        ASSERT_GT(instrument, 0) << archive.Error().toStdString();
        archive::StoreCounts counts;
        ASSERT_GT(archive.ImportDump(instrument, "import test", archive::IndexBytes(*m_image),
                                     archive::CaptureSessions(*m_image, {}), counts),
                  0)
            << archive.Error().toStdString();
    }

    void Record(const QString& detail) {
        QString error;
        ASSERT_TRUE(
            archive::RecordChange(m_archive, archive::ChangeKind::Interval, detail, {}, error))
            << error.toStdString();
    }

    QVector<HistoryRow> Rows() {
        QString error;
        const QVector<HistoryRow> rows = archive::History(m_archive, error);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        return rows;
    }

    // This user's key, as the archive's writer uses it.
    archive::SigningKey Key() {
        archive::SigningKey key;
        QString error;
        EXPECT_TRUE(key.Load(error)) << error.toStdString();
        return key;
    }

    testsupport::ZoneGuard m_zone{"UTC"};
    std::unique_ptr<testsupport::EnvGuard> m_user;
    std::unique_ptr<LogImage> m_image;
};

TEST_P(ArchiveSigningTest, EveryRowIsSignedAndASignOffIsShownInTheHistory) {
    BecomeUser("ann");
    OpenImported();
    const QString file = archive::SigningKeyFile();
    ASSERT_TRUE(file.startsWith(QString::fromStdString(m_dir.Path()))) << file.toStdString();
    struct stat info;
    ASSERT_EQ(stat(QFile::encodeName(file).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const QString mine = Key().PublicHex();
    const QString fingerprint = archive::KeyFingerprint(mine);
    EXPECT_EQ(fingerprint.size(), 39);
    for (const HistoryRow& row : Rows()) {
        EXPECT_EQ(row.signer, mine) << row.seq;
        EXPECT_EQ(row.signature.size(), 128) << row.seq;
    }
    QVector<archive::HistorySigner> signers;
    QString error;
    ASSERT_TRUE(archive::HistorySigners(m_archive, signers, error)) << error.toStdString();
    ASSERT_EQ(signers.size(), 1);
    EXPECT_EQ(signers[0].fingerprint, fingerprint);
    EXPECT_EQ(signers[0].firstRow, 1);

    archive::PersonalKey personal;
    ASSERT_TRUE(archivetest::MadePersonalKey(personal));
    const std::string passphrase = archivetest::PassphraseFile(m_dir.File("passphrase"));
    const testsupport::RunResult signedOff =
        Datalog({"sign-off", "--meaning", "reviewed", "--instrument", "unit 7", "--to",
                 "2099-12-31", "--passphrase-file", passphrase});
    EXPECT_EQ(signedOff.status, 0) << signedOff.err;
    EXPECT_NE(signedOff.out.find("signed off as \"reviewed\": instrument \"unit 7\" up to"
                                 " 2099-12-31, "),
              std::string::npos)
        << signedOff.out;
    const testsupport::RunResult history = Datalog({"history"});
    EXPECT_EQ(history.status, 0) << history.err;
    EXPECT_NE(history.out.find("sign-off  signed off as \"reviewed\""), std::string::npos)
        << history.out;
    const HistoryRow last = Rows().last();
    EXPECT_EQ(last.kind, "sign-off");
    EXPECT_FALSE(last.sessions.isEmpty());
    EXPECT_EQ(last.signer, personal.PublicHex());
    // A sign-off of nothing is refused, as a search that keeps nothing is, and writes no row.
    const struct {
        std::vector<std::string> args;
        const char* message;
    } refused[] = {
        {{"sign-off"}, "archive sign-off needs --meaning TEXT"},
        {{"sign-off", "--meaning", "reviewed", "--from", "2100-01-01"},
         "nothing to sign off: every instrument from 2100-01-01 holds no session"},
        {{"sign-off", "--meaning", "reviewed", "--instrument", "unit 7", "--from", "2100-01-01",
          "--to", "2100-01-31"},
         "nothing to sign off: instrument \"unit 7\" from 2100-01-01 to 2100-01-31 holds no "
         "session"},
        {{"sign-off", "--meaning", "reviewed", "--instrument", "unit 9"},
         "the archive holds no instrument \"unit 9\""},
    };
    for (const auto& r : refused) {
        std::vector<std::string> args = r.args;
        args.insert(args.end(), {"--passphrase-file", passphrase});
        const testsupport::RunResult run = Datalog(args);
        EXPECT_EQ(run.status, 2) << r.message << "\n" << run.out;
        EXPECT_NE(run.err.find(r.message), std::string::npos) << run.err;
        EXPECT_EQ(Rows().last().seq, last.seq) << r.message;
    }

    const testsupport::RunResult keys = Datalog({"keys"});
    EXPECT_EQ(keys.status, 0) << keys.err;
    EXPECT_NE(keys.out.find(fingerprint.toStdString() + "  "), std::string::npos) << keys.out;
    EXPECT_NE(keys.out.find("first row 1, "), std::string::npos) << keys.out;
    const archive::VerifySummary summary = archive::VerifyArchive(m_archive);
    EXPECT_TRUE(summary.Clean()) << summary.mismatches.join('\n').toStdString();
    EXPECT_TRUE(summary.signing.isEmpty()) << summary.signing.join('\n').toStdString();
    const testsupport::RunResult verified = Datalog({"verify"});
    EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
}

// How each forgery that a writer of the database could make is made (on an archive imported by
// "ann", with one row more by "bob"), the line verify must give it, and a line it must not.
TEST_P(ArchiveSigningTest, EachForgeryIsReportedOnItsOwnLine) {
    enum Kind { Changed, Rebuilt, Resigned, Unsigned };
    const struct {
        const char* name;
        Kind kind;
        const char* reported;
        const char* notReported;
    } cases[] = {
        {"a row changed", Changed, "history row 2 does not match its own hash",
         "signature does not match"},
        {"the chain rebuilt without the key", Rebuilt,
         "history row 2's signature does not match its hash: the row was hashed again by someone"
         " without its signer's key (the chain was rebuilt)",
         "does not match its own hash"},
        {"a row signed again by a later key", Resigned,
         "history row 2 is signed by key %1, which the archive registered with its row %2, after"
         " it (the row was signed again)",
         "signature does not match"},
        {"a signature removed", Unsigned,
         "history row 3 is not signed, though its chain is signed from row 1 on", "hash"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BecomeUser("ann");
        OpenImported();
        BecomeUser("bob");
        Record("bump test every 2 days");
        const archive::SigningKey bob = Key();
        QVector<HistoryRow> rows = Rows();
        const qint64 bobsRow = rows.last().seq;
        switch (c.kind) {
        case Changed:
            ASSERT_TRUE(Sql("UPDATE archive_history SET detail = detail || '.' WHERE seq = 2"));
            break;
        case Rebuilt:
            // What someone who knows how rows hash, but holds nobody's key, can do.
            rows[1].detail += '.';
            for (int i = 1; i < rows.size(); ++i) {
                rows[i].previous = rows[i - 1].hash;
                rows[i].hash = archive::RowHash(rows[i]);
                ASSERT_TRUE(Sql("UPDATE archive_history SET detail = ?, previous = ?, hash = ?"
                                " WHERE seq = ?",
                                {rows[i].detail, rows[i].previous, rows[i].hash, rows[i].seq}));
            }
            break;
        case Resigned:
            ASSERT_TRUE(Sql("UPDATE archive_history SET signer = ?, signature = ? WHERE seq = 2",
                            {bob.PublicHex(), bob.Sign(rows[1].hash)}));
            break;
        case Unsigned:
            ASSERT_TRUE(
                Sql("UPDATE archive_history SET signer = '', signature = '' WHERE seq = 3"));
            break;
        }
        const QString expected = QString(c.reported)
                                     .replace("%1", archive::KeyFingerprint(bob.PublicHex()))
                                     .replace("%2", QString::number(bobsRow));
        const archive::VerifySummary summary = archive::VerifyArchive(m_archive);
        const QString lines = summary.mismatches.join('\n');
        EXPECT_TRUE(summary.readable) << summary.error.toStdString();
        EXPECT_TRUE(lines.contains(expected)) << lines.toStdString();
        EXPECT_FALSE(lines.contains(c.notReported)) << lines.toStdString();

        const testsupport::RunResult run = Datalog({"verify"});
        EXPECT_EQ(run.status, 1) << run.out << run.err;
        EXPECT_NE(run.out.find(expected.toStdString()), std::string::npos) << run.out;

        Renew(c.name);
    }
}

// A key file others could read, or a key folder others could write (and so put a key of their own
// in), is refused, and so is every change that would need it.
TEST_P(ArchiveSigningTest, AKeyFileOthersCouldReadIsRefused) {
    BecomeUser("ann");
    OpenImported();
    const QByteArray file = QFile::encodeName(archive::SigningKeyFile());
    const QByteArray folder = QFile::encodeName(QFileInfo(archive::SigningKeyFile()).path());
    const int rows = Rows().size();
    const struct {
        mode_t mode;
        mode_t folderMode;
        const char* said; // nullptr: accepted
    } modes[] = {
        {0644, 0700,
         "may be read or written by other users (mode 0644): it must be private to its"
         " owner (chmod 600 "},
        {0660, 0700, "(mode 0660)"},
        {0602, 0700, "(mode 0602)"},
        {0600, 0777,
         "may be written by other users (mode 0777), who could put a key of their own there: it"
         " must be its owner's alone (chmod 700 "},
        {0600, 0770, "(mode 0770)"},
        {0600, 0755, nullptr},
        {0600, 0700, nullptr},
    };
    int written = 0;
    for (const auto& m : modes) {
        SCOPED_TRACE(m.mode);
        SCOPED_TRACE(m.folderMode);
        ASSERT_EQ(chmod(file.constData(), m.mode), 0);
        ASSERT_EQ(chmod(folder.constData(), m.folderMode), 0);
        QString error;
        const bool recorded =
            archive::RecordChange(m_archive, archive::ChangeKind::Interval, "a change", {}, error);
        EXPECT_EQ(recorded, m.said == nullptr) << error.toStdString();
        written += recorded ? 1 : 0;
        if (m.said != nullptr) {
            EXPECT_TRUE(error.contains(m.said)) << error.toStdString();
            const testsupport::RunResult run = Datalog({"rename-instrument", "unit 7", "unit 8"});
            EXPECT_EQ(run.status, 6) << run.err;
            EXPECT_NE(run.err.find(m.said), std::string::npos) << run.err;
        }
    }
    // The refused changes wrote nothing.
    EXPECT_EQ(Rows().size(), rows + written);
    EXPECT_TRUE(archive::VerifyArchive(m_archive).Clean());
}

// An archive made before keeps its unsigned rows and its sign-offs signed by the user's key, and
// verify says from which rows signing and the personal keys' rule apply; a sign-off signed by the
// user's key after that is a mismatch.
TEST_P(ArchiveSigningTest, AnOlderArchiveKeepsItsUnsignedRowsAndSaysWhereSigningStarts) {
    BecomeUser("ann");
    ASSERT_TRUE(m_archive.OpenAtVersion(Location(), 9)) << m_archive.Error().toStdString();
    Import(m_archive);
    const int before = Rows().size();
    ASSERT_GT(before, 1);
    m_archive.Close();
    // Version 11 signed rows with the user's key, a sign-off too.
    ASSERT_TRUE(m_archive.OpenAtVersion(Location(), 11)) << m_archive.Error().toStdString();
    QString error;
    const QString oldSignOff = "signed off as \"reviewed\": every instrument, 1 session";
    ASSERT_TRUE(
        archive::RecordChange(m_archive, archive::ChangeKind::SignOff, oldSignOff, {1}, error))
        << error.toStdString();
    m_archive.Close();
    const QString starts = QString("history rows 1 to %1 were written before rows were signed;"
                                   " signing starts at row %2")
                               .arg(before)
                               .arg(before + 1);
    const QString rule = QString("history rows 1 to %1 were written before sign-offs were signed"
                                 " by personal keys; a sign-off needs one from row %2 on")
                             .arg(before + 1)
                             .arg(before + 2);
    // Its first opening by this version writes the row from which the rule applies.
    const testsupport::RunResult old = Datalog({"verify"});
    EXPECT_EQ(old.status, 0) << old.out << old.err;
    EXPECT_NE(old.out.find(starts.toStdString()), std::string::npos) << old.out;
    EXPECT_NE(old.out.find(rule.toStdString()), std::string::npos) << old.out;
    const testsupport::RunResult history = Datalog({"history"});
    const std::string ann = archive::KeyFingerprint(Key().PublicHex()).toStdString();
    EXPECT_NE(history.out.find("UTC  no printed name (key " + ann + ")  sign-off  "),
              std::string::npos)
        << history.out;

    ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
    Record("bump test every 2 days");
    QVector<HistoryRow> rows = Rows();
    ASSERT_EQ(rows.size(), before + 3);
    for (int i = 0; i < before; ++i) {
        EXPECT_TRUE(rows[i].signature.isEmpty());
    }
    EXPECT_EQ(rows[before + 1].kind, "started");
    EXPECT_EQ(rows[before + 1].detail,
              "from this row on, each sign-off is signed by a personal key");
    EXPECT_FALSE(rows.last().signature.isEmpty());
    archive::VerifySummary summary = archive::VerifyArchive(m_archive);
    EXPECT_TRUE(summary.Clean()) << summary.mismatches.join('\n').toStdString();
    EXPECT_EQ(summary.signing, (QStringList{starts, rule}));
    const testsupport::RunResult run = Datalog({"verify"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;

    // The same sign-off now, by the user's key.
    ASSERT_TRUE(
        archive::RecordChange(m_archive, archive::ChangeKind::SignOff, oldSignOff, {1}, error))
        << error.toStdString();
    summary = archive::VerifyArchive(m_archive);
    EXPECT_EQ(summary.mismatches,
              QStringList{QString("history row %1 is a sign-off signed by key %2, which no row"
                                  " before it binds to a printed name: from row %3 on, a"
                                  " sign-off is signed by a personal key")
                              .arg(before + 4)
                              .arg(QString::fromStdString(ann))
                              .arg(before + 2)});
    EXPECT_EQ(Datalog({"verify"}).status, 1);
}

TEST_P(ArchiveSigningTest, ASyncKeepsEveryChainsSignaturesAndVerifyChecksThem) {
    BecomeUser("ann");
    const std::string van = m_dir.File("van.sqlite");
    SessionArchive source;
    ASSERT_TRUE(source.Open(QString::fromStdString(van))) << source.Error().toStdString();
    Import(source);
    const QString ann = archive::KeyFingerprint(Key().PublicHex());
    BecomeUser("bob");
    ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
    archive::SyncSummary summary;
    QString error;
    ASSERT_TRUE(archive::SyncArchive(source, m_archive, {}, summary, error)) << error.toStdString();
    const archive::VerifySummary verified = archive::VerifyArchive(m_archive);
    EXPECT_TRUE(verified.Clean()) << verified.mismatches.join('\n').toStdString();
    EXPECT_EQ(verified.chains, 2);
    QVector<archive::HistorySigner> signers;
    ASSERT_TRUE(archive::HistorySigners(m_archive, signers, error)) << error.toStdString();
    // Bob's own; Ann's of the van's chain, and Bob's there too: the row the sync wrote in the van.
    ASSERT_EQ(signers.size(), 3);
    EXPECT_EQ(signers[0].origin, "");
    EXPECT_EQ(signers[1].origin, source.Identity());
    EXPECT_EQ(signers[1].fingerprint, ann);
    EXPECT_EQ(signers[1].firstRow, 1);
    EXPECT_EQ(signers[2].origin, source.Identity());
    EXPECT_EQ(signers[2].fingerprint, signers[0].fingerprint);

    // A synced row whose signature was swapped for another row's.
    ASSERT_TRUE(Sql("UPDATE origin_history SET signature = (SELECT o.signature FROM"
                    " origin_history o WHERE o.origin = origin_history.origin AND o.seq = 1)"
                    " WHERE seq = 2"));
    const QString line =
        "archive " + source.Identity() + "'s history row 2's signature does not match its hash";
    EXPECT_TRUE(archive::VerifyArchive(m_archive).mismatches.join('\n').contains(line));
    source.Close();
}

INSTANTIATE_ON_BOTH_ENGINES(ArchiveSigningTest);

} // namespace

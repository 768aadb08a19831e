// Personal signing keys: made sealed under a passphrase (the file opened here as an auditor would,
// from its documented format), asked at every sign-off; a sign-off shown by the printed name its
// key is bound to whatever $USER says; every refusal writing nothing; and each forged sign-off or
// binding a writer of the database could make reported by verify, on both engines.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QVariant>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <sodium.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ArchiveFixture.h"
#include "PersonalKeys.h"
#include "archive/ArchiveHistory.h"
#include "archive/HistoryChain.h"
#include "archive/HistorySigning.h"
#include "archive/KeyBinding.h"
#include "archive/PersonalKey.h"
#include "archive/SigningKey.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/Files.h"
#include "testsupport/Processes.h"
#include "testsupport/TempDir.h"

using archive::HistoryRow;
using archive::SessionArchive;

namespace {

// What a file holds after "NAME: ", line by line as the format gives them.
std::map<std::string, std::string> KeyFields(const std::string& text) {
    std::map<std::string, std::string> fields;
    size_t at = text.find('\n') + 1;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        const size_t colon = line.find(": ");
        if (colon != std::string::npos) {
            fields[line.substr(0, colon)] = line.substr(colon + 2);
        }
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return fields;
}

std::string FromHex(const std::string& hex) {
    return QByteArray::fromHex(QByteArray::fromStdString(hex)).toStdString();
}

std::string Hex(const std::string& bytes) {
    return QByteArray::fromStdString(bytes).toHex().toStdString();
}

class PersonalKeyFileTest : public ::testing::Test {
protected:
    testsupport::RunResult KeysNew(const std::vector<std::string>& args,
                                   std::vector<std::string> environment = {}) {
        std::vector<std::string> all = {"archive", "keys", "new"};
        all.insert(all.end(), args.begin(), args.end());
        environment.push_back("XDG_CONFIG_HOME=" + m_config);
        return testsupport::RunProgram("tavon-datalog", all, m_dir.Path(), 60, environment);
    }

    testsupport::TempDir m_dir{"tavon-personal-"};
    const std::string m_config = m_dir.Path() + "/config";
    const std::string m_file = m_config + "/Tavon/personal-signing.key";
};

// The file holds no seed in clear: its sealed part, opened with the passphrase as the format says,
// gives the seed of the public key it names, and the name.
TEST_F(PersonalKeyFileTest, KeysNewSealsTheSeedUnderThePassphrase) {
    const std::string passphrase = archivetest::PassphraseFile(m_dir.File("passphrase"));
    const testsupport::RunResult made =
        KeysNew({"--name", "Dr Jane QA", "--passphrase-file", passphrase});
    ASSERT_EQ(made.status, 0) << made.err;
    struct stat info;
    ASSERT_EQ(stat(m_file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((m_config + "/Tavon").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    const std::string text = testsupport::ReadFile(m_file);
    EXPECT_EQ(text.rfind("Tavon Datalogging personal signing key, version 1\n", 0), 0u) << text;
    std::map<std::string, std::string> f = KeyFields(text);
    EXPECT_EQ(f["name"], "Dr Jane QA");
    EXPECT_EQ(f["kdf"], "argon2id13");
    const std::string salt = FromHex(f["salt"]);
    const std::string nonce = FromHex(f["nonce"]);
    const std::string sealed = FromHex(f["sealed"]);
    ASSERT_EQ(salt.size(), crypto_pwhash_SALTBYTES);
    ASSERT_EQ(nonce.size(), crypto_secretbox_NONCEBYTES);
    ASSERT_EQ(sealed.size(), crypto_secretbox_MACBYTES + crypto_sign_SEEDBYTES + 10);
    ASSERT_GE(sodium_init(), 0);
    unsigned char key[crypto_secretbox_KEYBYTES];
    ASSERT_EQ(crypto_pwhash(
                  key, sizeof key, archivetest::kPassphrase, std::strlen(archivetest::kPassphrase),
                  reinterpret_cast<const unsigned char*>(salt.data()), std::stoull(f["opslimit"]),
                  std::stoull(f["memlimit"]), crypto_pwhash_ALG_ARGON2ID13),
              0);
    std::string opened(sealed.size() - crypto_secretbox_MACBYTES, '\0');
    ASSERT_EQ(crypto_secretbox_open_easy(reinterpret_cast<unsigned char*>(&opened[0]),
                                         reinterpret_cast<const unsigned char*>(sealed.data()),
                                         sealed.size(),
                                         reinterpret_cast<const unsigned char*>(nonce.data()), key),
              0);
    const std::string seed = opened.substr(0, crypto_sign_SEEDBYTES);
    EXPECT_EQ(opened.substr(crypto_sign_SEEDBYTES), "Dr Jane QA");
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char secret[crypto_sign_SECRETKEYBYTES];
    crypto_sign_seed_keypair(publicKey, secret,
                             reinterpret_cast<const unsigned char*>(seed.data()));
    const std::string publicHex =
        Hex(std::string(reinterpret_cast<const char*>(publicKey), sizeof publicKey));
    EXPECT_EQ(f["public-key"], publicHex);
    const std::string fingerprint =
        archive::KeyFingerprint(QString::fromStdString(publicHex)).toStdString();
    EXPECT_EQ(made.out, "personal signing key of \"Dr Jane QA\" made: " + fingerprint + " (" +
                            m_file + ")\n");
    // Neither the seed nor the secret key, in any spelling.
    for (const std::string& secretPart :
         {seed, Hex(seed), QByteArray::fromStdString(Hex(seed)).toUpper().toStdString(),
          QByteArray::fromStdString(seed).toBase64().toStdString()}) {
        EXPECT_EQ(text.find(secretPart), std::string::npos);
    }

    // A key made again is refused, and --replace keeps the old one beside the new.
    const testsupport::RunResult again =
        KeysNew({"--name", "Dr Jane QA", "--passphrase-file", passphrase});
    EXPECT_EQ(again.status, 2) << again.err;
    EXPECT_NE(again.err.find("you already have a personal signing key of \"Dr Jane QA\""),
              std::string::npos)
        << again.err;
    EXPECT_EQ(testsupport::ReadFile(m_file), text);
    const testsupport::RunResult replaced =
        KeysNew({"--name", "Dr Jane QA", "--passphrase-file", passphrase, "--replace"});
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_NE(replaced.out.find("the old personal key was moved to " + m_file + ".replaced-"),
              std::string::npos)
        << replaced.out;
    EXPECT_EQ(replaced.out.find(fingerprint), std::string::npos) << replaced.out;
    const std::vector<std::string> kept = testsupport::ListFolder(m_config + "/Tavon");
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(testsupport::ReadFile(m_config + "/Tavon/" + kept[1]), text);
}

// Each request that will not do is refused with exit status 2, its reason said, and makes no key.
TEST_F(PersonalKeyFileTest, KeysNewRefusesWhatWillNotDo) {
    const std::string passphrase = archivetest::PassphraseFile(m_dir.File("passphrase"));
    const std::string open = archivetest::PassphraseFile(m_dir.File("open"), "shared by all", 0644);
    const std::string shortOne = archivetest::PassphraseFile(m_dir.File("short"), "1234567");
    const struct {
        std::vector<std::string> args;
        const char* said;
    } refused[] = {
        {{"--passphrase-file", passphrase}, "a printed name cannot be empty (--name"},
        {{"--name", "  ", "--passphrase-file", passphrase}, "a printed name cannot be empty"},
        // Read as every other name or text given is: one line of UTF-8 text.
        {{"--name", "Jane\n    8  2026-12-09 09:00:00 UTC  qa.lead@hq", "--passphrase-file",
          passphrase},
         "archive keys new: --name holds a line break (\\n): it must be one line of text"},
        {{"--name",
          "a\xff"
          "b",
          "--passphrase-file", passphrase},
         "archive keys new: --name is not valid UTF-8"},
        {{"--name", "Jane\tQA", "--passphrase-file", passphrase}, "--name holds a tab (\\t)"},
        {{"--name", std::string(101, 'J'), "--passphrase-file", passphrase},
         "cannot be longer than 100 characters"},
        {{"--name", "Dr Jane QA", "--passphrase-file", open},
         "may be read by other users (mode 0644): it must be private to its owner (chmod 600 "},
        {{"--name", "Dr Jane QA", "--passphrase-file", shortOne},
         "a passphrase needs at least 8 characters"},
        {{"--name", "Dr Jane QA", "--passphrase-file", m_dir.File("none")},
         "cannot read the passphrase file"},
        {{"--name", "Dr Jane QA"},
         "no terminal to ask the passphrase on: give --passphrase-file FILE"},
        {{"--name", "Dr Jane QA", "--archive", "a.sqlite"}, "unknown option --archive"},
    };
    for (const auto& r : refused) {
        const testsupport::RunResult run = KeysNew(r.args);
        EXPECT_EQ(run.status, 2) << r.said << "\n" << run.err;
        EXPECT_NE(run.err.find(r.said), std::string::npos) << run.err;
        EXPECT_FALSE(testsupport::FileExists(m_file)) << r.said;
    }
}

// A key sealed at the tests' cost is refused where the tests' variable is not set: a key file that
// a passphrase guards too cheaply is no second factor.
TEST_F(PersonalKeyFileTest, AKeySealedAtTheTestsCostIsRefusedWithoutTheirVariable) {
    const testsupport::EnvGuard user("XDG_CONFIG_HOME", m_config);
    archive::PersonalKey key;
    ASSERT_TRUE(archivetest::MadePersonalKey(key));
    const testsupport::EnvGuard cost("TAVON_TEST_KEY_COST", nullptr);
    EXPECT_EQ(archive::NewKeyCost().opslimit, crypto_pwhash_OPSLIMIT_MODERATE);
    EXPECT_EQ(archive::NewKeyCost().memlimit, crypto_pwhash_MEMLIMIT_MODERATE);
    archive::PersonalKey again;
    QString error;
    EXPECT_FALSE(again.Load(error));
    EXPECT_TRUE(error.contains("is sealed at a lower cost than a passphrase needs"))
        << error.toStdString();
}

class ArchivePersonalKeyTest : public archivetest::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        m_image = archivetest::GeneratedImage(5);
        m_passphrase = archivetest::PassphraseFile(m_dir.File("passphrase"));
    }

    void BecomeUser(const std::string& name) {
        m_user.reset();
        m_user.reset(new testsupport::EnvGuard("XDG_CONFIG_HOME", m_dir.Path() + "/" + name));
    }

    // The archive opened with one instrument's sessions imported, by `user`, who has a personal
    // key called `name`.
    void OpenImported(const std::string& user, const QString& name = "Anna Lind") {
        BecomeUser(user);
        ASSERT_TRUE(m_archive.Open(Location())) << m_archive.Error().toStdString();
        const qint64 instrument =
            m_archive.Instrument(archive::NamedInstrument("unit 7"), "unit 7");
        ASSERT_GT(instrument, 0) << m_archive.Error().toStdString();
        archive::StoreCounts counts;
        ASSERT_GT(m_archive.ImportDump(instrument, "import test", archive::IndexBytes(*m_image),
                                       archive::CaptureSessions(*m_image, {}), counts),
                  0)
            << m_archive.Error().toStdString();
        ASSERT_TRUE(archivetest::MadePersonalKey(m_personal, name));
    }

    QVector<HistoryRow> Rows() {
        QString error;
        const QVector<HistoryRow> rows = archive::History(m_archive, error);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        return rows;
    }

    // tavon-datalog archive sign-off, with `environment` added to the child's.
    testsupport::RunResult SignOff(const std::string& meaning,
                                   const std::vector<std::string>& more = {},
                                   const std::vector<std::string>& environment = {}) {
        std::vector<std::string> args = {"archive", "sign-off",  "--meaning",
                                         meaning,   "--archive", m_location};
        args.insert(args.end(), more.begin(), more.end());
        std::vector<std::string> env = {"TZ=UTC", "LC_ALL=C"};
        env.insert(env.end(), environment.begin(), environment.end());
        return testsupport::RunProgram("tavon-datalog", args, m_dir.Path(), 120, env);
    }

    // A row appended as a writer of the database who knows how rows hash would: after the newest,
    // signed by `key`, its key registered.
    void Forge(archive::ChangeKind kind, const QString& detail, const QString& user,
               const archive::SigningKey& key) {
        const HistoryRow last = Rows().last();
        HistoryRow row;
        row.seq = last.seq + 1;
        row.at = last.at + 1;
        row.user = user;
        row.host = last.host;
        row.kind = archive::ChangeKindName(kind);
        row.detail = detail;
        row.sessions = last.sessions;
        row.previous = last.hash;
        row.hash = archive::RowHash(row);
        ASSERT_TRUE(Sql("INSERT INTO archive_history (seq, changed_at, os_user, host, kind,"
                        " detail, sessions, previous, hash, signer, signature)"
                        " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                        {row.seq, row.at, row.user, row.host, row.kind, row.detail,
                         archive::SessionsText(row.sessions, {}), row.previous, row.hash,
                         key.PublicHex(), key.Sign(row.hash)}));
        ASSERT_TRUE(Sql("INSERT INTO history_keys (origin, public_key, first_seq, first_at,"
                        " os_user, host) VALUES ('', ?, ?, ?, ?, ?)"
                        " ON CONFLICT (origin, public_key) DO NOTHING",
                        {key.PublicHex(), row.seq, row.at, row.user, row.host}));
    }

    enum Kind {
        UserKeySignOff,
        OtherKeySignOff,
        BoundByAnother,
        UserKeyBound,
        BoundAgain,
        PersonalDownload
    };

    // The rows of one forgery: `detail` a sign-off's text, `mine` the user's key.
    void ForgeCase(Kind kind, const QString& detail, const archive::SigningKey& mine,
                   const archive::SigningKey& other) {
        const archive::SigningKey& personal = m_personal.Signer();
        switch (kind) {
        case UserKeySignOff:
            Forge(archive::ChangeKind::SignOff, detail, "Anna Lind", mine);
            break;
        case OtherKeySignOff:
            Forge(archive::ChangeKind::SignOff, detail, "Anna Lind", other);
            break;
        case BoundByAnother:
            Forge(archive::ChangeKind::Signer, archive::BindingText(other.PublicHex(), "Anna Lind"),
                  "Anna Lind", mine);
            break;
        case UserKeyBound:
            Forge(archive::ChangeKind::Signer, archive::BindingText(mine.PublicHex(), "Anna Lind"),
                  "Anna Lind", mine);
            Forge(archive::ChangeKind::SignOff, detail, "Anna Lind", mine);
            break;
        case BoundAgain:
            Forge(archive::ChangeKind::Signer,
                  archive::BindingText(personal.PublicHex(), "Dr Jane QA"), "Dr Jane QA", personal);
            break;
        case PersonalDownload:
            Forge(archive::ChangeKind::Interval, "bump test every 9 days", "Anna Lind", personal);
            break;
        }
    }

    // This user's operating-system key.
    archive::SigningKey UserKey() {
        archive::SigningKey key;
        QString error;
        EXPECT_TRUE(key.Load(error)) << error.toStdString();
        return key;
    }

    testsupport::ZoneGuard m_zone{"UTC"};
    std::unique_ptr<testsupport::EnvGuard> m_user;
    std::unique_ptr<LogImage> m_image;
    archive::PersonalKey m_personal;
    std::string m_passphrase;
};

// The same sign-off shows the same whatever $USER says: the printed name the key is bound to, the
// key's fingerprint, the time in UTC and the meaning, in the history, the signers and the pack.
TEST_P(ArchivePersonalKeyTest, ASignOffShowsThePrintedNameWhateverUserSays) {
    OpenImported("ann");
    const int before = Rows().size();
    const std::string fingerprint = m_personal.Fingerprint().toStdString();
    const testsupport::RunResult first = SignOff("approved", {"--passphrase-file", m_passphrase});
    ASSERT_EQ(first.status, 0) << first.err;
    const testsupport::RunResult second =
        SignOff("reviewed", {"--passphrase-file", m_passphrase},
                {"USER=Dr Jane QA", "LOGNAME=Dr Jane QA", "USERNAME=Dr Jane QA"});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.out, "signed off as \"reviewed\": every instrument, " +
                              std::to_string(archive::CaptureSessions(*m_image, {}).size()) +
                              " sessions\n");

    // One binding, before the first sign-off, in its transaction; both signed by the key.
    const QVector<HistoryRow> rows = Rows();
    ASSERT_EQ(rows.size(), before + 3);
    EXPECT_EQ(rows[before].kind, "signer");
    EXPECT_EQ(rows[before].detail,
              "key " + m_personal.PublicHex() + " is the personal key of \"Anna Lind\"");
    for (int i = before; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].signer, m_personal.PublicHex()) << i;
        EXPECT_EQ(rows[i].user, "Anna Lind") << i;
    }
    const std::string by = "  \"Anna Lind\" (key " + fingerprint + ")  ";
    const testsupport::RunResult history = Datalog({"history"});
    EXPECT_EQ(history.status, 0) << history.err;
    for (const char* meaning : {"approved", "reviewed"}) {
        EXPECT_NE(history.out.find(" UTC" + by + "sign-off  signed off as \"" +
                                   std::string(meaning) + "\""),
                  std::string::npos)
            << history.out;
    }
    EXPECT_NE(history.out.find(by + "signer    key "), std::string::npos) << history.out;
    const testsupport::RunResult csv = Datalog({"history", "--format", "csv"});
    const testsupport::RunResult keys = Datalog({"keys"});
    EXPECT_NE(keys.out.find(fingerprint + "  \"Anna Lind\", personal key  first row " +
                            std::to_string(before + 1) + ", "),
              std::string::npos)
        << keys.out;
    QStringList pack;
    QString error;
    ASSERT_TRUE(archive::HistoryPinLines(m_archive, {}, pack, error)) << error.toStdString();
    const QString shown = pack.join('\n');
    EXPECT_TRUE(shown.contains(QString("Signer: %1, \"Anna Lind\", signed this archive's history"
                                       " from row %2")
                                   .arg(m_personal.Fingerprint())
                                   .arg(before + 1)))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains(QString(" UTC, \"Anna Lind\" (key %1): signed off as \"reviewed\"")
                                   .arg(m_personal.Fingerprint())))
        << shown.toStdString();
    for (const std::string& view : {history.out, csv.out, keys.out, shown.toStdString()}) {
        EXPECT_EQ(view.find("Dr Jane QA"), std::string::npos) << view;
    }
    const testsupport::RunResult verified = Datalog({"verify"});
    EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
    // Not trusted, it is named so by verify too: its printed name and fingerprint.
    const std::string list = m_dir.File("trusted-keys");
    ASSERT_TRUE(testsupport::WriteFile(
        list, archive::KeyFingerprint(UserKey().PublicHex()).toStdString() + "\n"));
    const testsupport::RunResult untrusted = Datalog({"verify", "--trusted-keys", list});
    EXPECT_EQ(untrusted.status, 1) << untrusted.out << untrusted.err;
    EXPECT_NE(untrusted.out.find("history rows " + std::to_string(before + 1) + "-" +
                                 std::to_string(before + 3) + " are signed by \"Anna Lind\" (key " +
                                 fingerprint + "), which is not a trusted key\n"),
              std::string::npos)
        << untrusted.out;
}

// A binding whose signer column was edited to no public key binds nothing: the key is named as
// the other views name an unreadable key and a personal row's writer that no binding names, never
// by the operating-system user and host its row holds the printed name in.
TEST_P(ArchivePersonalKeyTest, AnUnreadablePersonalKeyIsNeverNamedAsAUser) {
    OpenImported("ann");
    ASSERT_EQ(SignOff("approved", {"--passphrase-file", m_passphrase}).status, 0);
    const qint64 binding = Rows().size() - 1;
    ASSERT_TRUE(Sql("UPDATE archive_history SET signer = UPPER(signer) WHERE seq = ?", {binding}));
    ASSERT_TRUE(Sql("UPDATE history_keys SET public_key = UPPER(public_key) WHERE public_key = ?",
                    {m_personal.PublicHex()}));
    const std::string first = "  first row " + std::to_string(binding) + ", ";
    const testsupport::RunResult keys = Datalog({"keys"});
    EXPECT_EQ(keys.status, 0) << keys.err;
    EXPECT_NE(keys.out.find("\nan unreadable key  no printed name" + first), std::string::npos)
        << keys.out;
    const testsupport::RunResult history = Datalog({"history"});
    EXPECT_NE(history.out.find(" UTC  no printed name (an unreadable key)  signer    key "),
              std::string::npos)
        << history.out;
    QStringList pack;
    QString error;
    ASSERT_TRUE(archive::HistoryPinLines(m_archive, {}, pack, error)) << error.toStdString();
    const std::string shown = pack.join('\n').toStdString();
    EXPECT_NE(shown.find("Signer: an unreadable key, no printed name, signed this archive's"
                         " history from row " +
                         std::to_string(binding)),
              std::string::npos)
        << shown;
    for (const std::string& view : {keys.out, history.out, shown}) {
        EXPECT_EQ(view.find("Anna Lind@"), std::string::npos) << view;
        EXPECT_EQ(view.find("(key )"), std::string::npos) << view;
    }
}

// A user who never made a personal key is told how to.
TEST_P(ArchivePersonalKeyTest, ASignOffWithoutAPersonalKeySaysHowToMakeOne) {
    OpenImported("ann");
    BecomeUser("bob");
    const testsupport::RunResult none = SignOff("approved", {"--passphrase-file", m_passphrase});
    EXPECT_EQ(none.status, 2) << none.err;
    EXPECT_NE(none.err.find("you have no personal signing key (" + m_dir.Path() +
                            "/bob/Tavon/personal-signing.key), which a sign-off is signed with:"
                            " make one with tavon-datalog archive keys new --name \"YOUR PRINTED"
                            " NAME\""),
              std::string::npos)
        << none.err;
    EXPECT_EQ(Rows().back().kind, "import");
}

// A sign-off refused, for the passphrase, its file or the key, exits 2, says why, and writes
// nothing.
TEST_P(ArchivePersonalKeyTest, ARefusedSignOffWritesNothing) {
    OpenImported("ann");
    BecomeUser("ann");
    ASSERT_EQ(SignOff("approved", {"--passphrase-file", m_passphrase}).status, 0);
    const int rows = Rows().size();
    const std::string key = archive::PersonalKeyFile().toStdString();
    const std::string wrong = archivetest::PassphraseFile(m_dir.File("wrong"), "not the one!");
    const std::string open = archivetest::PassphraseFile(m_dir.File("open"), "x", 0644);
    const std::string group = archivetest::PassphraseFile(m_dir.File("group"), "x", 0640);
    const std::string bound = QString("this archive holds personal keys bound on this computer:"
                                      " \"Anna Lind\" (key %1) in row %2: if one is yours, put its"
                                      " file back from your backup")
                                  .arg(m_personal.Fingerprint())
                                  .arg(rows - 1)
                                  .toStdString();
    const struct {
        const char* name;
        std::vector<std::string> args;
        const char* user; // whose configuration folder
        std::function<void()> before;
        std::function<void()> after;
        std::string said;
    } refused[] = {
        {"a wrong passphrase",
         {"--passphrase-file", wrong},
         "ann",
         nullptr,
         nullptr,
         "the passphrase does not open the personal signing key " + key + ": nothing was signed"},
        {"a passphrase file others may read",
         {"--passphrase-file", open},
         "ann",
         nullptr,
         nullptr,
         "may be read by other users (mode 0644): it must be private to its owner"},
        {"a passphrase file the group may read",
         {"--passphrase-file", group},
         "ann",
         nullptr,
         nullptr,
         "(mode 0640)"},
        {"no terminal and no passphrase file",
         {},
         "ann",
         nullptr,
         nullptr,
         "no terminal to ask the passphrase on: give --passphrase-file FILE"},
        {"a key file others may read",
         {"--passphrase-file", m_passphrase},
         "ann",
         [&] { chmod(key.c_str(), 0644); },
         [&] { chmod(key.c_str(), 0600); },
         "the personal signing key " + key + " may be read or written by other users (mode 0644)"},
        {"a key file lost",
         {"--passphrase-file", m_passphrase},
         "ann",
         [&] { rename(key.c_str(), (key + ".away").c_str()); },
         [&] { rename((key + ".away").c_str(), key.c_str()); },
         "your personal signing key " + key + " is missing, and " + bound},
        {"another user of this computer without a personal key",
         {"--passphrase-file", m_passphrase},
         "bob",
         nullptr,
         nullptr,
         "your personal signing key " + m_dir.Path() +
             "/bob/Tavon/personal-signing.key is "
             "missing, and " +
             bound},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.name);
        BecomeUser(r.user);
        if (r.before) {
            r.before();
        }
        const testsupport::RunResult run = SignOff("rejected", r.args);
        if (r.after) {
            r.after();
        }
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find(r.said), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(Rows().size(), rows);
    }
    BecomeUser("ann");
    EXPECT_EQ(SignOff("approved", {"--passphrase-file", m_passphrase}).status, 0);
}

// Each sign-off or binding a writer of the database could forge with the chain's own hashing and
// a key they hold (the user's own, unattended one; another's) is a line of verify's, and its exit
// status 1.
TEST_P(ArchivePersonalKeyTest, EachForgedSignOffIsReported) {
    const struct {
        const char* name;
        Kind kind;
        const char* reported;
    } cases[] = {
        {"a sign-off signed by the user's key", UserKeySignOff,
         "history row %r is a sign-off signed by key %u, which no row before it binds to a printed"
         " name: from row 1 on, a sign-off is signed by a personal key"},
        {"a sign-off signed by a key never bound", OtherKeySignOff,
         "history row %r is a sign-off signed by key %m, which no row before it binds"},
        {"a binding signed by another key", BoundByAnother,
         "history row %r binds key %m to \"Anna Lind\", but is signed by key %u (a key binds its"
         " own name)"},
        {"the user's key bound as a personal one", UserKeyBound,
         "history row %r binds key %u to \"Anna Lind\", which signed rows of the chain before it"
         " (a personal key's first row is its binding)"},
        {"a personal key bound again", BoundAgain,
         "history row %r binds key %p to \"Dr Jane QA\", which row %b bound to \"Anna Lind\""
         " already (a printed name, once bound, stays)"},
        {"a personal key signing another change", PersonalDownload,
         "history row %r (interval) is signed by key %p, the personal key of \"Anna Lind\": a"
         " personal key signs only its binding and sign-offs"},
    };
    archive::SigningKey other;
    other.FromSeed(QByteArray(32, 'm'));
    int user = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OpenImported("ann" + std::to_string(++user));
        QString detail;
        QString error;
        ASSERT_TRUE(
            archive::SignOff(m_archive, {"approved", "", "", ""}, m_personal, detail, error))
            << error.toStdString();
        const qint64 binding = Rows().size() - 1;
        const archive::SigningKey mine = UserKey();
        ForgeCase(c.kind, detail, mine, other);
        const qint64 forged = c.kind == UserKeyBound ? Rows().size() - 1 : Rows().size();
        const QString expected = QString(c.reported)
                                     .replace("%r", QString::number(forged))
                                     .replace("%b", QString::number(binding))
                                     .replace("%u", archive::KeyFingerprint(mine.PublicHex()))
                                     .replace("%m", archive::KeyFingerprint(other.PublicHex()))
                                     .replace("%p", m_personal.Fingerprint());
        const archive::VerifySummary summary = archive::VerifyArchive(m_archive);
        const QString lines = summary.mismatches.join('\n');
        EXPECT_TRUE(lines.contains(expected)) << lines.toStdString();
        EXPECT_FALSE(lines.contains("does not match its own hash")) << lines.toStdString();
        EXPECT_FALSE(lines.contains("signature does not match")) << lines.toStdString();
        const testsupport::RunResult run = Datalog({"verify"});
        EXPECT_EQ(run.status, 1) << run.out << run.err;
        EXPECT_NE(run.out.find(expected.toStdString()), std::string::npos) << run.out;
        Renew(c.name);
    }
}

// A user's key that is not the one the archive knows the writer by is said on standard error,
// never silently: a key file lost where the archive holds that user's key (a new key is made, since
// the unattended work must go on, and the team trusts the old one), whatever names history_keys
// holds; and a key whose first row names another writer than $USER does.
TEST_P(ArchivePersonalKeyTest, AUserKeyOtherThanTheArchiveKnowsIsSaid) {
    const struct {
        const char* name;
        bool lost;       // the key file removed
        bool forged;     // history_keys' names of the key changed
        const char* env; // the writer's USER, LOGNAME and USERNAME; nullptr: the test's own
        const char* said;
        bool again; // said again on the next change
    } cases[] = {
        {"the key file lost", true, false, nullptr,
         "warning: the signing key %f of %w was missing, and a new key %n was made, which verify"
         " will show as a new signer; this archive already holds key %o of %w (its row %r): put"
         " the old key file back if you have it, else ask your manager to trust the new key\n",
         false},
        {"the key file lost, the key list's names forged", true, true, nullptr,
         "warning: the signing key %f of %w was missing, and a new key %n was made, which verify"
         " will show as a new signer; this archive already holds key %o of %w (its row %r)",
         false},
        {"$USER another user's", false, false, "somebody-else",
         "warning: this change is written as somebody-else@%h but signed with the signing key %o"
         " (%f), whose first row of this archive (row 1) was written as %w: archive keys and"
         " verify name that key %w; $USER may name another user, or the key file is another"
         " user's\n",
         true},
    };
    int user = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OpenImported("ann" + std::to_string(++user));
        const QVector<HistoryRow> rows = Rows();
        const std::string old = archive::KeyFingerprint(UserKey().PublicHex()).toStdString();
        if (c.forged) {
            ASSERT_TRUE(Sql("UPDATE history_keys SET os_user = 'mallory', host = 'elsewhere'"));
        }
        m_archive.Close();
        if (c.lost) {
            ASSERT_EQ(std::remove(archive::SigningKeyFile().toLocal8Bit().constData()), 0);
        }
        std::vector<std::string> env = {"TZ=UTC", "LC_ALL=C"};
        if (c.env != nullptr) {
            for (const char* name : {"USER=", "LOGNAME=", "USERNAME="}) {
                env.push_back(name + std::string(c.env));
            }
        }
        const auto rename = [&](const char* from, const char* to) {
            return testsupport::RunProgram(
                "tavon-datalog",
                {"archive", "rename-instrument", from, to, "--archive", m_location}, m_dir.Path(),
                120, env);
        };
        const testsupport::RunResult run = rename("unit 7", "unit 8");
        EXPECT_EQ(run.status, 0) << run.err;
        const std::string made = archive::KeyFingerprint(UserKey().PublicHex()).toStdString();
        EXPECT_EQ(made != old, c.lost);
        const QString said = QString(c.said)
                                 .replace("%f", archive::SigningKeyFile())
                                 .replace("%w", rows.first().user + '@' + rows.first().host)
                                 .replace("%h", rows.first().host)
                                 .replace("%n", QString::fromStdString(made))
                                 .replace("%o", QString::fromStdString(old))
                                 .replace("%r", QString::number(rows.size()));
        EXPECT_NE(run.err.find(said.toStdString()), std::string::npos) << run.err;
        const testsupport::RunResult next = rename("unit 8", "unit 9");
        EXPECT_EQ(next.status, 0) << next.err;
        EXPECT_EQ(next.err.find("warning:") != std::string::npos, c.again) << next.err;
        Renew(c.name);
    }
}

// Everything `fd` gives until `wanted` has come (or, empty, until it ends), at most 60 s.
std::string ReadUntil(int fd, const std::string& wanted) {
    std::string got;
    char buffer[512];
    for (int waits = 0; waits < 600; ++waits) {
        if (!wanted.empty() && got.find(wanted) != std::string::npos) {
            break;
        }
        pollfd ready = {fd, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) {
            continue;
        }
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break; // the child has gone: the terminal says so with EIO
        }
        got.append(buffer, static_cast<size_t>(n));
    }
    return got;
}

// Typed on a terminal, the passphrase is asked for with the key's name and fingerprint and never
// shown.
TEST_P(ArchivePersonalKeyTest, APassphraseTypedOnATerminalIsNotShown) {
    OpenImported("ann");
    const int rows = Rows().size();
    const std::string program = testsupport::BinDir() + "/tavon-datalog";
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(program.c_str(), "tavon-datalog", "archive", "sign-off", "--meaning", "approved",
              "--archive", m_location.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const std::string prompt = "Passphrase of the personal key of \"Anna Lind\" (" +
                               m_personal.Fingerprint().toStdString() + "): ";
    std::string shown = ReadUntil(terminal, prompt);
    EXPECT_NE(shown.find(prompt), std::string::npos) << shown;
    const std::string typed = std::string(archivetest::kPassphrase) + "\n";
    EXPECT_EQ(write(terminal, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    shown += ReadUntil(terminal, "");
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    close(terminal);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
    EXPECT_NE(shown.find("signed off as \"approved\""), std::string::npos) << shown;
    EXPECT_EQ(shown.find(archivetest::kPassphrase), std::string::npos) << shown;
    EXPECT_EQ(Rows().size(), rows + 2);
}

INSTANTIATE_ON_BOTH_ENGINES(ArchivePersonalKeyTest);

} // namespace

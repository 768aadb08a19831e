#include "PersonalKeys.h"

#include <sys/stat.h>

#include "testsupport/Files.h"

namespace archivetest {

const char kPassphrase[] = "correct horse battery";

std::string PassphraseFile(const std::string& path, const std::string& passphrase, unsigned mode) {
    EXPECT_TRUE(testsupport::WriteFile(path, passphrase + "\n")) << path;
    EXPECT_EQ(chmod(path.c_str(), static_cast<mode_t>(mode)), 0) << path;
    return path;
}

::testing::AssertionResult MadePersonalKey(archive::PersonalKey& key, const QString& name) {
    QString movedTo;
    QString error;
    if (!archive::MakePersonalKey(name, kPassphrase, false, key, movedTo, error)) {
        return ::testing::AssertionFailure() << error.toStdString();
    }
    return ::testing::AssertionSuccess();
}

} // namespace archivetest

#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <string>

#include "archive/PersonalKey.h"

// What the archive suites need of a person's signing key: one made for the test's user (the
// XDG_CONFIG_HOME it set), and its passphrase in a file private to its owner.
namespace archivetest {

// The passphrase the suites seal their personal keys under.
extern const char kPassphrase[];

// `path` made to hold `passphrase` on its first line, with mode `mode`; `path` again.
std::string PassphraseFile(const std::string& path, const std::string& passphrase = kPassphrase,
                           unsigned mode = 0600);

// This user's personal key made with `name` and kPassphrase, and left unsealed in `key`.
::testing::AssertionResult MadePersonalKey(archive::PersonalKey& key,
                                           const QString& name = "Dr Jane QA");

} // namespace archivetest

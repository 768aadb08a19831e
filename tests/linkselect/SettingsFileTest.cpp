#include "linkselect/Settings.h"
#include "testsupport/Files.h"
#include "testsupport/TempDir.h"

#include <cstdio>

#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::TempWorkDir;
using testsupport::WriteFile;

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.Ok()); }
    // Under /tmp itself, whatever TMPDIR says: the permission tests run WriteSetting as an
    // unprivileged user, who must be able to reach the folder.
    TempWorkDir dir_{"linkselect-test-", "/tmp"};
};

TEST_F(SettingsFileTest, MissingFileReadsEmpty) {
    EXPECT_EQ(ReadSetting("Find Bluetooth"), "");
    EXPECT_FALSE(FileExists("Settings.ini"));
}

TEST_F(SettingsFileTest, FirstWriteCreatesTheFileWithOneLine) {
    ASSERT_TRUE(WriteSetting("Com Port", "IrDA Port ttyUSB0"));
    EXPECT_EQ(ReadFile("Settings.ini"), "Com Port=IrDA Port ttyUSB0\r\n");
    EXPECT_FALSE(FileExists("Settings.tmp"));
    EXPECT_EQ(ReadSetting("Com Port"), "IrDA Port ttyUSB0");
}

struct ReadCase {
    const char* name;
    const char* file;
    const char* key;
    const char* expected;
};

class SettingsReadTest : public SettingsFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(SettingsReadTest, ReadsTheValue) {
    WriteFile("Settings.ini", GetParam().file);
    EXPECT_EQ(ReadSetting(GetParam().key), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsReadTest,
    ::testing::Values(
        ReadCase{"CrLf", "Find Bluetooth=TRUE\r\n", "Find Bluetooth", "TRUE"},
        ReadCase{"LfOnly", "Find Bluetooth=TRUE\n", "Find Bluetooth", "TRUE"},
        ReadCase{"NoFinalLineEnd", "a=1\r\nFind Bluetooth=TRUE", "Find Bluetooth", "TRUE"},
        ReadCase{"ValueWithEquals", "Com Port=a=b==c\r\n", "Com Port", "a=b==c"},
        ReadCase{"ValueNotTrimmed", "Com Port=  x  \r\n", "Com Port", "  x  "},
        ReadCase{"EmptyValue", "Com Port=\r\n", "Com Port", ""},
        ReadCase{"FirstOfDuplicatesWins", "k=first\r\nk=second\r\n", "k", "first"},
        ReadCase{"BlankBeforeEqualsIsAnotherKey", "Find Bluetooth = TRUE\r\n", "Find Bluetooth",
                 ""},
        ReadCase{"KeyOnlyAtLineStart", " Com Port=x\r\n", "Com Port", ""},
        ReadCase{"KeyIsCaseSensitive", "com port=x\r\n", "Com Port", ""},
        ReadCase{"LongerKeyDoesNotMatch", "Com Port2=x\r\nCom Port=y\r\n", "Com Port", "y"},
        ReadCase{"SuffixedKey", "Com Port=a\r\nCom Port-x=b\r\n", "Com Port-x", "b"},
        ReadCase{"CarriageReturnInsideKept", "k=a\rb\r\n", "k", "a\rb"},
        ReadCase{"EmptyFile", "", "k", ""}, ReadCase{"BlankLines", "\r\n\r\nk=v\r\n", "k", "v"},
        ReadCase{"LowerCaseTrueReadAsIs", "Find Bluetooth=true\r\n", "Find Bluetooth", "true"}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

struct WriteCase {
    const char* name;
    const char* before;
    const char* key;
    const char* value;
    const char* after;
};

class SettingsWriteTest : public SettingsFileTest,
                          public ::testing::WithParamInterface<WriteCase> {};

TEST_P(SettingsWriteTest, RewritesTheFile) {
    WriteFile("Settings.ini", GetParam().before);
    ASSERT_TRUE(WriteSetting(GetParam().key, GetParam().value));
    EXPECT_EQ(ReadFile("Settings.ini"), GetParam().after);
    EXPECT_FALSE(FileExists("Settings.tmp"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsWriteTest,
    ::testing::Values(
        WriteCase{"EmptyFileGetsTheLine", "", "k", "v", "k=v\r\n"},
        WriteCase{"ReplaceInPlace", "a=1\r\nk=old\r\nb=2\r\n", "k", "new",
                  "a=1\r\nk=new\r\nb=2\r\n"},
        WriteCase{"AppendWhenMissing", "a=1\r\n", "k", "v", "a=1\r\nk=v\r\n"},
        WriteCase{"LastLineWithoutEndGetsCrLf", "a=1\r\nb=2", "k", "v", "a=1\r\nb=2\r\nk=v\r\n"},
        WriteCase{"LfLinesBecomeCrLf", "a=1\nb=2\n", "b", "3", "a=1\r\nb=3\r\n"},
        WriteCase{"AllDuplicatesRewritten", "k=1\r\nx=0\r\nk=2\r\n", "k", "3",
                  "k=3\r\nx=0\r\nk=3\r\n"},
        WriteCase{"LowerCaseTrueReplaced", "Find Bluetooth=true\r\n", "Find Bluetooth", "FALSE",
                  "Find Bluetooth=FALSE\r\n"},
        WriteCase{"BlankBeforeEqualsKeptAndKeyAppended", "Find Bluetooth = TRUE\r\n",
                  "Find Bluetooth", "FALSE", "Find Bluetooth = TRUE\r\nFind Bluetooth=FALSE\r\n"},
        WriteCase{"BlankLinesAndOtherKeysStay", "\r\nx=1\r\n\r\nk=a\r\n\r\ny=2\r\n", "k", "b",
                  "\r\nx=1\r\n\r\nk=b\r\n\r\ny=2\r\n"},
        WriteCase{"EmptyValue", "Com Port=IrDA Port COM3\r\n", "Com Port", "", "Com Port=\r\n"},
        WriteCase{"ValueWithEquals", "k=1\r\n", "k", "a=b", "k=a=b\r\n"},
        WriteCase{"PrefixKeyNotTouched", "Com Port2=x\r\n", "Com Port", "y",
                  "Com Port2=x\r\nCom Port=y\r\n"},
        // The program's keys stay out of the watcher's section.
        WriteCase{"NewKeyBeforeTheFirstSection", "a=1\r\n[Watch]\r\nOut=o\r\n",
                  "Archive Instrument", "T", "a=1\r\nArchive Instrument=T\r\n[Watch]\r\nOut=o\r\n"},
        WriteCase{"NewKeyBeforeASectionAtTheTop", "[Watch]\r\nOut=o\r\n", "k", "v",
                  "k=v\r\n[Watch]\r\nOut=o\r\n"}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

TEST_F(SettingsFileTest, SectionKeysAreWrittenInTheirSectionOnly) {
    struct Case {
        const char* before;
        const char* after;
    };
    const Case cases[] = {
        {"", "[Watch]\r\nOut=o\r\nPDF=TRUE\r\n"},
        {"Out=top\r\n", "Out=top\r\n[Watch]\r\nOut=o\r\nPDF=TRUE\r\n"},
        {"[Watch]\r\nEvery=5\r\nOut=old\r\nOut=twice\r\n[Next]\r\nOut=n\r\n",
         "[Watch]\r\nOut=o\r\nPDF=TRUE\r\n[Next]\r\nOut=n\r\n"},
        {"A=1\n[Watch]\nPDF=FALSE\nLog=l\n", "A=1\r\n[Watch]\r\nPDF=TRUE\r\nLog=l\r\nOut=o\r\n"},
    };
    for (const Case& c : cases) {
        std::remove("Settings.ini");
        if (*c.before != '\0') {
            ASSERT_TRUE(WriteFile("Settings.ini", c.before));
        }
        // An empty value removes the key; "Every" is given empty in every case.
        ASSERT_TRUE(WriteSectionSettings("Watch", {{"Out", "o"}, {"PDF", "TRUE"}, {"Every", ""}}));
        EXPECT_EQ(ReadFile("Settings.ini"), c.after) << c.before;
        EXPECT_FALSE(FileExists("Settings.tmp"));
    }
}

TEST_F(SettingsFileTest, WriteIsSeenByTheNextRead) {
    ASSERT_TRUE(WriteSetting("Find Bluetooth", "FALSE"));
    ASSERT_TRUE(WriteSetting("Com Port", "IrDA Port ttyUSB1"));
    ASSERT_TRUE(WriteSetting("Find Bluetooth", "TRUE"));
    EXPECT_EQ(ReadSetting("Find Bluetooth"), "TRUE");
    EXPECT_EQ(ReadSetting("Com Port"), "IrDA Port ttyUSB1");
    EXPECT_EQ(ReadFile("Settings.ini"), "Find Bluetooth=TRUE\r\nCom Port=IrDA Port ttyUSB1\r\n");
}

TEST_F(SettingsFileTest, StaleTemporaryFileIsOverwritten) {
    WriteFile("Settings.tmp", "garbage\r\nmore garbage\r\n");
    WriteFile("Settings.ini", "a=1\r\n");
    ASSERT_TRUE(WriteSetting("k", "v"));
    EXPECT_EQ(ReadFile("Settings.ini"), "a=1\r\nk=v\r\n");
    EXPECT_FALSE(FileExists("Settings.tmp"));
}

TEST_F(SettingsFileTest, TemporaryFileThatCannotBeCreatedLosesNothing) {
    const std::string before = "a=1\r\nk=old\r\n";
    WriteFile("Settings.ini", before);
#ifdef _WIN32
    ASSERT_EQ(mkdir("Settings.tmp"), 0); // a directory where the file should go
#else
    ASSERT_EQ(mkdir("Settings.tmp", 0755), 0);
#endif
    EXPECT_FALSE(WriteSetting("k", "new"));
    EXPECT_EQ(ReadFile("Settings.ini"), before);
    EXPECT_EQ(ReadSetting("k"), "old");
}

// Runs WriteSetting as an unprivileged user when the test runs as root, for whom permissions do
// not apply. Returns 1 for true, 0 for false, -1 when the child could not run it.
int WriteSettingUnprivileged(const std::string& key, const std::string& value) {
#ifdef _WIN32
    // Windows honours a read-only file for every user.
    return WriteSetting(key, value) ? 1 : 0;
#else
    if (geteuid() != 0) {
        return WriteSetting(key, value) ? 1 : 0;
    }
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) {
            _exit(3);
        }
        _exit(WriteSetting(key, value) ? 1 : 0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) > 1) {
        return -1;
    }
    return WEXITSTATUS(status);
#endif
}

// Windows ignores the read-only mark on a folder (only access-control lists, which Wine does not
// enforce, keep files out of one), so the two folder cases are for POSIX systems.
#ifndef _WIN32
TEST_F(SettingsFileTest, ReadOnlyDirectoryLosesNothing) {
    const std::string before = "Find Bluetooth=FALSE\r\nCom Port=IrDA Port ttyUSB0\r\n";
    WriteFile("Settings.ini", before);
    ASSERT_EQ(chmod("Settings.ini", 0666), 0);
    ASSERT_EQ(chmod(dir_.Path().c_str(), 0555), 0);
    const int written = WriteSettingUnprivileged("Com Port", "");
    ASSERT_EQ(chmod(dir_.Path().c_str(), 0755), 0);
    ASSERT_NE(written, -1);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(ReadFile("Settings.ini"), before);
    EXPECT_FALSE(FileExists("Settings.tmp"));
    EXPECT_EQ(ReadSetting("Com Port"), "IrDA Port ttyUSB0");
}

#endif

TEST_F(SettingsFileTest, ReadOnlyFileIsNotReplaced) {
    const std::string before = "k=protected\r\n";
    WriteFile("Settings.ini", before);
    ASSERT_EQ(chmod("Settings.ini", 0444), 0);
    ASSERT_EQ(chmod(dir_.Path().c_str(), 0777), 0);
    const int written = WriteSettingUnprivileged("k", "changed");
    ASSERT_NE(written, -1);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(ReadFile("Settings.ini"), before);
    EXPECT_FALSE(FileExists("Settings.tmp"));
}

#ifndef _WIN32
TEST_F(SettingsFileTest, ReadOnlyDirectoryWithoutFileReportsFailure) {
    ASSERT_EQ(chmod(dir_.Path().c_str(), 0555), 0);
    const int written = WriteSettingUnprivileged("k", "v");
    ASSERT_EQ(chmod(dir_.Path().c_str(), 0755), 0);
    ASSERT_NE(written, -1);
    EXPECT_EQ(written, 0);
    EXPECT_FALSE(FileExists("Settings.ini"));
}

#endif

} // namespace

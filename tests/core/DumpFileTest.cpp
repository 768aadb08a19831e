#include "core/LogImage.h"
#include "testsupport/Files.h"
#include "testsupport/FlashDump.h"
#include "testsupport/TempDir.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kLines = 131072;

using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::WriteFile;

// The dump text of an image, built independently of the writer.
std::string DumpText(const LogImage& image, const char* lineEnd = "\r\n") {
    return testsupport::FlashDumpText(image.Bytes(), LogImage::kImageSize, lineEnd);
}

void FillPattern(LogImage& image, uint32_t seed) {
    uint32_t room = 0;
    uint8_t* bytes = image.StoreArea(0, LogImage::kImageSize, room);
    uint32_t x = seed;
    for (uint32_t i = 0; i < room; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = static_cast<uint8_t>(x >> 16);
    }
}

class DumpFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp.Ok()); }
    std::string Path(const char* name) const { return temp.File(name); }

    testsupport::TempDir temp{"coredump"};
    const std::string dir = temp.Path();
    std::unique_ptr<LogImage> image = std::make_unique<LogImage>();
};

TEST_F(DumpFileTest, FreshImageDumpsAsZeros) {
    const std::string path = Path("FlashData.txt");
    ASSERT_EQ(image->DumpImage(path.c_str()), 1);
    const std::string text = ReadFile(path);
    ASSERT_EQ(text.size(), static_cast<size_t>(kLines) * 50);
    std::string line;
    for (int i = 0; i < 16; ++i) {
        line += "00 ";
    }
    line += "\r\n";
    for (uint32_t i = 0; i < kLines; ++i) {
        ASSERT_EQ(0, text.compare(static_cast<size_t>(i) * 50, 50, line)) << "line " << i + 1;
    }
}

TEST_F(DumpFileTest, DumpHasExactBytes) {
    FillPattern(*image, 7);
    const std::string path = Path("FlashData.txt");
    ASSERT_EQ(image->DumpImage(path.c_str()), 1);
    const std::string text = ReadFile(path);
    EXPECT_TRUE(text == DumpText(*image));
    // Upper-case digits, a blank after every byte.
    uint8_t row[16] = {0x00, 0x0A, 0xAB, 0xFF, 0x10, 0x55, 0x3C, 0x9F,
                       0xF0, 0x01, 0x80, 0x7F, 0xC3, 0xDE, 0xE9, 0xEA};
    image->Store(16 * 5, row, 16);
    ASSERT_EQ(image->DumpImage(path.c_str()), 1);
    EXPECT_EQ(ReadFile(path).substr(5 * 50, 50),
              "00 0A AB FF 10 55 3C 9F F0 01 80 7F C3 DE E9 EA \r\n");
}

TEST_F(DumpFileTest, DefaultNameIsFlashDataInTheWorkingDirectory) {
    int result = -1;
    {
        const testsupport::WorkDirGuard inDir(dir);
        ASSERT_TRUE(inDir.Ok());
        result = image->DumpImage();
    }
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(FileExists(Path("FlashData.txt")));
}

TEST_F(DumpFileTest, DumpReplacesAnOlderFile) {
    const std::string path = Path("FlashData.txt");
    WriteFile(path, std::string(10000000, 'x'));
    ASSERT_EQ(image->DumpImage(path.c_str()), 1);
    EXPECT_EQ(ReadFile(path).size(), static_cast<size_t>(kLines) * 50);
}

TEST_F(DumpFileTest, UnwritablePathReportsFailureAndWritesNothing) {
    const std::string path = Path("missing/FlashData.txt");
    EXPECT_EQ(image->DumpImage(path.c_str()), 0);
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(image->DumpImage(dir.c_str()), 0); // a directory
}

TEST_F(DumpFileTest, RoundTripThroughTheLoader) {
    FillPattern(*image, 99);
    const std::string path = Path("FlashData.txt");
    ASSERT_EQ(image->DumpImage(path.c_str()), 1);
    auto other = std::make_unique<LogImage>();
    std::string message = "old";
    ASSERT_EQ(other->LoadDump(path.c_str(), message), 1) << message;
    EXPECT_EQ(message, "");
    EXPECT_EQ(0, std::memcmp(other->Bytes(), image->Bytes(), LogImage::kImageSize));
}

TEST_F(DumpFileTest, LoadInvalidatesTheWindow) {
    FillPattern(*image, 3);
    const std::string path = Path("FlashData.txt");
    ASSERT_EQ(image->DumpImage(path.c_str()), 1);
    auto other = std::make_unique<LogImage>();
    EXPECT_EQ(other->ReadImageByte(100), 0);
    std::string message;
    ASSERT_EQ(other->LoadDump(path.c_str(), message), 1);
    EXPECT_EQ(other->ReadImageByte(100), image->Bytes()[100]);
}

TEST_F(DumpFileTest, LoaderAcceptsLineFeedsLowerCaseAndNoFinalLineEnd) {
    FillPattern(*image, 11);
    std::string text = DumpText(*image, "\n");
    for (char& c : text) {
        if (c >= 'A' && c <= 'F') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    text.pop_back();
    const std::string path = Path("lf.txt");
    WriteFile(path, text);
    auto other = std::make_unique<LogImage>();
    std::string message;
    ASSERT_EQ(other->LoadDump(path.c_str(), message), 1) << message;
    EXPECT_EQ(0, std::memcmp(other->Bytes(), image->Bytes(), LogImage::kImageSize));
}

struct BadDump {
    const char* name;
    uint32_t line;    // 1-based line to spoil (0: change the whole file instead)
    const char* text; // replacement text of that line, line end included
    const char* expected;
};

class MalformedDumpTest : public DumpFileTest, public ::testing::WithParamInterface<BadDump> {};

TEST_P(MalformedDumpTest, IsRejectedWithTheLineAndLeavesTheImageAlone) {
    const BadDump& bad = GetParam();
    auto source = std::make_unique<LogImage>();
    FillPattern(*source, 5);
    std::string text = DumpText(*source);
    if (std::strcmp(bad.name, "short") == 0) {
        text.resize(text.size() - 50);
    } else if (std::strcmp(bad.name, "long") == 0) {
        text += "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \r\n";
    } else if (std::strcmp(bad.name, "blankline") == 0) {
        text += "\r\n";
    } else if (std::strcmp(bad.name, "empty") == 0) {
        text.clear();
    } else if (std::strcmp(bad.name, "nulByte") == 0) {
        text[static_cast<size_t>(bad.line - 1) * 50 + 47] = '\0';
    } else {
        text.replace(static_cast<size_t>(bad.line - 1) * 50, 50, bad.text);
    }
    const std::string path = Path("bad.txt");
    WriteFile(path, text);

    FillPattern(*image, 77);
    auto before = std::make_unique<LogImage>();
    before->Store(0, image->Bytes(), LogImage::kImageSize);
    EXPECT_EQ(image->ReadImageByte(16 * 100), before->Bytes()[16 * 100]);

    std::string message;
    EXPECT_EQ(image->LoadDump(path.c_str(), message), 0);
    EXPECT_EQ(message, path + bad.expected);
    EXPECT_EQ(0, std::memcmp(image->Bytes(), before->Bytes(), LogImage::kImageSize));
    EXPECT_EQ(image->ReadImageByte(16 * 100), before->Bytes()[16 * 100]);
}

constexpr char kBadBytes[] = ": line 101: expected 16 hexadecimal bytes, each followed by a blank";

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedDumpTest,
    ::testing::Values(
        BadDump{"notHex", 101, "00 00 0G 00 00 00 00 00 00 00 00 00 00 00 00 00 \r\n", kBadBytes},
        BadDump{"noBlank", 101, "00 00 00,00 00 00 00 00 00 00 00 00 00 00 00 00 \r\n", kBadBytes},
        BadDump{"fifteen", 101, "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \r\n", kBadBytes},
        BadDump{"seventeen", 101, "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \r\n",
                kBadBytes},
        BadDump{"noTrailingBlank", 101, "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\r\n",
                kBadBytes},
        BadDump{"threeDigits", 101, "000 00 00 00 00 00 00 00 00 00 00 00 00 00 00 0 \r\n",
                kBadBytes},
        BadDump{"extraCarriageReturn", 101,
                "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \r\r\n", kBadBytes},
        BadDump{"nulByte", 101, nullptr, kBadBytes},
        BadDump{"lastLine", 131072, "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 0X \r\n",
                ": line 131072: expected 16 hexadecimal bytes, each followed by a blank"},
        BadDump{"short", 0, "", ": line 131072: missing; a dump has 131072 lines"},
        BadDump{"long", 0, "", ": line 131073: unexpected; a dump has 131072 lines"},
        BadDump{"blankline", 0, "", ": line 131073: unexpected; a dump has 131072 lines"},
        BadDump{"empty", 0, "", ": line 1: missing; a dump has 131072 lines"}),
    [](const ::testing::TestParamInfo<BadDump>& info) { return std::string(info.param.name); });

TEST_F(DumpFileTest, MissingFileIsNamed) {
    std::string message;
    const std::string path = Path("nothing.txt");
    EXPECT_EQ(image->LoadDump(path.c_str(), message), 0);
    EXPECT_EQ(message.rfind(path + ": cannot open", 0), 0u) << message;
}

TEST_F(DumpFileTest, DirectoryIsRejected) {
    std::string message;
    EXPECT_EQ(image->LoadDump(dir.c_str(), message), 0);
    EXPECT_FALSE(message.empty());
}

} // namespace

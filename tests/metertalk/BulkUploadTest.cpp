#include "CommsFixture.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using Ids = std::vector<int>;
const int SD = ID_COMMS_SET_DONE;
const int AD = ID_COMMS_ASK_DONE;
const int UN = ID_COMMS_UNSOLICITED;

std::string Bulk(const std::string& data) {
    return MakeFrame('M', data);
}

// Bytes 0, 1, 2, ... of a run, so that every byte tells where it belongs.
std::string Pattern(int offset, int length) {
    std::string s;
    for (int i = 0; i < length; ++i)
        s += static_cast<char>((offset + i) * 7 % 256);
    return s;
}

class BulkUploadTest : public CommsTest {
protected:
    void SetUp() override {
        CommsTest::SetUp();
        engine.SetProgressFactory([this] {
            auto view = std::make_unique<RecordingProgress>();
            progress = view.get();
            return view;
        });
        engine.Attach(link);
        ASSERT_NE(progress, nullptr);
        list.ReadDriver(nullptr);
        Select("Upload flag");
    }

    // A non-zero write of the upload flag, acknowledged.
    void StartRun(unsigned int value = 3) {
        target.Take();
        ASSERT_EQ(engine.Set(&target, value), 1);
        Receive(Answer("00"));
        ASSERT_EQ(target.Take(), (Ids{FS, SD}));
        link->Take();
    }

    std::string Uploaded() {
        std::vector<char> buffer(CommsEngine::UploadCapacity + 1, '\x55');
        int length = -1;
        engine.GetUploadedData(buffer.data(), length);
        EXPECT_EQ(buffer[static_cast<size_t>(length)], '\0');
        return std::string(buffer.data(), static_cast<size_t>(length));
    }

    RecordingProgress* progress = nullptr;
};

TEST_F(BulkUploadTest, ThreeFramesThenAnAnswerDeliverTheirBytes) {
    StartRun();
    // The run is waited for as a request is.
    SilentTicks(19);
    EXPECT_TRUE(target.ids.empty());
    Receive(Bulk(Pattern(0, 10)));
    Receive(Bulk(Pattern(10, 10)));
    Receive(Bulk(Pattern(20, 4)));
    EXPECT_EQ(target.Take(), (Ids{FS, FS, FS}));
    Receive(Answer("00"));
    EXPECT_EQ(target.Take(), (Ids{FS, UN}));
    // The run is over: nothing more is waited for, and a request goes out at once.
    SilentTicks(40);
    EXPECT_TRUE(target.ids.empty());

    char buffer[25 + 8];
    std::memset(buffer, 'x', sizeof buffer);
    int length = -1;
    engine.GetUploadedData(buffer, length);
    EXPECT_EQ(length, 24);
    EXPECT_EQ(std::string(buffer, 24), Pattern(0, 24));
    EXPECT_EQ(buffer[24], '\0');
    EXPECT_EQ(buffer[25], 'x');
    // Nothing is reset by collecting the data.
    EXPECT_EQ(Uploaded(), Pattern(0, 24));
    EXPECT_EQ(engine.Ask(&target, 0), 1);
}

TEST_F(BulkUploadTest, BulkDataMayHoldAnyByte) {
    StartRun();
    const std::string data("Y\r\n\0\xff"
                           "YAM\n\r",
                           10);
    Receive(Bulk(data) + Bulk(data));
    Receive(Answer("00"));
    EXPECT_EQ(target.Take(), (Ids{FS, FS, FS, UN}));
    EXPECT_EQ(Uploaded(), data + data);
}

TEST_F(BulkUploadTest, EveryBulkFrameReloadsTheCountdown) {
    StartRun();
    for (int i = 0; i < 5; ++i) {
        SilentTicks(15);
        Receive(Bulk(Pattern(i, 4)));
    }
    EXPECT_EQ(target.Take(), (Ids{FS, FS, FS, FS, FS}));
    // The engine counts as busy: requests are queued behind the run.
    EXPECT_EQ(engine.Ask(&target, 0), 0);
    // After the last frame, the whole countdown again.
    SilentTicks(19);
    EXPECT_TRUE(target.ids.empty());
    SilentTicks(1);
    EXPECT_EQ(target.Take(), (Ids{ID_COMMS_TIMEOUT}));
}

TEST_F(BulkUploadTest, SilenceDuringARunTimesOutAndKeepsThePartialData) {
    StartRun();
    Receive(Bulk(Pattern(0, 44)));
    Receive(Bulk(Pattern(44, 44)));
    target.Take();
    SilentTicks(20);
    EXPECT_EQ(target.Take(), (Ids{ID_COMMS_TIMEOUT}));
    EXPECT_EQ(Uploaded(), Pattern(0, 88));
}

TEST_F(BulkUploadTest, ABulkFrameWithABadChecksumIsNotStored) {
    StartRun();
    Receive(Bulk(Pattern(0, 10)));
    std::string bad = Bulk(Pattern(10, 10));
    bad[bad.size() - 3] ^= 1;
    Receive(bad);
    EXPECT_EQ(target.Take(), (Ids{FS, FS, ID_COMMS_CHECKSUM_ERROR}));
    Receive(Answer("00"));
    EXPECT_EQ(Uploaded(), Pattern(0, 10));
}

TEST_F(BulkUploadTest, FramesAppendUntilAnAnswerAndTheNextRunStartsAtZero) {
    StartRun();
    Receive(Bulk("abc"));
    Receive(Bulk("def"));
    Receive(Answer("00"));
    EXPECT_EQ(Uploaded(), "abcdef");
    StartRun();
    Receive(Bulk("XY"));
    EXPECT_EQ(Uploaded(), "XY");
    Receive(Bulk("Z"));
    Receive(Answer("00"));
    EXPECT_EQ(Uploaded(), "XYZ");
}

TEST_F(BulkUploadTest, ShortBulkFramesCarryNoData) {
    StartRun();
    Receive(Bulk("ab"));
    // Y E M: 223 + 'M' - 'A' = 235, checksum 0x15.
    Receive("YEM15\r\n");
    Receive(Bulk("c"));
    Receive(Answer("00"));
    EXPECT_EQ(target.Take(), (Ids{FS, FS, FS, FS, UN}));
    EXPECT_EQ(Uploaded(), "abc");
    // A short frame still counts as a frame: with one among them, the bar moves at the tenth.
    StartRun();
    Receive(Bulk("a"));
    Receive("YEM15\r\n");
    for (int i = 0; i < 7; ++i)
        Receive(Bulk("b"));
    EXPECT_TRUE(progress->positions.empty());
    Receive(Bulk("c"));
    EXPECT_EQ(progress->positions, (std::vector<int>{10}));
}

TEST_F(BulkUploadTest, TheProgressBarMovesEveryTenthFrame) {
    StartRun();
    for (int i = 0; i < 9; ++i)
        Receive(Bulk("x"));
    EXPECT_TRUE(progress->positions.empty());
    Receive(Bulk("x"));
    EXPECT_EQ(progress->positions, (std::vector<int>{10}));
    for (int i = 0; i < 10; ++i)
        Receive(Bulk("x"));
    EXPECT_EQ(progress->positions, (std::vector<int>{10, 20}));
}

TEST_F(BulkUploadTest, FileSizeGivesTheExpectedFramesAndTheDialogShowsAboveOneHundred) {
    engine.SetFileSize(1212, "Reading sector");
    EXPECT_EQ(progress->range, 101);
    EXPECT_EQ(progress->caption, "Reading sector");
    StartRun();
    EXPECT_FALSE(progress->visible);
    Receive(Bulk("x"));
    EXPECT_TRUE(progress->visible);
    EXPECT_EQ(progress->shows, 1);
    Receive(Bulk("x"));
    EXPECT_EQ(progress->shows, 1);
    Receive(Answer("00"));
    // Every Ask hides it.
    engine.Ask(&target, 0);
    EXPECT_FALSE(progress->visible);
}

TEST_F(BulkUploadTest, OneHundredExpectedFramesKeepTheDialogHidden) {
    engine.SetFileSize(1211, "Reading Instrument Information");
    EXPECT_EQ(progress->range, 100);
    StartRun();
    Receive(Bulk("x"));
    EXPECT_EQ(progress->shows, 0);
    engine.SetFileSize(1000, "Reading Instrument Information");
    EXPECT_EQ(progress->range, 83);
}

TEST_F(BulkUploadTest, ARequestQueuedDuringTheRunIsSentInsteadOfTheUnsolicitedNotice) {
    StartRun();
    Receive(Bulk("abc"));
    EXPECT_EQ(engine.Ask(&target, 0), 0);
    Receive(Answer("00"));
    EXPECT_EQ(target.Take(), (Ids{FS, FS}));
    EXPECT_EQ(link->Take(), "   LR  0B 00 01 8F\r\n");
    Receive(Answer("03"));
    EXPECT_EQ(target.Take(), (Ids{FS, AD}));
    EXPECT_EQ(Uploaded(), "abc");
}

TEST_F(BulkUploadTest, TheProgramsFirstRunFetchesTheDriverText) {
    engine.SetFileSize(1000, "Reading Instrument Information");
    ASSERT_EQ(engine.Ask(&target, 0), 1);
    EXPECT_EQ(link->Take(), "   LR  0B 00 01 8F\r\n");
    Receive(Answer("00"));
    EXPECT_EQ(target.Take(), (Ids{FS, AD}));
    ASSERT_EQ(engine.Set(&target, 10u), 1);
    EXPECT_EQ(link->Take(), "   LW  0B 00 0A 7A\r\n");
    Receive(Answer("00"));
    EXPECT_EQ(target.Take(), (Ids{FS, SD}));
    // The acknowledged upload flag: the run is waited for.
    SilentTicks(19);
    EXPECT_TRUE(target.ids.empty());

    const std::string driver = "V11!AUpload flag!11!129!N!BSector to upload!12!131!N!"
                               "BIndex to upload!13!130!N!";
    for (size_t at = 0; at < driver.size(); at += 44)
        Receive(Bulk(driver.substr(at, 44)));
    Receive(Answer("00"));
    EXPECT_EQ(target.ids.back(), UN);

    char buffer[3001];
    int length = 0;
    ASSERT_EQ(engine.GetUploadedData(buffer, sizeof buffer, length), 1);
    EXPECT_EQ(length, static_cast<int>(driver.size()));
    list.ReadDriver(buffer);
    EXPECT_EQ(list.GetNumberOfTests(), 3);
    EXPECT_EQ(list.FindTest("Index to upload"), 'B');
    EXPECT_EQ(progress->shows, 0);
}

TEST_F(BulkUploadTest, ARunBeyondTheBufferKeepsWhatFitsAndRemembersTheOverflow) {
    StartRun();
    std::string all;
    for (int i = 0; all.size() < 33000; ++i) {
        const std::string data = Pattern(static_cast<int>(all.size()), 44);
        all += data;
        Receive(Bulk(data));
    }
    Receive(Answer("00"));
    EXPECT_EQ(engine.GetUploadOverflow(), 1);
    EXPECT_EQ(Uploaded(), all.substr(0, CommsEngine::UploadCapacity));

    // The next run starts with a clean record.
    StartRun();
    Receive(Bulk("a"));
    EXPECT_EQ(engine.GetUploadOverflow(), 0);
}

TEST_F(BulkUploadTest, TheBoundedCopyNeverWritesPastTheCallersRoom) {
    StartRun();
    Receive(Bulk(Pattern(0, 40)));
    Receive(Answer("00"));
    char buffer[16 + 4];
    std::memset(buffer, 'x', sizeof buffer);
    int length = -1;
    EXPECT_EQ(engine.GetUploadedData(buffer, 16, length), 0);
    EXPECT_EQ(length, 15);
    EXPECT_EQ(std::string(buffer, 15), Pattern(0, 15));
    EXPECT_EQ(buffer[15], '\0');
    EXPECT_EQ(std::string(buffer + 16, 4), "xxxx");

    char exact[41];
    EXPECT_EQ(engine.GetUploadedData(exact, 41, length), 1);
    EXPECT_EQ(length, 40);
    EXPECT_EQ(exact[40], '\0');

    EXPECT_EQ(engine.GetUploadedData(buffer, 0, length), 0);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(engine.GetUploadedData(nullptr, 10, length), 0);
    EXPECT_EQ(length, 0);
}

} // namespace

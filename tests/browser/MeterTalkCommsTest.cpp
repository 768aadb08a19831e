// The browser's conversation over the real test list, and the routing of the notifications.
#include <gtest/gtest.h>

#include <memory>

#include "BrowserFakes.h"
#include "app/SessionBrowser.h"
#include "core/LogImage.h"
#include "metertalk/Comms.h"
#include "metertalk/CommsEngine.h"
#include "metertalk/CommsListener.h"
#include "metertalk/TestList.h"
#include "session/MeterTalkComms.h"
#include "testsupport/RecordingPrompt.h"

namespace {

class RecordingListener : public CommsListener {
public:
    void OnCommsEvent(CommsEvent event) override { events.push_back(event); }
    std::vector<CommsEvent> events;
};

TEST(MeterTalkComms, FindsTestsOfTheDriverTextItWasGiven) {
    CommsEngine comms;
    CTestList tests;
    RecordingListener listener;
    MeterTalkComms adapter(comms, tests, &listener);
    tests.InitTestList();
    adapter.ReadDriver(nullptr);
    EXPECT_EQ(adapter.FindTest("Upload flag"), 'A');
    EXPECT_EQ(adapter.FindTest("Sector to upload"), 0);
    EXPECT_EQ(tests.GetTestNumber(), "-1");
    adapter.ReadDriver("V10!BUpload flag!11!129!N!ASector to upload!12!130!N!CIndex to "
                       "upload!13!131!N!");
    EXPECT_EQ(adapter.FindTest("Upload flag"), 'B');
    EXPECT_EQ(adapter.FindTest("Index to upload"), 'C');
    EXPECT_EQ(tests.GetTestNumber(), "13");
    // Asking whether a test is there leaves the current one alone.
    EXPECT_TRUE(adapter.HasTest("Sector to upload"));
    EXPECT_FALSE(adapter.HasTest("Serial number"));
    EXPECT_EQ(tests.GetTestNumber(), "13");
    EXPECT_EQ(adapter.FindTest(nullptr), 0);
    adapter.SetSensorNumber(1);
    EXPECT_EQ(tests.GetSensorNumber(), 1);
}

TEST(MeterTalkComms, UploadedDataStayWithinTheRoomGiven) {
    CommsEngine comms;
    CTestList tests;
    MeterTalkComms adapter(comms, tests, nullptr);
    uint8_t buffer[8];
    std::memset(buffer, 0x77, sizeof buffer);
    int length = -1;
    EXPECT_EQ(adapter.GetUploadedData(buffer, 4, length), 1);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], 0x77);
    length = -1;
    EXPECT_EQ(adapter.GetUploadedData(buffer, 0, length), 0);
    EXPECT_EQ(length, 0);
    length = -1;
    EXPECT_EQ(adapter.GetUploadedData(nullptr, sizeof buffer, length), 0);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(buffer[1], 0x77);
}

TEST(MeterTalkComms, NotificationsDriveTheBrowser) {
    FakeComms fake;
    FakeView view;
    ReportState report;
    auto image = std::make_unique<LogImage>();
    SessionReader reader(fake, *image, report);
    SessionBrowser browser(reader, view, *image, report);
    reader.SetEvents(&browser);
    browser.Start();
    fake.Take();
    EXPECT_FALSE(DispatchCommsEvent(reader, CommsEvent::FrameStart));
    EXPECT_FALSE(DispatchCommsEvent(reader, CommsEvent::ChecksumError));
    EXPECT_TRUE(fake.Take().empty());
    EXPECT_TRUE(DispatchCommsEvent(reader, CommsEvent::AskDone));
    EXPECT_EQ(fake.Take(), (std::vector<std::string>{"Set 10"}));
    EXPECT_TRUE(DispatchCommsEvent(reader, CommsEvent::SetDone));
    EXPECT_TRUE(fake.Take().empty());
    EXPECT_TRUE(DispatchCommsEvent(reader, CommsEvent::TimedOut));
    EXPECT_EQ(fake.Take(), (std::vector<std::string>{"Ask 0"}));
    fake.upload = {'V', '1', '0', '!'};
    EXPECT_TRUE(DispatchCommsEvent(reader, CommsEvent::UploadDone));
    EXPECT_EQ(fake.Take().front(), "Get 3001");
}

// The uploads come from the script, the driver text goes to the real test list.
class ScriptedDriverComms : public FakeComms {
public:
    explicit ScriptedDriverComms(CTestList& tests) : m_tests(tests) {}
    void ReadDriver(const char* text) override {
        FakeComms::ReadDriver(text);
        m_tests.ReadDriver(text);
    }
    char FindTest(const char* name) override {
        FakeComms::FindTest(name);
        return m_tests.FindTest(name);
    }

private:
    CTestList& m_tests;
};

TEST(MeterTalkComms, ADriverTextThatFillsItsBufferIsReadAndWarnedAbout) {
    testsupport::RecordingPrompt prompt;
    CComms().SetUserPrompt(&prompt);
    CTestList tests;
    tests.InitTestList();
    ScriptedDriverComms fake(tests);
    FakeView view;
    ReportState report;
    auto image = std::make_unique<LogImage>();
    SessionReader reader(fake, *image, report);
    SessionBrowser browser(reader, view, *image, report);
    reader.SetEvents(&browser);
    browser.Start();
    reader.OnAskDone();
    reader.OnSetDone();
    std::string text = "V10!AUpload flag!11!129!N!";
    text.resize(CTestList::DriverBufferSize + 500, 'x');
    fake.upload.assign(text.begin(), text.end());
    prompt.shown.clear();
    reader.OnUploadDone();
    CComms().SetUserPrompt(nullptr);
    EXPECT_EQ(prompt.shown, (decltype(prompt.shown){{"ERROR", "3000 chars"}}));
    EXPECT_EQ(reader.InfoLength(), CTestList::DriverBufferSize);
    EXPECT_TRUE(reader.StartUpComplete());
    EXPECT_EQ(reader.UploadState(), 2);
}

} // namespace

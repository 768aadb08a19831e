// What a session's link shows of itself: its boxes reach the prompt the front end gave the
// session, and the progress display is made from the front end's factory when a link opens, on
// the process's link (the program's) as on an engine of the session's own (a download's).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "linkselect/Link.h"
#include "linkselect/LinkChooser.h"
#include "metertalk/UploadProgressView.h"
#include "session/InstrumentSession.h"

namespace {

// A link that takes everything written and never answers.
class SilentLink : public Link {
public:
    bool IsOpen() const override { return open; }
    int32_t Read(uint8_t*, int32_t) override { return open ? 0 : -1; }
    int32_t Write(const uint8_t*, int32_t length) override { return open ? length : -1; }
    bool IsPipe() const override { return true; }
    int32_t BytesWaiting() override { return open ? 0 : -1; }
    bool SetModemLine(ModemLine) override { return open; }
    bool Configure(const LineSettings&) override { return open; }
    void SetQueueSizes(int32_t, int32_t) override {}
    void Close() override { open = false; }
    bool open = true;
};

// Hands the link it holds, or, without one, says that a link was chosen and would not open.
class HandingChooser : public LinkChooser {
public:
    explicit HandingChooser(LinkPtr link) : link_(std::move(link)) {}
    void SetParentApp(const AppInfo&) override {}
    void AddStaticText(const std::string&) override {}
    void AddPortName(const std::string&) override {}
    LinkPtr GetPort() override { return link_; }
    LinkPtr SetPort() override { return link_; }
    bool Declined() const override { return false; }

private:
    LinkPtr link_;
};

class RecordingPrompt : public UserPrompt {
public:
    void Show(const std::string& text, const std::string& caption) override {
        shown.push_back(caption + ": " + text);
    }
    std::vector<std::string> shown;
};

class RecordingProgress : public UploadProgressView {
public:
    explicit RecordingProgress(std::vector<std::string>& calls) : calls_(calls) {}
    void SetRange(int) override { calls_.push_back("range"); }
    void SetPosition(int) override { calls_.push_back("position"); }
    void SetCaption(const std::string&) override { calls_.push_back("caption"); }
    void Show() override { calls_.push_back("show"); }
    void Hide() override { calls_.push_back("hide"); }

private:
    std::vector<std::string>& calls_;
};

enum class Engine { ProcessLink, OwnEngine };

std::unique_ptr<InstrumentSession> MakeSession(Engine engine) {
    return engine == Engine::ProcessLink ? InstrumentSession::OnProcessLink()
                                         : std::make_unique<InstrumentSession>();
}

class SessionLinkBoxesTest : public ::testing::TestWithParam<Engine> {
protected:
    void TearDown() override {
        session->Disconnect();
        session->SetUserPrompt(nullptr);
        session->SetProgressFactory(nullptr);
    }

    const AppInfo app{"tavon-session-test", ""};
    std::unique_ptr<InstrumentSession> session = MakeSession(GetParam());
    RecordingPrompt prompt;
};

TEST_P(SessionLinkBoxesTest, ALinkThatWouldNotOpenIsToldThroughTheSessionsPrompt) {
    session->SetUserPrompt(&prompt);
    HandingChooser none(nullptr);
    EXPECT_FALSE(session->Connect(none, app));
    EXPECT_EQ(prompt.shown, std::vector<std::string>{"Error: Cannot open serial port\nIt may be in "
                                                     "use by another application,\nor it may "
                                                     "have been disabled"});
    EXPECT_FALSE(session->LinkOpen());
}

TEST_P(SessionLinkBoxesTest, EachLinkOpenedMakesItsOwnProgressDisplay) {
    session->SetUserPrompt(&prompt);
    std::vector<std::string> calls;
    int made = 0;
    session->SetProgressFactory([&] {
        ++made;
        return std::make_unique<RecordingProgress>(calls);
    });
    HandingChooser chooser(std::make_shared<SilentLink>());
    ASSERT_TRUE(session->Connect(chooser, app));
    EXPECT_EQ(made, 1);
    // Made hidden, and prepared for the start-up uploads, too short to be shown.
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), "hide");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "show"), 0);
    EXPECT_TRUE(prompt.shown.empty());

    // Without a factory, the next link has no display: the last one is not made again.
    session->Disconnect();
    session->SetProgressFactory(nullptr);
    HandingChooser again(std::make_shared<SilentLink>());
    ASSERT_TRUE(session->Connect(again, app));
    EXPECT_EQ(made, 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, SessionLinkBoxesTest,
                         ::testing::Values(Engine::ProcessLink, Engine::OwnEngine),
                         [](const ::testing::TestParamInfo<Engine>& info) {
                             return info.param == Engine::ProcessLink ? "ProcessLink" : "OwnEngine";
                         });

} // namespace

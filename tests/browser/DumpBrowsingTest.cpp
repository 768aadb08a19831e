// Browsing a saved FlashData.txt without the instrument.
#include <fstream>
#include <map>

#include "TreeFixture.h"

namespace {

class DumpBrowsingTest : public TreeTest {
protected:
    void SetUp() override {
        TreeTest::SetUp();
        // The saved dump: the instrument's whole memory as the program would have written it.
        auto saved = std::make_unique<LogImage>();
        saved->Store(0, instrument->bytes.data(), LogImage::kImageSize);
        ASSERT_EQ(saved->DumpImage((dir + "/saved.txt").c_str()), 1);
    }

    std::string Path() const { return dir + "/saved.txt"; }
};

TEST_F(DumpBrowsingTest, ADumpIsBrowsedWithoutSendingAnything) {
    ToIdle();
    std::string message;
    ASSERT_EQ(browser->OpenDump(Path().c_str(), message), 1) << message;
    EXPECT_TRUE(browser->Offline());
    EXPECT_EQ(view.source, Path());
    EXPECT_EQ(view.items.size(), 12u);
    EXPECT_EQ(view.items[8].text, "12:00:00FC C Alm (cont) ");
    EXPECT_TRUE(view.tree);

    browser->SelectNode(8);
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_EQ(browser->ShownSlots(), std::vector<int16_t>{3});
    EXPECT_EQ(report.ReportBody.substr(411), "Friday 06 Mar 2026 \\par " + SessionText(3));
    EXPECT_EQ(view.reportText, report.ReportText);
    EXPECT_TRUE(comms.Take().empty());
}

TEST_F(DumpBrowsingTest, FullDayAndNextWorkOnADump) {
    ToIdle();
    std::string message;
    ASSERT_EQ(browser->OpenDump(Path().c_str(), message), 1);
    browser->OnFullDay(true);
    browser->SelectNode(5);
    EXPECT_EQ(view.selected, 6);
    const std::string heading = "Thursday 05 Mar 2026";
    EXPECT_EQ(report.ReportBody.substr(411), heading + " \\par " + SessionText(2) +
                                                 "\\par -------- " + heading + " --------- \\par " +
                                                 SessionText(0));
    browser->OnFullDay(false);
    browser->SelectNode(1);
    browser->OnNext();
    EXPECT_EQ(view.selected, 1); // "Thursday 05" of February is the only day of its month
    browser->SelectNode(4);
    browser->OnNext();
    EXPECT_EQ(view.selected, 7);
    EXPECT_TRUE(comms.Take().empty());
}

TEST_F(DumpBrowsingTest, ASessionTheDumpNeverReceivedLeavesWhatIsShownAndSelected) {
    // A dump saved after the index upload: slot 3's data never came.
    auto saved = std::make_unique<LogImage>();
    saved->Store(0, instrument->bytes.data(), LogImage::kImageSize);
    const std::vector<uint8_t> zeros(LogImage::kSectorSize, 0);
    saved->Store(SessionOffset(3), zeros.data(), LogImage::kSectorSize);
    ASSERT_EQ(saved->DumpImage((dir + "/index-only.txt").c_str()), 1);
    std::string message;
    ASSERT_EQ(browser->OpenDump((dir + "/index-only.txt").c_str(), message), 1) << message;
    const std::string missing = "The session 12:00:00FC of Friday 06 Mar 2026 is not in this dump: "
                                "it was never uploaded into it. Press GO with its instrument "
                                "connected to read it.";

    // Nothing on screen yet: the notice stands in its place, and nothing is selected.
    browser->SelectNode(8);
    EXPECT_EQ(view.notice, missing);
    EXPECT_EQ(view.selected, -1);
    EXPECT_TRUE(browser->ShownSlots().empty());
    EXPECT_EQ(view.ended.back(), std::make_pair(UploadRequest::Session, false));

    // A session on screen stays there, selected, under its own headings.
    browser->SelectNode(6);
    const std::string shown = report.ReportText;
    const std::vector<int16_t> shownSlots = browser->ShownSlots();
    ASSERT_EQ(shownSlots.size(), 1u);
    view.notice.clear();
    browser->SelectNode(8);
    EXPECT_EQ(browser->Notice(), missing);
    EXPECT_TRUE(view.notice.empty());
    EXPECT_EQ(view.selected, 6);
    EXPECT_EQ(browser->SelectedNode(), 6);
    EXPECT_EQ(report.ReportText, shown);
    EXPECT_EQ(view.reportText, shown);
    EXPECT_EQ(browser->ShownSlots(), shownSlots);
    EXPECT_EQ(report.HeadingDay + report.HeadingMonth,
              browser->Shown().Sections()[0].headingDay +
                  browser->Shown().Sections()[0].headingMonth);
    EXPECT_EQ(view.ended.back(), std::make_pair(UploadRequest::Session, false));
}

// The archive's copies of the sessions a dump lacks, as the program finds them: here the
// instrument's own sectors.
class CopiesOf : public DumpCopySource {
public:
    CopiesOf(const std::vector<uint8_t>& memory, std::map<int16_t, int64_t> ids)
        : m_memory(memory), m_ids(std::move(ids)) {}
    int64_t CopyOf(int16_t slot) const override {
        const auto id = m_ids.find(slot);
        return id == m_ids.end() ? -1 : id->second;
    }
    bool PutInto(LogImage& image, int16_t slot) override {
        ++puts;
        const uint32_t at = SessionOffset(slot);
        return image.Store(at, m_memory.data() + at, LogImage::kSectorSize) ==
               LogImage::kSectorSize;
    }
    int puts = 0;

private:
    std::vector<uint8_t> m_memory;
    std::map<int16_t, int64_t> m_ids;
};

// A dump saved as its index arrived lacks every session read since: those the archive keeps are
// shown from there, as the dump would show them; the others still say that the dump lacks them.
TEST_F(DumpBrowsingTest, ASessionTheDumpLacksIsShownFromTheArchivesCopy) {
    auto saved = std::make_unique<LogImage>();
    saved->Store(0, instrument->bytes.data(), LogImage::kImageSize);
    const std::vector<uint8_t> zeros(LogImage::kSectorSize, 0);
    for (int16_t slot : {2, 3}) {
        saved->Store(SessionOffset(slot), zeros.data(), LogImage::kSectorSize);
    }
    ASSERT_EQ(saved->DumpImage((dir + "/index-only.txt").c_str()), 1);
    CopiesOf* copies = nullptr;
    browser->SetCopyFinder([&](LogImage&) {
        auto made =
            std::make_unique<CopiesOf>(instrument->bytes, std::map<int16_t, int64_t>{{3, 57}});
        copies = made.get();
        return made;
    });
    std::string message;
    ASSERT_EQ(browser->OpenDump((dir + "/index-only.txt").c_str(), message), 1) << message;
    ASSERT_NE(copies, nullptr);
    EXPECT_EQ(browser->CopyOf(3), 57);
    EXPECT_EQ(browser->CopyOf(2), -1);
    const struct {
        int node;
        std::vector<int16_t> shown;
        bool fromCopy;
        int puts;
        bool ended;
    } steps[] = {{8, {3}, true, 1, true},   // lacked, kept in the archive
                 {6, {0}, false, 1, true},  // in the dump
                 {8, {3}, true, 1, true},   // its copy is in the image now
                 {5, {3}, true, 1, false}}; // lacked and not kept: what is shown stays
    for (const auto& step : steps) {
        browser->SelectNode(step.node);
        EXPECT_EQ(browser->ShownSlots(), step.shown) << step.node;
        EXPECT_EQ(browser->FromCopy(step.shown[0]), step.fromCopy) << step.node;
        EXPECT_EQ(copies->puts, step.puts) << step.node;
        EXPECT_EQ(view.ended.back(), std::make_pair(UploadRequest::Session, step.ended));
    }
    EXPECT_EQ(browser->Notice(), "The session 08:30:00FC of Thursday 05 Mar 2026 is not in this "
                                 "dump: it was never uploaded into it. Press GO with its "
                                 "instrument connected to read it.");
    // Shown from its copy, the session reads as the whole memory's dump shows it.
    browser->SelectNode(8);
    const std::string fromCopy = report.ReportBody;
    ASSERT_EQ(browser->OpenDump(Path().c_str(), message), 1);
    browser->SelectNode(8);
    EXPECT_EQ(report.ReportBody, fromCopy);
    EXPECT_FALSE(browser->FromCopy(3));
    EXPECT_TRUE(comms.Take().empty());
}

TEST_F(DumpBrowsingTest, UnrecognisedRecordsInADumpStillWarn) {
    instrument->PutSession(60, {'<', 10, 'Q', '1', 0, 0, 0, 0, 0, 0});
    auto saved = std::make_unique<LogImage>();
    saved->Store(0, instrument->bytes.data(), LogImage::kImageSize);
    ASSERT_EQ(saved->DumpImage(Path().c_str()), 1);
    ToIdle();
    std::string message;
    ASSERT_EQ(browser->OpenDump(Path().c_str(), message), 1);
    browser->SelectNode(11);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].rfind("Warning: ", 0), 0u);
    EXPECT_EQ(view.log.back(), "resume");
}

TEST_F(DumpBrowsingTest, GoReturnsToTheInstrument) {
    ToIdle();
    std::string message;
    ASSERT_EQ(browser->OpenDump(Path().c_str(), message), 1);
    comms.Take();
    browser->OnGo();
    EXPECT_FALSE(browser->Offline());
    EXPECT_EQ(view.source, "");
    EXPECT_EQ(reader->UploadState(), 3);
    EXPECT_EQ(comms.Take(), (Calls{"Find Sector to upload"}));
    Pump();
    comms.Take();
    browser->SelectNode(6);
    EXPECT_EQ(reader->UploadState(), 7);
}

TEST_F(DumpBrowsingTest, AMalformedDumpChangesNothing) {
    ToIdle();
    UploadIndex();
    std::ofstream(dir + "/bad.txt") << "00 11 22\n";
    const std::vector<uint8_t> before(image->Bytes(), image->Bytes() + LogImage::kImageSize);
    const int clears = view.clears;
    std::string message;
    EXPECT_EQ(browser->OpenDump((dir + "/bad.txt").c_str(), message), 0);
    EXPECT_NE(message.find("bad.txt"), std::string::npos);
    EXPECT_FALSE(browser->Offline());
    EXPECT_EQ(view.clears, clears);
    EXPECT_EQ(browser->Tree().Count(), 12);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), image->Bytes()));
    EXPECT_EQ(browser->OpenDump((dir + "/absent.txt").c_str(), message), 0);
    EXPECT_EQ(browser->OpenDump(nullptr, message), 0);
}

TEST_F(DumpBrowsingTest, ADumpIsNotOpenedWhileAnUploadIsUnderWay) {
    ToIdle();
    browser->OnGo();
    reader->OnAskDone();
    std::string message;
    EXPECT_EQ(browser->OpenDump(Path().c_str(), message), 0);
    EXPECT_EQ(message, SessionBrowser::kBusyText);
    EXPECT_FALSE(browser->Offline());
}

TEST_F(DumpBrowsingTest, ADumpOpenedDuringStartUpLetsTheStartUpFinish) {
    browser->Start();
    reader->OnAskDone();
    comms.Take();
    std::string message;
    ASSERT_EQ(browser->OpenDump(Path().c_str(), message), 1);
    EXPECT_TRUE(comms.Take().empty());
    browser->SelectNode(6);
    EXPECT_TRUE(comms.Take().empty());
    EXPECT_NE(report.ReportBody.find("Slot zero"), std::string::npos);
    EXPECT_EQ(reader->UploadState(), 0);
    reader->OnSetDone();
    comms.upload = Bytes("V12!AUpload flag!11!129!N!");
    comms.instrumentTests["Upload flag"] = 'A';
    reader->OnUploadDone();
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_TRUE(browser->Offline());
}

} // namespace

// The start-up uploads, one index sector, one session sector, the end of the index upload and the
// rendering that ends a session upload.
#include <fstream>
#include <iterator>

#include "BrowserFixture.h"

namespace {

TEST_F(BrowserTest, StartLoadsTheBuiltInDriverTextAndPolls) {
    browser->Start();
    EXPECT_EQ(comms.Take(), (Calls{"ReadDriver (built-in)", "Find Upload flag", "Ask 0"}));
    EXPECT_EQ(reader->UploadState(), 0);
    EXPECT_FALSE(view.go);
    EXPECT_TRUE(browser->NewReportOnSelect());
    EXPECT_TRUE(view.boxes.all && view.boxes.alarm && view.boxes.cal);
}

TEST_F(BrowserTest, DriverTextWithLetterARequestsNoConfigurationBlock) {
    comms.instrumentTests["Upload flag"] = 'A';
    browser->Start();
    reader->OnAskDone();
    reader->OnSetDone();
    comms.Take();
    comms.upload = Bytes("V12!AUpload flag!11!129!N!ASector to upload!12!129!N!");
    reader->OnUploadDone();
    EXPECT_EQ(comms.Take(), (Calls{"Get 3001",
                                   "ReadDriver V12!AUpload flag!11!129!N!ASector to "
                                   "upload!12!129!N!",
                                   "Find Upload flag", "Sensor 1", "Ask 0"}));
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_TRUE(reader->StartUpComplete());
    for (const std::string& name : report.ModeNames) {
        EXPECT_EQ(name, "");
    }
    EXPECT_TRUE(view.go);
    ASSERT_EQ(view.ended.size(), 1u);
    EXPECT_EQ(view.ended[0].first, UploadRequest::StartUp);
    EXPECT_TRUE(view.ended[0].second);
}

// What the instrument tells about itself is read where its driver text describes it, one read in
// the place of each idle poll, and the polls go on with "Upload flag" current again.
TEST_F(BrowserTest, TheIdentityTestsTheDriverTextDescribesAreReadInThePlaceOfPolls) {
    struct Case {
        std::vector<std::string> tests;
        std::vector<std::string> answers; // one per read, in order
        Calls calls;                      // after the driver text's own
        std::string serial, firmware;
    };
    const Case cases[] = {
        {{}, {}, {"Ask 0"}, "", ""},
        {{"Serial number"},
         {"VAN-3   "},
         {"Find Serial number", "Ask 0", "Find Upload flag", "Ask 0"},
         "VAN-3",
         ""},
        {{"Serial number", "Firmware version", "Software version"},
         {"VAN-3", "4.12.0003"},
         {"Find Serial number", "Ask 0", "Find Firmware version", "Ask 0", "Find Upload flag",
          "Ask 0"},
         "VAN-3",
         "4.12.0003"},
        {{"Software version"},
         {"2.0 "},
         {"Find Software version", "Ask 0", "Find Upload flag", "Ask 0"},
         "",
         "2.0"},
        // Control bytes and blanks within, as the archive keeps the text: one serial number
        // for the folders, the exports and the archive alike.
        {{"Serial number", "Firmware version"},
         {"  VAN\t 3\x01", " 4.12 \xA0"},
         {"Find Serial number", "Ask 0", "Find Firmware version", "Ask 0", "Find Upload flag",
          "Ask 0"},
         "VAN 3",
         "4.12"},
        // An empty answer leaves the fact to the next test that tells it.
        {{"Firmware version", "Software version"},
         {"", "2.1"},
         {"Find Firmware version", "Ask 0", "Find Software version", "Ask 0", "Find Upload flag",
          "Ask 0"},
         "",
         "2.1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.calls.size());
        comms.instrumentTests = {{"Upload flag", 'A'}};
        for (const std::string& test : c.tests) {
            comms.instrumentTests[test] = 'A';
        }
        browser->Start();
        reader->OnAskDone();
        reader->OnSetDone();
        comms.upload = Bytes("V12!AUpload flag!11!129!N!");
        reader->OnUploadDone();
        for (const std::string& answer : c.answers) {
            EXPECT_FALSE(reader->StartUpComplete());
            comms.newString = answer;
            reader->OnAskDone();
        }
        Calls calls = comms.Take();
        calls.erase(calls.begin(), calls.begin() + 8); // Ask, Set, Get, ReadDriver, Find, Sensor
        EXPECT_EQ(calls, c.calls);
        EXPECT_EQ(reader->UploadState(), 2);
        EXPECT_TRUE(reader->StartUpComplete());
        EXPECT_EQ(reader->Facts().serialNumber, c.serial);
        EXPECT_EQ(reader->Facts().firmwareVersion, c.firmware);
    }
}

// An instrument that does not answer the read still comes on line, without a box.
TEST_F(BrowserTest, ASilentIdentityReadEndsTheStartUpWithoutIt) {
    comms.instrumentTests = {{"Upload flag", 'A'}, {"Serial number", 'A'}};
    browser->Start();
    reader->OnAskDone();
    reader->OnSetDone();
    comms.upload = Bytes("V12!AUpload flag!11!129!N!");
    reader->OnUploadDone();
    for (int i = 0; i < UploadMachine::kAttemptsPerStep; ++i) {
        reader->OnTimeout();
    }
    EXPECT_EQ(comms.Take().back(), "Ask 0");
    EXPECT_EQ(comms.current, "Upload flag");
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_TRUE(reader->StartUpComplete());
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(reader->Facts().serialNumber, "");
}

TEST_F(BrowserTest, OtherLetterFetchesTheConfigurationBlockWithItsModeNames) {
    browser->Start();
    reader->OnAskDone();
    reader->OnSetDone();
    comms.Take();
    comms.upload = Bytes("V12!BUpload flag!11!129!N!");
    reader->OnUploadDone();
    EXPECT_EQ(comms.Take(), (Calls{"Get 3001", "ReadDriver V12!BUpload flag!11!129!N!",
                                   "Find Upload flag", "Sensor 1", "Set 20"}));
    EXPECT_EQ(reader->UploadState(), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reader->InfoBuffer())),
              "V12!BUpload flag!11!129!N!");
    EXPECT_EQ(reader->InfoLength(), 26);

    comms.upload.assign(600, 0);
    comms.upload[0] = 8;
    const char* names[] = {"Survey", "[x]Leak", "Conf]ned", "Bar[hole"};
    for (int k = 0; k < 4; ++k) {
        std::memcpy(&comms.upload[308 + 70 * k], names[k], std::strlen(names[k]));
    }
    reader->OnSetDone();
    reader->OnUploadDone();
    EXPECT_EQ(comms.Take(), (Calls{"Get 3001", "Sensor 1", "Ask 0"}));
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_EQ(report.ModeNames[0], "Survey");
    EXPECT_EQ(report.ModeNames[1], "\xE9x\xEALeak");
    EXPECT_EQ(report.ModeNames[2], "Conf\xEAned");
    EXPECT_EQ(report.ModeNames[3], "Bar\xE9hole");
}

TEST_F(BrowserTest, ConfigurationBlockWithoutEightLeavesTheModeNames) {
    report.ModeNames[0] = "Earlier";
    ToIdle(7);
    EXPECT_EQ(report.ModeNames[0], "Earlier");
    EXPECT_EQ(report.ModeNames[1], "");
}

TEST_F(BrowserTest, InfoBufferIsNeverOverrun) {
    browser->Start();
    reader->OnAskDone();
    reader->OnSetDone();
    comms.upload.assign(5000, 'x');
    comms.upload[0] = 'V';
    reader->OnUploadDone();
    // Cut to the 3,000 characters the buffer holds, with the zero after them.
    EXPECT_EQ(reader->InfoLength(), 3000);
    EXPECT_EQ(reader->InfoBuffer()[3000], 0);
}

TEST_F(BrowserTest, OneIndexSectorCostsThreeSetsAndOneTransfer) {
    ToIdle();
    browser->OnGo();
    EXPECT_FALSE(view.go);
    EXPECT_FALSE(view.tree);
    EXPECT_EQ(view.progressLow, 0);
    EXPECT_EQ(view.progressHigh, 10);
    EXPECT_EQ(reader->UploadState(), 3);
    // Nothing is sent by the button: the answer to the running poll starts the transfer.
    EXPECT_EQ(comms.Take(), (Calls{"Find Sector to upload"}));
    reader->OnAskDone();
    reader->OnSetDone();
    reader->OnSetDone();
    EXPECT_EQ(comms.Take(),
              (Calls{"Set 0", "Find Index to upload", "Set 0", "Find Upload flag", "Set 3"}));
    EXPECT_EQ(reader->UploadState(), 6);

    instrument->PutEntry(0, InstrumentMemory::Name(InstrumentStamp(2026, 3, 5, 10, 0, 0)));
    image->Store(SectorOffset(1), reinterpret_cast<const uint8_t*>("\x5A"), 1);
    comms.upload = instrument->Area(SectorOffset(0), LogImage::kSectorSize);
    reader->OnUploadDone();
    // Room for the sector and the zero the engine writes after it; the next sector starts the
    // same round again.
    EXPECT_EQ(comms.Take(), (Calls{"Get 4097", "Find Sector to upload", "Set 1"}));
    EXPECT_EQ(reader->UploadState(), 4);
    EXPECT_EQ(reader->IndexSectorCount(), 1);
    EXPECT_EQ(view.progressPos, 1);
    EXPECT_TRUE(
        std::equal(image->Bytes(), image->Bytes() + SectorOffset(1), instrument->bytes.begin()));
    // The zero stays out of the image: the next sector's first byte keeps its value.
    EXPECT_EQ(image->Bytes()[SectorOffset(1)], 0x5A);
}

TEST_F(BrowserTest, AnIndexSectorLongerThanItsRoomIsCut) {
    ToIdle();
    browser->OnGo();
    reader->OnAskDone();
    reader->OnSetDone();
    reader->OnSetDone();
    image->Store(SectorOffset(1), reinterpret_cast<const uint8_t*>("keep"), 4);
    comms.upload.assign(6000, 0xAB);
    reader->OnUploadDone();
    EXPECT_EQ(image->Bytes()[SectorOffset(1) - 1], 0xAB);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image->Bytes() + SectorOffset(1)), 4),
              "keep");
}

TEST_F(BrowserTest, TheTenthIndexSectorDumpsTheImageAndBuildsTheTree) {
    instrument->PutEntry(3, InstrumentMemory::Name(InstrumentStamp(2026, 3, 5, 10, 0, 0)));
    instrument->PutEntry(120, InstrumentMemory::Name(InstrumentStamp(2026, 3, 5, 9, 0, 0), "A"));
    ToIdle();
    browser->OnGo();
    for (int sector = 0; sector < 10; ++sector) {
        reader->OnAskDone(); // only the first, in state 3, does anything
        reader->OnSetDone();
        reader->OnSetDone();
        if (sector == 9) {
            comms.Take();
        }
        comms.upload = instrument->Area(SectorOffset(sector), LogImage::kSectorSize);
        reader->OnUploadDone();
    }
    EXPECT_EQ(comms.Take(), (Calls{"Get 4097", "Ask 0"}));
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_TRUE(view.go);
    EXPECT_TRUE(view.tree);
    EXPECT_EQ(view.progressPos, 0);
    ASSERT_EQ(view.items.size(), 4u);
    EXPECT_EQ(view.items[2].text, "09:00:00     Alm ");
    EXPECT_EQ(view.items[2].itemData, 120u);
    EXPECT_EQ(view.items[3].itemData, 3u);

    std::ifstream dump(dir + "/FlashData.txt", std::ios::binary);
    ASSERT_TRUE(dump.good());
    std::string first;
    std::getline(dump, first);
    // Slot 0 is empty: its entry is erased flash.
    EXPECT_EQ(first, "FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF \r");
    ASSERT_FALSE(view.ended.empty());
    EXPECT_EQ(view.ended.back(), std::make_pair(UploadRequest::Index, true));
}

TEST_F(BrowserTest, ADumpThatCannotBeWrittenIsToldAndTheTreeStillBuilt) {
    instrument->PutEntry(0, InstrumentMemory::Name(InstrumentStamp(2026, 3, 5, 10, 0, 0)));
    reader->SetDumpPath(dir + "/missing/FlashData.txt");
    ToIdle();
    UploadIndex();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0],
              "Tavon Datalogger: Could not write " + dir + "/missing/FlashData.txt.");
    EXPECT_EQ(view.items.size(), 3u);
    EXPECT_EQ(view.ended.back(), std::make_pair(UploadRequest::Index, false));
}

TEST_F(BrowserTest, OneSessionSectorCostsFourRoundsWithTheirOffsets) {
    ToIdle();
    image->Store(SessionOffset(8), reinterpret_cast<const uint8_t*>("<next"), 5);
    browser->StartSessionUpload(7);
    EXPECT_EQ(comms.Take(), (Calls{"Find Sector to upload"}));
    EXPECT_EQ(reader->UploadState(), 7);
    EXPECT_EQ(reader->CurrentSlot(), 7);
    EXPECT_EQ(view.progressHigh, 4);
    reader->OnAskDone();
    Calls expected = {"Set 17"};
    for (int piece = 0; piece < 4; ++piece) {
        reader->OnSetDone();
        reader->OnSetDone();
        comms.upload.assign(kPiece, static_cast<uint8_t>(0x30 + piece));
        reader->OnUploadDone();
        expected.push_back("Find Index to upload");
        expected.push_back("Set " + std::to_string(piece * kPiece));
        expected.push_back("Find Upload flag");
        expected.push_back("Set 3");
        expected.push_back("Get 1025");
        if (piece < 3) {
            expected.push_back("Find Sector to upload");
            expected.push_back("Set 17");
            EXPECT_EQ(view.progressPos, piece + 1);
        }
    }
    expected.push_back("Ask 0");
    EXPECT_EQ(comms.Take(), expected);
    EXPECT_EQ(reader->UploadState(), 2);
    for (int piece = 0; piece < 4; ++piece) {
        EXPECT_EQ(image->Bytes()[SessionOffset(7) + piece * kPiece], 0x30 + piece);
        EXPECT_EQ(image->Bytes()[SessionOffset(7) + piece * kPiece + kPiece - 1], 0x30 + piece);
    }
    // Slot 8's sector, just after, is untouched by the zero that ends the last piece.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image->Bytes() + SessionOffset(8)), 5),
              "<next");
    EXPECT_TRUE(view.go);
    EXPECT_TRUE(view.tree);
    EXPECT_EQ(view.progressPos, 0);
}

TEST_F(BrowserTest, ASessionPieceLongerThanItsRoomIsCut) {
    ToIdle();
    image->Store(SessionOffset(1) + kPiece, reinterpret_cast<const uint8_t*>("keep"), 4);
    browser->StartSessionUpload(1);
    reader->OnAskDone();
    reader->OnSetDone();
    reader->OnSetDone();
    comms.upload.assign(3000, 0x41);
    reader->OnUploadDone();
    EXPECT_EQ(image->Bytes()[SessionOffset(1) + kPiece - 1], 0x41);
    EXPECT_EQ(
        std::string(reinterpret_cast<const char*>(image->Bytes() + SessionOffset(1) + kPiece), 4),
        "keep");
}

TEST_F(BrowserTest, AShortUploadStoresOnlyTheBytesThatCame) {
    ToIdle();
    image->Store(SessionOffset(2) + 100, reinterpret_cast<const uint8_t*>("keep"), 4);
    browser->StartSessionUpload(2);
    reader->OnAskDone();
    reader->OnSetDone();
    reader->OnSetDone();
    comms.upload.assign(100, 0x42);
    reader->OnUploadDone();
    EXPECT_EQ(image->Bytes()[SessionOffset(2) + 99], 0x42);
    EXPECT_EQ(
        std::string(reinterpret_cast<const char*>(image->Bytes() + SessionOffset(2) + 100), 4),
        "keep");
}

TEST_F(BrowserTest, ASessionUploadedBeforeGoKeepsItsFirstByteThroughTheIndex) {
    instrument->PutEntry(0, InstrumentMemory::Name(InstrumentStamp(2026, 3, 5, 10, 0, 0)));
    instrument->PutTextSession(0, "Before the index");
    ToIdle();
    browser->StartSessionUpload(0);
    Pump();
    ASSERT_NE(view.reportText.find("Before the index"), std::string::npos);

    // The tenth index sector ends just before slot 0's sector. The new tree clears the report,
    // and the session, chosen again, reads whole from the image.
    UploadIndex();
    EXPECT_TRUE(std::equal(image->Bytes() + SessionOffset(0), image->Bytes() + SessionOffset(1),
                           instrument->bytes.begin() + SessionOffset(0)));
    EXPECT_EQ(view.reportText.find("Before the index"), std::string::npos);
    ReportState again;
    RenderSession(again, *image, 0);
    EXPECT_NE(again.ReportText.find("Before the index"), std::string::npos);

    // The dump holds the session as it arrived, sixteen bytes to a line.
    std::ifstream dump(dir + "/FlashData.txt", std::ios::binary);
    std::string line;
    for (size_t i = 0; i <= SessionOffset(0) / 16 && std::getline(dump, line); ++i) {
    }
    EXPECT_EQ(line.substr(0, 6), "3C 14 ");
}

TEST_F(BrowserTest, UploadingASlotLeavesTheNextSlotAlreadyUploadedWhole) {
    instrument->PutTextSession(5, "Slot five");
    instrument->PutTextSession(4, "Slot four");
    ToIdle();
    browser->StartSessionUpload(5);
    Pump();
    browser->StartSessionUpload(4);
    Pump();
    EXPECT_TRUE(std::equal(image->Bytes() + SessionOffset(4), image->Bytes() + SessionOffset(6),
                           instrument->bytes.begin() + SessionOffset(4)));
    EXPECT_NE(SessionText(5).find("Slot five"), std::string::npos);
}

TEST_F(BrowserTest, TheUploadedSessionIsRenderedAsANewReport) {
    instrument->PutTextSession(4, "Leak at kerb");
    ToIdle();
    report.ReportBody = "old report";
    browser->StartSessionUpload(4);
    // StartSessionUpload alone does not begin a new report; choosing in the tree does.
    report.ReportBody.clear();
    report.HeadingDay = "Thursday 05 ";
    report.HeadingMonth = "Mar 2026";
    Pump();
    EXPECT_NE(report.SessionReport.find("Leak at kerb"), std::string::npos);
    EXPECT_EQ(view.reportText, report.ReportText);
    EXPECT_EQ(report.ReportText.substr(report.ReportText.size() - 2), "}}");
    EXPECT_NE(report.ReportText.find("Thursday 05 Mar 2026 \\par "), std::string::npos);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.ended.back(), std::make_pair(UploadRequest::Session, true));
}

TEST_F(BrowserTest, UnrecognisedRecordsBringTheWarningWithTheTickHeld) {
    instrument->PutSession(4, {'<', 10, 'Q', '1', 0, 0, 0, 0, 0, 0});
    ToIdle();
    report.UnrecognisedLogFlag = 1; // a leftover must not count
    browser->StartSessionUpload(4);
    Pump();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0],
              "Warning: This session contains some logs which are not recognised by this version "
              "of the Orv datalogger. You should check whether a new version of the datalogger "
              "is available which will process these logs.");
    EXPECT_EQ(view.log, (Calls{"suspend", "box while suspended", "resume"}));
    EXPECT_EQ(view.suspended, 0);

    // A rendering for a filter change shows no warning.
    browser->RenderAgain();
    EXPECT_EQ(view.messages.size(), 1u);
}

TEST_F(BrowserTest, AWellFormedSessionClearsAnEarlierUnrecognisedFlag) {
    instrument->PutTextSession(4, "Fine");
    ToIdle();
    report.UnrecognisedLogFlag = 1;
    browser->StartSessionUpload(4);
    Pump();
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(report.UnrecognisedLogFlag, 0);
}

TEST_F(BrowserTest, RenderAgainShowsTheRenderedSessionAgainAndSendsNothing) {
    instrument->PutTextSession(2, "Again");
    ToIdle();
    browser->StartSessionUpload(2);
    Pump();
    const int updates = view.reportUpdates;
    report.ReportBody.clear();
    browser->RenderAgain();
    EXPECT_EQ(view.reportUpdates, updates + 1);
    EXPECT_NE(view.reportText.find("Again"), std::string::npos);
    EXPECT_TRUE(comms.Take().size() > 0); // only the uploads before; RenderAgain sends nothing
    browser->RenderAgain();
    EXPECT_TRUE(comms.Take().empty());
}

TEST_F(BrowserTest, GoPressedAfterTheDriverTextWaitsForTheConfigurationBlock) {
    browser->Start();
    reader->OnAskDone();
    reader->OnSetDone();
    comms.upload = Bytes("V12!BUpload flag!11!129!N!");
    reader->OnUploadDone();
    ASSERT_EQ(reader->UploadState(), 1);
    EXPECT_TRUE(view.go); // enabled by the end of the driver text
    browser->OnGo();
    EXPECT_EQ(reader->UploadState(), 1);
    EXPECT_FALSE(view.go);
    reader->OnSetDone();
    comms.Take();
    comms.upload.assign(600, 0);
    reader->OnUploadDone();
    // The block's arrival starts the remembered index upload; its poll answer sends the first Set.
    EXPECT_EQ(comms.Take(), (Calls{"Get 3001", "Sensor 1", "Find Sector to upload", "Ask 0"}));
    EXPECT_EQ(reader->UploadState(), 3);
    EXPECT_FALSE(view.go);
    EXPECT_FALSE(view.tree);
    reader->OnAskDone();
    EXPECT_EQ(comms.Take(), (Calls{"Set 0"}));
    Pump();
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_TRUE(view.go);
}

TEST_F(BrowserTest, GoPressedDuringTheDriverTextIsCarriedOutAfterIt) {
    comms.instrumentTests["Upload flag"] = 'A';
    browser->Start();
    browser->OnGo();
    EXPECT_EQ(reader->UploadState(), 0);
    reader->OnAskDone();
    reader->OnSetDone();
    comms.upload = Bytes("V12!AUpload flag!11!129!N!");
    reader->OnUploadDone();
    EXPECT_EQ(reader->UploadState(), 3);
    Pump();
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_EQ(view.clears, 1);
}

TEST_F(BrowserTest, ASessionChosenDuringAnIndexUploadFollowsIt) {
    instrument->PutTextSession(9, "Later");
    ToIdle();
    browser->OnGo();
    reader->OnAskDone();
    browser->StartSessionUpload(9);
    EXPECT_EQ(reader->UploadState(), 4);
    Pump();
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_EQ(reader->CurrentSlot(), 9);
    EXPECT_NE(view.reportText.find("Later"), std::string::npos);
}

TEST_F(BrowserTest, ARequestForATestTheDriverTextLacksIsAbandoned) {
    comms.instrumentTests.erase("Index to upload");
    ToIdle();
    browser->OnGo();
    reader->OnAskDone();
    comms.Take();
    reader->OnSetDone();
    EXPECT_EQ(comms.Take(), (Calls{"Find Index to upload", "Find Upload flag", "Ask 0"}));
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_TRUE(view.go);
    EXPECT_TRUE(view.tree);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.ended.back(), std::make_pair(UploadRequest::Index, false));
}

TEST_F(BrowserTest, ADriverTextWithoutTheUploadFlagFallsBackToTheBuiltInOne) {
    comms.instrumentTests.erase("Upload flag");
    browser->Start();
    reader->OnAskDone();
    reader->OnSetDone();
    comms.upload = Bytes("V12!ASomething else!11!129!N!");
    comms.Take();
    reader->OnUploadDone();
    EXPECT_EQ(comms.Take(),
              (Calls{"Get 3001", "ReadDriver V12!ASomething else!11!129!N!", "Find Upload flag",
                     "ReadDriver (built-in)", "Find Upload flag", "Sensor 1", "Ask 0"}));
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_FALSE(reader->StartUpComplete());
}

} // namespace

namespace {

TEST_F(BrowserTest, GoDuringAnIndexUploadDoesNotStartAnother) {
    ToIdle();
    browser->OnGo();
    reader->OnAskDone();
    reader->OnSetDone();
    reader->OnSetDone();
    comms.upload = instrument->Area(SectorOffset(0), LogImage::kSectorSize);
    reader->OnUploadDone();
    EXPECT_TRUE(view.go); // enabled at the end of every transfer
    browser->OnGo();
    EXPECT_FALSE(view.go);
    EXPECT_EQ(reader->UploadState(), 4);
    Pump();
    EXPECT_TRUE(reader->Idle());
    EXPECT_EQ(view.clears, 1);
}

TEST_F(BrowserTest, GoDuringASessionUploadFollowsIt) {
    instrument->PutTextSession(1, "First");
    ToIdle();
    browser->StartSessionUpload(1);
    reader->OnAskDone();
    browser->OnGo();
    EXPECT_FALSE(reader->Idle());
    Pump();
    EXPECT_TRUE(reader->Idle());
    EXPECT_EQ(view.clears, 1);
    // The session was shown before the index it waited for; the new tree then cleared it.
    ASSERT_GE(view.reports.size(), 2u);
    EXPECT_NE(view.reports[view.reports.size() - 2].find("First"), std::string::npos);
    EXPECT_EQ(view.reportText.find("First"), std::string::npos);
}

TEST_F(BrowserTest, ASessionChosenBeforeTheDriverTextArrivedWaitsForIt) {
    comms.instrumentTests["Upload flag"] = 'A';
    instrument->PutTextSession(6, "Waited");
    browser->Start();
    for (int i = 0; i < 3; ++i) {
        reader->OnTimeout();
    }
    ASSERT_FALSE(reader->StartUpComplete());
    browser->StartSessionUpload(6);
    EXPECT_EQ(reader->UploadState(), 0);
    reader->OnAskDone();
    reader->OnSetDone();
    comms.upload = Bytes("V12!AUpload flag!11!129!N!");
    reader->OnUploadDone();
    EXPECT_EQ(reader->UploadState(), 7);
    Pump();
    EXPECT_NE(view.reportText.find("Waited"), std::string::npos);
}

} // namespace

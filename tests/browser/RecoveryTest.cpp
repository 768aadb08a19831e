// Time-outs: the re-ask, the resumption of the lost step, and giving up after three attempts;
// spoiled replies, asked again up to a bound of their own.
#include "BrowserFixture.h"

namespace {

// The start-up's two transfers as a whole instrument sends them: its driver text, then its
// configuration block naming mode 1 "Leak".
const char kDriverText[] = "V12!BUpload flag!11!129!N!";
void AnswerConfigBlock(FakeComms& comms) {
    comms.upload.assign(600, 0);
    comms.upload[0] = 8;
    std::memcpy(&comms.upload[308], "Leak", 5);
}

const std::string kNoAnswer =
    "Tavon Datalogger: The instrument stopped answering. The request can be tried again.";

TEST_F(BrowserTest, ATimeOutWhileIdleLeadsToOneMorePoll) {
    ToIdle();
    reader->OnTimeout();
    EXPECT_EQ(comms.Take(), (Calls{"Ask 0"}));
    reader->OnAskDone();
    EXPECT_EQ(comms.Take(), (Calls{"Ask 0"}));
    for (int i = 0; i < 10; ++i) {
        reader->OnTimeout();
    }
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_TRUE(view.messages.empty());
}

struct LostStep {
    int state;        // where the time-out strikes
    Calls resend;     // what the answer to the re-ask sends
    int resumedState; // the state it leaves the machine in
};

class ResumeTest : public BrowserTest, public ::testing::WithParamInterface<LostStep> {};

TEST_P(ResumeTest, TheAnswerToTheReAskResendsTheLostStep) {
    const LostStep& step = GetParam();
    ToIdle();
    if (step.state <= 6) {
        browser->OnGo();
        reader->OnAskDone();
        reader->OnSetDone(); // sector 0 acknowledged: now on "Index to upload"
        reader->OnSetDone();
        comms.upload = instrument->Area(SectorOffset(0), LogImage::kSectorSize);
        reader->OnUploadDone(); // sector 0 stored, sector 1 requested
        for (int s = 4; s < step.state; ++s) {
            reader->OnSetDone();
        }
    } else {
        browser->StartSessionUpload(2);
        reader->OnAskDone();
        reader->OnSetDone();
        reader->OnSetDone();
        comms.upload.assign(kPiece, 1);
        reader->OnUploadDone(); // piece 0 stored, piece 1 requested
        for (int s = 8; s < step.state; ++s) {
            reader->OnSetDone();
        }
    }
    ASSERT_EQ(reader->UploadState(), step.state);
    comms.Take();
    reader->OnTimeout();
    EXPECT_EQ(comms.Take(), (Calls{"Ask 0"}));
    EXPECT_EQ(reader->UploadState(), step.state);
    reader->OnAskDone();
    EXPECT_EQ(comms.Take(), step.resend);
    EXPECT_EQ(reader->UploadState(), step.resumedState);
    // A second answer without a time-out does nothing more.
    reader->OnAskDone();
    EXPECT_TRUE(comms.Take().empty());
    Pump();
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_TRUE(view.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(States, ResumeTest,
                         ::testing::Values(LostStep{4, {"Find Sector to upload", "Set 1"}, 4},
                                           LostStep{5, {"Find Index to upload", "Set 0"}, 5},
                                           LostStep{6, {"Find Sector to upload", "Set 1"}, 4},
                                           LostStep{8, {"Find Sector to upload", "Set 12"}, 8},
                                           LostStep{9, {"Find Index to upload", "Set 1024"}, 9},
                                           LostStep{10, {"Find Sector to upload", "Set 12"}, 8}));

TEST_F(BrowserTest, ASpoiledFrameInATransferHasItsPieceAskedForAgain) {
    ToIdle();
    browser->StartSessionUpload(2);
    reader->OnAskDone();
    reader->OnSetDone();
    reader->OnSetDone();
    ASSERT_EQ(reader->UploadState(), 10);
    comms.Take();
    reader->OnChecksumError(); // a bulk frame dropped: the piece will come short
    comms.upload.assign(1000, 7);
    reader->OnUploadDone();
    EXPECT_EQ(reader->SessionPieceCount(), 0) << "nothing stored";
    EXPECT_EQ(image->Bytes()[SessionOffset(2)], 0);
    EXPECT_EQ(comms.Take(), (Calls{"Ask 0"}));
    reader->OnAskDone();
    EXPECT_EQ(comms.Take(), (Calls{"Find Sector to upload", "Set 12"}));
    Pump();
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.ended.back(), std::make_pair(UploadRequest::Session, true));
}

const std::string kSpoiled = std::string("Tavon Datalogger: ") + UploadMachine::kSpoiledText;

// The first index sector (state 6, its data under way) or the first piece of slot 2 (state 10).
void ToTransfer(SessionBrowser& browser, SessionReader& reader, int state) {
    if (state == 6) {
        browser.OnGo();
    } else {
        browser.StartSessionUpload(2);
    }
    reader.OnAskDone();
    reader.OnSetDone();
    reader.OnSetDone();
}

// How a spoiled transfer ends: its closing answer arrives, or that answer was spoiled too and the
// run ends in a time-out. Either way the line answered, so it is asked again from its sector
// number, and only the silent attempts count against the designed three.
struct SpoiledRun {
    int state;
    bool closingSpoiled;
};

class SpoiledRunTest : public BrowserTest, public ::testing::WithParamInterface<SpoiledRun> {
protected:
    void Spoil() {
        reader->OnChecksumError();
        if (GetParam().closingSpoiled) {
            reader->OnTimeout();
        } else {
            comms.upload.assign(100, 7);
            reader->OnUploadDone();
        }
    }
    void AskAgain() {
        reader->OnAskDone();
        reader->OnSetDone();
        reader->OnSetDone();
        ASSERT_EQ(reader->UploadState(), GetParam().state);
    }
};

TEST_P(SpoiledRunTest, IsAskedAgainUntilItComesWhole) {
    ToIdle();
    ToTransfer(*browser, *reader, GetParam().state);
    for (int i = 0; i < UploadMachine::kSpoiledAttemptsPerStep - 1; ++i) {
        Spoil();
        AskAgain();
        // Silence short of the step's three attempts changes nothing.
        if (i == 5) {
            reader->OnTimeout();
            AskAgain();
            reader->OnTimeout();
            AskAgain();
        }
    }
    Pump();
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(view.ended.back().second);
    EXPECT_EQ(browser->LastFailure(), RequestFailure::None);
}

TEST_P(SpoiledRunTest, IsGivenUpWhenItStaysSpoiledPastItsBound) {
    ToIdle();
    ToTransfer(*browser, *reader, GetParam().state);
    for (int i = 0; i < UploadMachine::kSpoiledAttemptsPerStep - 1; ++i) {
        Spoil();
        AskAgain();
    }
    Spoil();
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_EQ(view.messages, (Calls{kSpoiled}));
    EXPECT_FALSE(view.ended.back().second);
    EXPECT_EQ(browser->LastFailure(), RequestFailure::SpoiledReplies);
}

TEST_P(SpoiledRunTest, SilenceAfterSpoiledRunsKeepsItsThreeAttempts) {
    ToIdle();
    ToTransfer(*browser, *reader, GetParam().state);
    for (int i = 0; i < 5; ++i) {
        Spoil();
        AskAgain();
    }
    for (int i = 0; i < UploadMachine::kAttemptsPerStep; ++i) {
        reader->OnTimeout();
        if (i + 1 < UploadMachine::kAttemptsPerStep) {
            AskAgain();
        }
    }
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_EQ(view.messages, (Calls{kNoAnswer}));
    EXPECT_EQ(browser->LastFailure(), RequestFailure::NoAnswer);
}

INSTANTIATE_TEST_SUITE_P(Transfers, SpoiledRunTest,
                         ::testing::Values(SpoiledRun{6, false}, SpoiledRun{6, true},
                                           SpoiledRun{10, false}, SpoiledRun{10, true}));

// The start-up's bulk transfers: the driver text and the configuration block.
TEST_F(BrowserTest, SpoiledStartUpTransfersAreAskedAgainUntilTheyComeWhole) {
    browser->Start();
    reader->OnAskDone();
    for (int i = 0; i < UploadMachine::kSpoiledAttemptsPerStep - 1; ++i) {
        reader->OnSetDone();
        reader->OnChecksumError();
        reader->OnUploadDone();
        ASSERT_EQ(reader->UploadState(), 0);
        reader->OnAskDone();
    }
    reader->OnSetDone();
    comms.upload = Bytes(kDriverText);
    reader->OnUploadDone();
    ASSERT_EQ(reader->UploadState(), 1);
    for (int i = 0; i < UploadMachine::kSpoiledAttemptsPerStep - 1; ++i) {
        reader->OnSetDone();
        reader->OnChecksumError();
        reader->OnUploadDone();
        reader->OnAskDone();
        ASSERT_EQ(reader->UploadState(), 1);
    }
    reader->OnSetDone();
    AnswerConfigBlock(comms);
    reader->OnUploadDone();
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_TRUE(reader->StartUpComplete());
    EXPECT_EQ(report.ModeNames[0], "Leak");
    EXPECT_TRUE(view.statuses.empty());
    EXPECT_EQ(view.ended.back(), std::make_pair(UploadRequest::StartUp, true));
}

// A spoiled answer to anything but a bulk transfer is left to its time-out, and re-asked as after
// any; the line answered, so that counts with the spoiled transfers, not against the three silent
// attempts.
TEST_F(BrowserTest, SpoiledAnswersAreNotSilence) {
    struct Case {
        int answers; // spoiled answers in a row, then sound ones
        bool givenUp;
    };
    for (const Case c : {Case{UploadMachine::kSpoiledAttemptsPerStep - 2, false},
                         Case{UploadMachine::kSpoiledAttemptsPerStep - 1, true}}) {
        comms = FakeComms();
        view = FakeView();
        SetUp();
        ToIdle();
        ToTransfer(*browser, *reader, 6);
        reader->OnChecksumError();
        reader->OnUploadDone(); // the spoiled sector: asked again
        for (int i = 0; i < c.answers && reader->UploadState() == 6; ++i) {
            reader->OnChecksumError(); // the answer to the re-ask
            reader->OnTimeout();
        }
        Pump();
        EXPECT_EQ(reader->UploadState(), 2);
        EXPECT_EQ(view.messages, c.givenUp ? Calls{kSpoiled} : Calls{}) << c.answers;
        EXPECT_EQ(reader->IndexSectorCount(), c.givenUp ? 0 : 10);
    }
}

TEST_F(BrowserTest, ASpoiledFrameOutsideATransferIsLeftToTheTimeOut) {
    ToIdle();
    reader->OnChecksumError(); // the idle poll's answer
    EXPECT_TRUE(comms.Take().empty());
    reader->OnTimeout();
    EXPECT_EQ(comms.Take(), (Calls{"Ask 0"}));
    browser->OnGo();
    Pump();
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_EQ(view.ended.back(), std::make_pair(UploadRequest::Index, true));
}

TEST_F(BrowserTest, TheConfigurationBlockIsAskedForAgainAfterATimeOut) {
    browser->Start();
    reader->OnAskDone();
    reader->OnSetDone();
    comms.upload = Bytes(kDriverText);
    reader->OnUploadDone();
    comms.Take();
    reader->OnTimeout();
    reader->OnAskDone();
    EXPECT_EQ(comms.Take(), (Calls{"Ask 0", "Find Upload flag", "Set 20"}));
    EXPECT_EQ(reader->UploadState(), 1);
}

TEST_F(BrowserTest, ThePollOfARequestCarriesOnAfterATimeOut) {
    ToIdle();
    browser->OnGo();
    comms.Take();
    reader->OnTimeout();
    reader->OnAskDone();
    EXPECT_EQ(comms.Take(), (Calls{"Ask 0", "Set 0"}));
    EXPECT_EQ(reader->UploadState(), 4);
}

TEST_F(BrowserTest, ThreeTimeOutsAtOneStepAbandonTheIndexUpload) {
    ToIdle();
    browser->OnGo();
    reader->OnAskDone();
    reader->OnSetDone();
    comms.Take();
    reader->OnTimeout();
    reader->OnAskDone();
    reader->OnTimeout();
    reader->OnAskDone();
    EXPECT_TRUE(view.messages.empty());
    EXPECT_FALSE(view.go);
    comms.Take();
    reader->OnTimeout();
    EXPECT_EQ(comms.Take(), (Calls{"Find Upload flag", "Ask 0"}));
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_TRUE(view.go);
    EXPECT_TRUE(view.tree);
    EXPECT_EQ(view.progressPos, 0);
    EXPECT_EQ(view.messages, (Calls{kNoAnswer}));
    EXPECT_EQ(view.log, (Calls{"suspend", "box while suspended", "resume"}));
    EXPECT_EQ(view.ended.back(), std::make_pair(UploadRequest::Index, false));
    // Polling goes on, and GO can be tried again.
    reader->OnAskDone();
    EXPECT_EQ(comms.Take(), (Calls{"Ask 0"}));
    browser->OnGo();
    EXPECT_EQ(reader->UploadState(), 3);
    Pump();
    EXPECT_EQ(reader->UploadState(), 2);
}

TEST_F(BrowserTest, ThreeTimeOutsAbandonASessionUploadAndEndAFullDay) {
    ToIdle();
    browser->OnFullDay(true);
    browser->StartSessionUpload(3);
    reader->OnAskDone();
    reader->OnSetDone();
    reader->OnSetDone();
    for (int i = 0; i < 3; ++i) {
        reader->OnTimeout();
        if (i < 2) {
            reader->OnAskDone(); // restarts the piece from its sector number
            reader->OnSetDone();
            reader->OnSetDone();
        }
    }
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_EQ(view.messages, (Calls{kNoAnswer}));
    EXPECT_EQ(view.ended.back(), std::make_pair(UploadRequest::Session, false));
}

TEST_F(BrowserTest, EachSectorHasItsOwnThreeAttempts) {
    ToIdle();
    browser->OnGo();
    reader->OnAskDone();
    for (int sector = 0; sector < 10; ++sector) {
        // Two time-outs in every sector: one lost acknowledgement, one transfer that fell silent.
        reader->OnTimeout();
        reader->OnAskDone();
        reader->OnSetDone();
        reader->OnSetDone();
        reader->OnTimeout();
        reader->OnAskDone();
        EXPECT_EQ(reader->UploadState(), 4);
        reader->OnSetDone();
        reader->OnSetDone();
        comms.upload = instrument->Area(SectorOffset(sector), LogImage::kSectorSize);
        reader->OnUploadDone();
    }
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_EQ(reader->IndexSectorCount(), 10);
}

TEST_F(BrowserTest, AnInstrumentThatAcknowledgesButNeverStreamsIsGivenUp) {
    ToIdle();
    browser->OnGo();
    for (int i = 0; i < 2; ++i) {
        while (reader->UploadState() != 6) {
            reader->UploadState() == 3 ? reader->OnAskDone() : reader->OnSetDone();
        }
        reader->OnTimeout();
        reader->OnAskDone();
    }
    while (reader->UploadState() != 6) {
        reader->OnSetDone();
    }
    reader->OnTimeout();
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_EQ(view.messages, (Calls{kNoAnswer}));
}

TEST_F(BrowserTest, AStartUpThatNeverAnswersKeepsAskingAndTheLateAnswerIsTaken) {
    browser->Start();
    comms.Take();
    for (int i = 0; i < 2 * UploadMachine::kAttemptsPerStep; ++i) {
        reader->OnTimeout();
    }
    EXPECT_EQ(comms.Take(), Calls(6, "Ask 0"));
    EXPECT_EQ(reader->UploadState(), 0);
    EXPECT_FALSE(view.go);
    EXPECT_EQ(view.statuses, Calls(2, UploadMachine::kWaitingText));
    EXPECT_TRUE(view.messages.empty()); // nobody asked for anything yet
    EXPECT_EQ(view.ended.back(), std::make_pair(UploadRequest::StartUp, false));

    // The instrument answers at last: its driver text and mode names are fetched after all.
    reader->OnAskDone();
    EXPECT_EQ(view.statuses.back(), "");
    reader->OnSetDone();
    comms.upload = Bytes(kDriverText);
    reader->OnUploadDone();
    reader->OnSetDone();
    AnswerConfigBlock(comms);
    reader->OnUploadDone();
    EXPECT_EQ(reader->UploadState(), 2);
    EXPECT_TRUE(reader->StartUpComplete());
    EXPECT_EQ(report.ModeNames[0], "Leak");
    EXPECT_EQ(view.ended.back(), std::make_pair(UploadRequest::StartUp, true));
}

TEST_F(BrowserTest, AGoWaitingForASilentStartUpIsToldAndDropped) {
    comms.instrumentTests["Upload flag"] = 'A';
    browser->Start();
    browser->OnGo();
    for (int i = 0; i < 3; ++i) {
        reader->OnTimeout();
    }
    EXPECT_EQ(reader->UploadState(), 0);
    EXPECT_EQ(view.messages, (Calls{kNoAnswer}));
    reader->OnAskDone();
    reader->OnSetDone();
    comms.upload = Bytes("V12!AUpload flag!11!129!N!");
    reader->OnUploadDone();
    EXPECT_TRUE(reader->StartUpComplete());
    EXPECT_EQ(reader->UploadState(), 2); // no index upload follows
}

TEST_F(BrowserTest, AConfigurationBlockThatNeverComesKeepsTheDriverTextAndAWaitingGo) {
    browser->Start();
    reader->OnAskDone();
    reader->OnSetDone();
    comms.upload = Bytes(kDriverText);
    reader->OnUploadDone();
    browser->OnGo();
    comms.Take();
    for (int i = 0; i < 3; ++i) {
        reader->OnTimeout();
        if (i < 2) {
            reader->OnAskDone();
        }
    }
    EXPECT_EQ(comms.Take(),
              (Calls{"Ask 0", "Find Upload flag", "Set 20", "Ask 0", "Find Upload flag", "Set 20",
                     "Find Upload flag", "Sensor 1", "Ask 0", "Find Sector to upload"}));
    EXPECT_TRUE(reader->StartUpComplete());
    EXPECT_EQ(reader->UploadState(), 3);
    EXPECT_TRUE(view.messages.empty());
    Pump();
    EXPECT_EQ(reader->UploadState(), 2);
}

} // namespace

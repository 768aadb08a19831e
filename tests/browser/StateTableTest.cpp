// Every row of the three notification tables, each from a machine brought into the row's state.
#include "BrowserFixture.h"

namespace {

struct Row {
    int state;
    Calls calls;
    int next;
};

class StateTableTest : public BrowserTest, public ::testing::WithParamInterface<Row> {
protected:
    void Reach(int state) {
        if (state == 0) {
            browser->Start();
        } else if (state == 1) {
            browser->Start();
            reader->OnAskDone();
            reader->OnSetDone();
            comms.upload = Bytes("V12!BUpload flag!11!129!N!");
            reader->OnUploadDone();
        } else {
            ToIdle();
            if (state >= 3 && state <= 6) {
                browser->OnGo();
                for (int s = 3; s < state; ++s) {
                    if (s == 3) {
                        reader->OnAskDone();
                    } else {
                        reader->OnSetDone();
                    }
                }
            } else if (state >= 7) {
                browser->StartSessionUpload(5);
                for (int s = 7; s < state; ++s) {
                    if (s == 7) {
                        reader->OnAskDone();
                    } else {
                        reader->OnSetDone();
                    }
                }
            }
        }
        ASSERT_EQ(reader->UploadState(), state);
        comms.Take();
    }
};

class AskDoneTable : public StateTableTest {};
class SetDoneTable : public StateTableTest {};
class UploadDoneWithoutAction : public StateTableTest {};

TEST_P(AskDoneTable, ActsAsTheRowSays) {
    const Row& row = GetParam();
    Reach(row.state);
    reader->OnAskDone();
    EXPECT_EQ(comms.Take(), row.calls);
    EXPECT_EQ(reader->UploadState(), row.next);
}

INSTANTIATE_TEST_SUITE_P(Rows, AskDoneTable,
                         ::testing::Values(Row{0, {"Set 10"}, 0}, Row{1, {}, 1},
                                           Row{2, {"Ask 0"}, 2}, Row{3, {"Set 0"}, 4},
                                           Row{4, {}, 4}, Row{5, {}, 5}, Row{6, {}, 6},
                                           Row{7, {"Set 15"}, 8}, Row{8, {}, 8}, Row{9, {}, 9},
                                           Row{10, {}, 10}));

TEST_P(SetDoneTable, ActsAsTheRowSays) {
    const Row& row = GetParam();
    Reach(row.state);
    reader->OnSetDone();
    EXPECT_EQ(comms.Take(), row.calls);
    EXPECT_EQ(reader->UploadState(), row.next);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SetDoneTable,
    ::testing::Values(Row{0, {}, 0}, Row{1, {}, 1}, Row{2, {}, 2}, Row{3, {}, 3},
                      Row{4, {"Find Index to upload", "Set 0"}, 5},
                      Row{5, {"Find Upload flag", "Set 3"}, 6}, Row{6, {}, 6}, Row{7, {}, 7},
                      Row{8, {"Find Index to upload", "Set 0"}, 9},
                      Row{9, {"Find Upload flag", "Set 3"}, 10}, Row{10, {}, 10}));

// In the states that expect no bulk data the end of one only enables GO.
TEST_P(UploadDoneWithoutAction, OnlyEnablesGo) {
    const Row& row = GetParam();
    Reach(row.state);
    view.go = false;
    const std::vector<uint8_t> before(image->Bytes(), image->Bytes() + LogImage::kImageSize);
    comms.upload = Bytes("stray");
    reader->OnUploadDone();
    EXPECT_EQ(comms.Take(), row.calls);
    EXPECT_EQ(reader->UploadState(), row.next);
    EXPECT_TRUE(view.go);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), image->Bytes()));
}

INSTANTIATE_TEST_SUITE_P(Rows, UploadDoneWithoutAction,
                         ::testing::Values(Row{2, {}, 2}, Row{3, {}, 3}, Row{4, {}, 4},
                                           Row{5, {}, 5}, Row{7, {}, 7}, Row{8, {}, 8},
                                           Row{9, {}, 9}));

} // namespace

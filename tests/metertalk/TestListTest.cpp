#include "metertalk/TestList.h"
#include "metertalk/Comms.h"
#include "testsupport/RecordingPrompt.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using testsupport::RecordingPrompt;

class TestListTest : public ::testing::Test {
protected:
    void SetUp() override {
        CComms().SetUserPrompt(&prompt);
        list.InitTestList();
    }
    void TearDown() override { CComms().SetUserPrompt(nullptr); }
    RecordingPrompt prompt;
    CTestList list;
};

TEST_F(TestListTest, BuiltInDriverKnowsTheUploadFlag) {
    list.ReadDriver(nullptr);
    EXPECT_EQ(list.FindTest("Upload flag"), 'A');
    EXPECT_EQ(list.GetTestNumber(), "11");
    EXPECT_EQ(list.GetTestType(), 1);
    EXPECT_EQ(list.GetNoBytes(), 1);
    EXPECT_EQ(list.GetAlterable(), 1);
    EXPECT_EQ(list.GetTestSensor(), 0);
    EXPECT_EQ(list.GetNumberOfTests(), 1);
    EXPECT_EQ(list.GetLastTest(), 11);
    EXPECT_EQ(list.GetInterfaceVersion(), 10);
    EXPECT_EQ(list.GetTestVersion(), 'A');
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(TestListTest, NamesAreCaseSensitiveAndAMissMarksNoTest) {
    list.ReadDriver(nullptr);
    ASSERT_EQ(list.FindTest("Upload flag"), 'A');
    EXPECT_EQ(list.FindTest("upload flag"), 0);
    EXPECT_EQ(list.GetTestNumber(), "-1");
    // The rest of the current test stays as it was.
    EXPECT_EQ(list.GetTestType(), 1);
    EXPECT_EQ(list.FindTest("Upload fla"), 0);
    EXPECT_EQ(list.FindTest(""), 0);
}

TEST_F(TestListTest, LineBreaksBetweenEntriesAreIgnored) {
    const char* flat = "V11!BSector to upload!12!131!N!CIndex to upload!13!130!N!";
    const char* broken =
        "V11\r\n!BSector to upload!\r\n12!131!N!\nCIndex to up\r\nload!13!130!N!\r\n";
    CTestList other;
    other.InitTestList();
    list.ReadDriver(flat);
    other.ReadDriver(broken);
    ASSERT_EQ(other.GetNumberOfTests(), list.GetNumberOfTests());
    EXPECT_EQ(other.GetInterfaceVersion(), 11);
    for (const char* name : {"Sector to upload", "Index to upload"}) {
        EXPECT_EQ(other.FindTest(name), list.FindTest(name)) << name;
        EXPECT_EQ(other.GetTestNumber(), list.GetTestNumber());
        EXPECT_EQ(other.GetTestType(), list.GetTestType());
        EXPECT_EQ(other.GetNoBytes(), list.GetNoBytes());
    }
}

struct KindCase {
    const char* driver;
    int type;
    int noBytes;
    int sensor;
    int alterable;
};

class TestKinds : public TestListTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(TestKinds, FlagsGiveTypeAndSize) {
    list.ReadDriver(GetParam().driver);
    ASSERT_EQ(list.FindTest("T"), 'X');
    EXPECT_EQ(list.GetTestType(), GetParam().type);
    EXPECT_EQ(list.GetNoBytes(), GetParam().noBytes);
    EXPECT_EQ(list.GetTestSensor(), GetParam().sensor);
    EXPECT_EQ(list.GetAlterable(), GetParam().alterable);
}

INSTANTIATE_TEST_SUITE_P(Kinds, TestKinds,
                         ::testing::Values(KindCase{"V10!XT!1!1!N!", 1, 1, 0, 0},
                                           KindCase{"V10!XT!1!0!N!", 1, 1, 0, 0},
                                           KindCase{"V10!XT!1!2!N!", 2, 2, 0, 0},
                                           KindCase{"V10!XT!1!131!N!", 3, 4, 0, 1},
                                           KindCase{"V10!XT!1!4!S!", 4, 4, 1, 0},
                                           KindCase{"V10!XT!1!5!N16!", 5, 16, 0, 0},
                                           KindCase{"V10!XT!1!133!S6!", 5, 6, 1, 1},
                                           KindCase{"V10!XT!1!37!N3!", 5, 3, 0, 0},
                                           KindCase{"V10!XT!1!6!N!", 1, 1, 0, 0},
                                           KindCase{"V10!XT!1!31!N!", 1, 1, 0, 0}));

TEST_F(TestListTest, FindFirstWithAMaskListsMatchingEntriesInOrder) {
    list.ReadDriver("V10!AOne!1!129!N!ATwo!2!2!N!AThree!3!130!N!AFour!4!133!N8!");
    list.FindTest("Two");
    EXPECT_EQ(list.FindFirst(128), "One");
    EXPECT_EQ(list.FindNext(), "Three");
    EXPECT_EQ(list.FindNext(), "Four");
    EXPECT_EQ(list.FindNext(), "");
    EXPECT_EQ(list.FindNext(), "");
    // The search leaves the current test alone.
    EXPECT_EQ(list.GetTestNumber(), "2");

    EXPECT_EQ(list.FindFirst(0), "One");
    EXPECT_EQ(list.FindNext(), "Two");
    EXPECT_EQ(list.FindFirst(130), "Three");
    EXPECT_EQ(list.FindNext(), "");
    EXPECT_EQ(list.FindFirst(64), "");
}

TEST_F(TestListTest, OnlyTwoHundredEntriesAreLoaded) {
    std::string text = "V11!";
    for (int i = 0; i < 201; ++i)
        text += "ATest" + std::to_string(i) + "!" + std::to_string(i + 1) + "!1!N!";
    list.ReadDriver(text.c_str());
    EXPECT_EQ(list.GetNumberOfTests(), 200);
    EXPECT_EQ(list.GetLastTest(), 200);
    EXPECT_EQ(list.FindTest("Test199"), 'A');
    EXPECT_EQ(list.GetTestNumber(), "200");
    EXPECT_EQ(list.FindTest("Test200"), 0);
}

TEST_F(TestListTest, ListEndsAtAnEmptyOrOneCharacterName) {
    list.ReadDriver("V10!AOne!1!1!N!!ATwo!2!1!N!");
    EXPECT_EQ(list.GetNumberOfTests(), 1);
    list.ReadDriver("V10!AOne!1!1!N!B!2!1!N!");
    EXPECT_EQ(list.GetNumberOfTests(), 1);
    list.ReadDriver("V10");
    EXPECT_EQ(list.GetNumberOfTests(), 0);
    EXPECT_EQ(list.GetInterfaceVersion(), 10);
    list.ReadDriver("");
    EXPECT_EQ(list.GetNumberOfTests(), 0);
    EXPECT_EQ(list.GetInterfaceVersion(), 0);
}

TEST_F(TestListTest, TestNameFindsTheFirstSlotWithTheNumber) {
    list.ReadDriver("V10!AOne!5!1!N!ATwo!007!1!N!AThree!x9!1!N!AFour!7!1!N!");
    EXPECT_EQ(list.TestName(5), "One");
    EXPECT_EQ(list.TestName(7), "Two");
    // A number without leading digits reads as 0.
    EXPECT_EQ(list.TestName(0), "Three");
    EXPECT_EQ(list.TestName(99), "");
    EXPECT_EQ(list.GetLastTest(), 7);
}

TEST_F(TestListTest, ASecondDriverReplacesTheEntriesOfTheFirst) {
    list.ReadDriver("V10!AOne!1!1!N!ATwo!2!1!N!");
    list.ReadDriver("V12!BThree!3!2!N!");
    EXPECT_EQ(list.GetNumberOfTests(), 1);
    EXPECT_EQ(list.GetInterfaceVersion(), 12);
    EXPECT_EQ(list.GetLastTest(), 3);
    EXPECT_EQ(list.FindTest("Two"), 0);
    EXPECT_EQ(list.TestName(2), "");
    EXPECT_EQ(list.FindTest("Three"), 'B');
}

TEST_F(TestListTest, AFlagsFieldWithoutANumberKeepsTheSlotsEarlierValue) {
    list.ReadDriver("V10!AOne!1!130!N!");
    list.ReadDriver("V10!AOne!1!x!N!");
    ASSERT_EQ(list.FindTest("One"), 'A');
    EXPECT_EQ(list.GetTestType(), 2);
    EXPECT_EQ(list.GetAlterable(), 1);
}

TEST_F(TestListTest, LongFieldsAreCutAtTheirSlots) {
    // A hundred characters end a field as a separator would: the next character is skipped.
    const std::string name(99, 'n');
    std::string text = "V10!A" + name + "Z1!1!N!";
    list.ReadDriver(text.c_str());
    ASSERT_EQ(list.GetNumberOfTests(), 1);
    EXPECT_EQ(list.FindTest(name), 'A');
    EXPECT_EQ(list.GetTestNumber(), "1");

    list.ReadDriver("V10!ALong number!12345678901!1!N!");
    ASSERT_EQ(list.FindTest("Long number"), 'A');
    EXPECT_EQ(list.GetTestNumber(), "123456789");
    EXPECT_EQ(list.GetLastTest(), 123456789);
}

TEST_F(TestListTest, ADriverOfExactlyThreeThousandCharactersIsFlagged) {
    std::string text = "V10!AOne!1!1!N!";
    text += std::string(3000 - text.size(), 'x');
    list.ReadDriver(text.c_str());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].first, "ERROR");
    EXPECT_EQ(prompt.shown[0].second, "3000 chars");
    EXPECT_EQ(list.FindTest("One"), 'A');

    text.pop_back();
    list.ReadDriver(text.c_str());
    EXPECT_EQ(prompt.shown.size(), 1u);
}

TEST_F(TestListTest, SensorNumberIsKeptUntilSetAgain) {
    list.ReadDriver(nullptr);
    EXPECT_EQ(list.GetSensorNumber(), 0);
    list.SetSensorNumber(3);
    list.FindTest("Upload flag");
    EXPECT_EQ(list.GetSensorNumber(), 3);
    list.ReadDriver(nullptr);
    EXPECT_EQ(list.GetSensorNumber(), 3);
    list.InitTestList();
    EXPECT_EQ(list.GetSensorNumber(), 0);
    EXPECT_EQ(list.GetTestNumber(), "");
}

TEST_F(TestListTest, ATableIsReleasedAndAllocatedAgain) {
    list.ReadDriver(nullptr);
    list.CleanupTestList();
    EXPECT_EQ(list.GetNumberOfTests(), 0);
    EXPECT_EQ(list.FindTest("Upload flag"), 0);
    list.ReadDriver(nullptr);
    EXPECT_EQ(list.GetNumberOfTests(), 0);
    list.InitTestList();
    list.ReadDriver(nullptr);
    EXPECT_EQ(list.FindTest("Upload flag"), 'A');
}

TEST(TestListWithoutTable, EveryCallIsHarmless) {
    CTestList list;
    list.ReadDriver(nullptr);
    EXPECT_EQ(list.FindTest("Upload flag"), 0);
    EXPECT_EQ(list.TestName(11), "");
    EXPECT_EQ(list.FindFirst(0), "");
    EXPECT_EQ(list.FindNext(), "");
    EXPECT_EQ(list.GetTestNumber(), "");
    EXPECT_EQ(list.GetTestVersion(), 0);
    list.SetSensorNumber(2);
    EXPECT_EQ(list.GetSensorNumber(), 0);
    list.CleanupTestList();
}

} // namespace

#include "FilterDialog.h"

#include <QCheckBox>
#include <gtest/gtest.h>

namespace {

QCheckBox* Box(FilterDialog& f, const char* name) {
    QCheckBox* box = f.findChild<QCheckBox*>(name);
    EXPECT_NE(box, nullptr) << name;
    return box;
}

} // namespace

TEST(FilterDialog, TemplateTexts) {
    FilterDialog f;
    EXPECT_EQ(Box(f, "id1018")->text(), QString("Calibration"));
    EXPECT_EQ(Box(f, "id1019")->text(), QString("Show All Logs"));
    EXPECT_EQ(Box(f, "id1020")->text(), QString("Timed"));
    EXPECT_EQ(Box(f, "id1022")->text(), QString("Alarm"));
    EXPECT_EQ(Box(f, "id1023")->text(), QString("Bump Test"));
    EXPECT_EQ(Box(f, "id1033")->text(), QString("Manual"));
}

TEST(FilterDialog, ConstructedWithFlagsClearedThenInitialisedToAllSet) {
    FilterDialog f;
    EXPECT_EQ(f.ShowAllLogs + f.Alarm + f.Manual + f.Timed + f.Calibration + f.BumpTest +
                  f.ChangeFlag,
              0);
    f.InitDialog();
    EXPECT_EQ(f.ChangeFlag, 1);
    for (const char* name : {"id1018", "id1019", "id1020", "id1022", "id1023", "id1033"}) {
        EXPECT_TRUE(Box(f, name)->isChecked()) << name;
    }
}

TEST(FilterDialog, ClearingManualClearsShowAllLogsAndShowAllSetsEveryKind) {
    FilterDialog f;
    f.InitDialog();
    f.ChangeFlag = 0;
    Box(f, "id1033")->click();
    EXPECT_EQ(f.ChangeFlag, 1);
    EXPECT_EQ(f.Manual, 0);
    EXPECT_EQ(f.ShowAllLogs, 0);
    EXPECT_FALSE(Box(f, "id1019")->isChecked());
    EXPECT_EQ(f.Alarm, 1);

    // Checking Manual again by hand does not bring Show All Logs back.
    f.ChangeFlag = 0;
    Box(f, "id1033")->click();
    EXPECT_EQ(f.Manual, 1);
    EXPECT_EQ(f.ShowAllLogs, 0);

    Box(f, "id1022")->click();
    Box(f, "id1020")->click();
    EXPECT_EQ(f.Alarm, 0);
    EXPECT_EQ(f.Timed, 0);
    f.ChangeFlag = 0;
    Box(f, "id1019")->click();
    EXPECT_EQ(f.ChangeFlag, 1);
    EXPECT_EQ(f.ShowAllLogs + f.Alarm + f.Manual + f.Timed + f.Calibration + f.BumpTest, 6);
    EXPECT_TRUE(Box(f, "id1022")->isChecked());
}

TEST(FilterDialog, UncheckingShowAllLogsLeavesTheKinds) {
    FilterDialog f;
    f.InitDialog();
    Box(f, "id1019")->click();
    EXPECT_EQ(f.ShowAllLogs, 0);
    EXPECT_EQ(f.Alarm + f.Manual + f.Timed + f.Calibration + f.BumpTest, 5);
}

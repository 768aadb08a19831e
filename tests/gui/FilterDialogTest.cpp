#include "gui/FilterDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionGroupBox>
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
    EXPECT_EQ(Box(f, "calibrationBox")->text(), QString("Calibration"));
    EXPECT_EQ(Box(f, "showAllLogsBox")->text(), QString("Show All Logs"));
    EXPECT_EQ(Box(f, "timedBox")->text(), QString("Timed"));
    EXPECT_EQ(Box(f, "alarmBox")->text(), QString("Alarm"));
    EXPECT_EQ(Box(f, "bumpTestBox")->text(), QString("Bump Test"));
    EXPECT_EQ(Box(f, "manualBox")->text(), QString("Manual"));
}

TEST(FilterDialog, ConstructedWithFlagsClearedThenInitialisedToAllSet) {
    FilterDialog f;
    EXPECT_EQ(f.ShowAllLogs + f.Alarm + f.Manual + f.Timed + f.Calibration + f.BumpTest, 0);
    QSignalSpy changed(&f, &FilterDialog::changed);
    f.InitDialog();
    // The window renders its first report itself; only the user's changes are signalled.
    EXPECT_EQ(changed.count(), 0);
    for (const char* name :
         {"calibrationBox", "showAllLogsBox", "timedBox", "alarmBox", "bumpTestBox", "manualBox"}) {
        EXPECT_TRUE(Box(f, name)->isChecked()) << name;
    }
}

TEST(FilterDialog, ClearingManualClearsShowAllLogsAndShowAllSetsEveryKind) {
    FilterDialog f;
    f.InitDialog();
    QSignalSpy changed(&f, &FilterDialog::changed);
    Box(f, "manualBox")->click();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(f.Manual, 0);
    EXPECT_EQ(f.ShowAllLogs, 0);
    EXPECT_FALSE(Box(f, "showAllLogsBox")->isChecked());
    EXPECT_EQ(f.Alarm, 1);

    // Checking Manual again by hand does not bring Show All Logs back.
    Box(f, "manualBox")->click();
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(f.Manual, 1);
    EXPECT_EQ(f.ShowAllLogs, 0);

    Box(f, "alarmBox")->click();
    Box(f, "timedBox")->click();
    EXPECT_EQ(f.Alarm, 0);
    EXPECT_EQ(f.Timed, 0);
    changed.clear();
    Box(f, "showAllLogsBox")->click();
    EXPECT_EQ(changed.count(), 1) << "one change, however many boxes it sets";
    EXPECT_EQ(f.ShowAllLogs + f.Alarm + f.Manual + f.Timed + f.Calibration + f.BumpTest, 6);
    EXPECT_TRUE(Box(f, "alarmBox")->isChecked());
}

TEST(FilterDialog, UncheckingShowAllLogsLeavesTheKinds) {
    FilterDialog f;
    f.InitDialog();
    QSignalSpy changed(&f, &FilterDialog::changed);
    Box(f, "showAllLogsBox")->click();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(f.ShowAllLogs, 0);
    EXPECT_EQ(f.Alarm + f.Manual + f.Timed + f.Calibration + f.BumpTest, 5);
}

namespace {

const char* const kBoxes[] = {"calibrationBox", "showAllLogsBox", "timedBox",
                              "alarmBox",       "bumpTestBox",    "manualBox"};

// Template positions in pixels (dialog units at 1.5 across and 1.625 down).
struct BoxPlace {
    const char* name;
    QPoint at;
};

void ExpectBoxesFitTheirTexts(FilterDialog& f) {
    auto* group = f.findChild<QGroupBox*>("filterGroup");
    ASSERT_NE(group, nullptr);
    for (const char* name : kBoxes) {
        QCheckBox* box = Box(f, name);
        EXPECT_GE(box->width(), box->sizeHint().width()) << name;
        EXPECT_LE(box->geometry().right(), group->geometry().right()) << name;
    }
    EXPECT_LE(group->geometry().right(), f.width() - 1);
    // Boxes of one row still stand apart.
    const char* const rows[][3] = {{"timedBox", "alarmBox", "manualBox"},
                                   {"bumpTestBox", "calibrationBox", nullptr}};
    for (const auto& row : rows) {
        for (int i = 0; i + 1 < 3 && row[i + 1] != nullptr; ++i) {
            EXPECT_LT(Box(f, row[i])->geometry().right(), Box(f, row[i + 1])->x())
                << row[i] << " runs into " << row[i + 1];
        }
    }
}

} // namespace

TEST(FilterDialog, EveryBoxIsAsWideAsItsTextAtItsTemplatePosition) {
    FilterDialog f;
    f.InitDialog();
    f.show();
    const BoxPlace places[] = {{"showAllLogsBox", {41, 18}}, {"timedBox", {36, 67}},
                               {"alarmBox", {117, 67}},      {"manualBox", {186, 67}},
                               {"bumpTestBox", {35, 106}},   {"calibrationBox", {177, 106}}};
    for (const BoxPlace& place : places) {
        EXPECT_EQ(Box(f, place.name)->pos(), place.at) << place.name;
    }
    ExpectBoxesFitTheirTexts(f);
}

TEST(FilterDialog, BoxesGrowAgainWithALargerFont) {
    FilterDialog f;
    f.show();
    QFont large = f.font();
    large.setPointSize(large.pointSize() > 0 ? large.pointSize() * 2 : 18);
    f.setFont(large);
    ExpectBoxesFitTheirTexts(f);
    EXPECT_GT(Box(f, "showAllLogsBox")->width(), 89);
    for (const char* name : kBoxes) {
        EXPECT_GE(Box(f, name)->height(), Box(f, name)->sizeHint().height()) << name;
    }

    // Back to the usual font, back to the template positions.
    f.setFont(QFont());
    EXPECT_EQ(Box(f, "alarmBox")->pos(), QPoint(117, 67));
    EXPECT_EQ(Box(f, "calibrationBox")->pos(), QPoint(177, 106));
    EXPECT_EQ(f.findChild<QGroupBox*>("filterGroup")->geometry(), QRect(0, 0, 315, 258));
    ExpectBoxesFitTheirTexts(f);
}

TEST(FilterDialog, GroupTitleSitsOnTheFrameInsideTheGroup) {
    FilterDialog f;
    f.show();
    auto* group = f.findChild<QGroupBox*>("filterGroup");
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->title(), QString("Filter Logs..."));
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    option.textAlignment = group->alignment();
    const QRect label = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                       QStyle::SC_GroupBoxLabel, group);
    const QRect frame = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                       QStyle::SC_GroupBoxFrame, group);
    EXPECT_TRUE(group->rect().contains(label)) << "title outside the group";
    EXPECT_GT(label.left(), frame.left()) << "title not indented from the frame's corner";
    // The frame's top line runs through the title, not below it.
    EXPECT_GT(frame.top(), label.top());
    EXPECT_LT(frame.top(), label.bottom());
    // The first box stays clear of the title.
    EXPECT_GE(Box(f, "showAllLogsBox")->y(), group->y() + label.bottom())
        << "label " << label.top() << ".." << label.bottom() << ", frame top " << frame.top();
}

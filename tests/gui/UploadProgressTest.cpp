// The program's upload progress dialog: the controls of its template, and what the engine's
// calls show on it.
#include "gui/UploadProgress.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(UploadProgressDialog, HasTheControlsOfItsTemplate) {
    CUploadProgress dialog;
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(dialog.isModal());
    EXPECT_EQ(dialog.size(), QSize(474, 296));
    EXPECT_FALSE(dialog.windowFlags().testFlag(Qt::WindowTitleHint));
    auto* ok = dialog.findChild<QPushButton*>("okButton");
    auto* cancel = dialog.findChild<QPushButton*>("cancelButton");
    auto* bar = dialog.findChild<QProgressBar*>("progressBar");
    auto* caption = dialog.findChild<QLabel*>("captionLabel");
    ASSERT_TRUE(ok && cancel && bar && caption);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(cancel->text(), "Cancel");
    EXPECT_EQ(caption->text(), "Static");
    EXPECT_EQ(ok->property("controlId").toInt(), 1);
    EXPECT_EQ(cancel->property("controlId").toInt(), 2);
    EXPECT_EQ(bar->property("controlId").toInt(), 3000);
    EXPECT_EQ(caption->property("controlId").toInt(), 3001);
}

TEST(UploadProgressDialog, ShowsRangePositionAndCaption) {
    CUploadProgress dialog;
    UploadProgressView& view = dialog;
    view.SetRange(341);
    view.SetCaption("Reading sector");
    view.SetPosition(10);
    auto* bar = dialog.findChild<QProgressBar*>("progressBar");
    auto* caption = dialog.findChild<QLabel*>("captionLabel");
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 341);
    EXPECT_EQ(bar->value(), 10);
    EXPECT_EQ(caption->text(), "Reading sector");
    // Positions beyond the range stop at its end.
    view.SetPosition(400);
    EXPECT_EQ(bar->value(), 341);
    view.Show();
    EXPECT_TRUE(dialog.isVisible());
    view.Hide();
    EXPECT_FALSE(dialog.isVisible());
}

TEST(UploadProgressDialog, OkAndCancelOnlyCloseIt) {
    CUploadProgress dialog;
    dialog.Show();
    dialog.findChild<QPushButton*>("okButton")->click();
    EXPECT_FALSE(dialog.isVisible());
    dialog.Show();
    dialog.findChild<QPushButton*>("cancelButton")->click();
    EXPECT_FALSE(dialog.isVisible());
}

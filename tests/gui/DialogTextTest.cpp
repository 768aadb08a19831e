// The other dialogs' texts are not cut under fonts wider than the templates were drawn for.
#include "gui/AboutDialog.h"
#include "gui/UploadProgress.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(AboutDialog, VersionLineShowsWholeAndOkStaysInTheCorner) {
    AboutDialog about;
    about.show();
    auto* text = about.findChild<QLabel*>("aboutText");
    auto* ok = about.findChild<QPushButton*>("okButton");
    ASSERT_NE(text, nullptr);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(text->text(), QString("Tavon Datalogging, Version 1.08"));
    EXPECT_EQ(text->pos(), QPoint(63, 23));
    EXPECT_GE(text->width(), text->sizeHint().width());
    EXPECT_LE(text->geometry().right(), about.width() - 1);
    EXPECT_GE(about.width(), 255);
    EXPECT_EQ(about.width() - ok->geometry().right() - 1, 10);
    EXPECT_EQ(ok->y(), 67);
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
}

TEST(UploadProgress, TheProgramsCaptionShowsWhole) {
    CUploadProgress progress;
    progress.SetCaption("Reading Instrument Information");
    auto* caption = progress.findChild<QLabel*>("captionLabel");
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->text(), QString("Reading Instrument Information"));
    EXPECT_GE(caption->width(), caption->sizeHint().width());
    EXPECT_LE(caption->geometry().right(), progress.width() - 1);
}

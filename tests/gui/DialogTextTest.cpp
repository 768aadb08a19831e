// The other dialogs' texts are not cut under fonts wider than the templates were drawn for.
#include "GuiTestSupport.h"
#include "gui/AboutDialog.h"
#include "gui/ArchiveDialog.h"
#include "gui/MapBackground.h"
#include "gui/MapBackgroundDialog.h"
#include "gui/UploadProgress.h"
#include "gui/WatchSettingsDialog.h"

#include "testsupport/ShownPlaceholder.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

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

// An empty edit field's hint (what to type, what is taken when nothing is) shows whole, at the
// size the dialog opens with.
TEST(EditFields, PlaceholdersShowWhole) {
    PrivatePlace place;
    testsupport::EnvGuard home{"HOME", place.work().toStdString()};
    const std::function<std::unique_ptr<QWidget>()> dialogs[] = {
        [] { return std::make_unique<WatchSettingsDialog>(); },
        [] { return std::make_unique<MapBackgroundDialog>(MapBackgroundChoice{}); },
        [&] { return std::make_unique<ArchiveDialog>(place.work() + "/archive.sqlite"); },
    };
    for (const auto& make : dialogs) {
        const std::unique_ptr<QWidget> dialog = make();
        dialog->show();
        QApplication::processEvents();
        int hints = 0;
        for (const QLineEdit* edit : dialog->findChildren<QLineEdit*>()) {
            if (edit->placeholderText().isEmpty() || !edit->isVisible()) {
                continue;
            }
            ++hints;
            EXPECT_EQ(testsupport::ShownPlaceholder(*edit).toStdString(),
                      edit->placeholderText().toStdString())
                << dialog->metaObject()->className();
        }
        EXPECT_GT(hints, 0) << dialog->metaObject()->className();
    }
}

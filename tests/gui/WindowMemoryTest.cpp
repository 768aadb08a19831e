// The main window's first place (four fifths of the screen, centred, within its minimum) and the
// remembered one after it.
#include "gui/WindowMemory.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QSplitter>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

TEST(WindowMemory, FirstPlaceIsFourFifthsOfTheScreenCentredAndNeverBelowTheMinimum) {
    const struct {
        QSize minimum;
        QRect available;
        QRect first;
    } cases[] = {
        {QSize(1017, 500), QRect(0, 0, 1920, 1040), QRect(192, 104, 1536, 832)},
        {QSize(1017, 500), QRect(0, 0, 1024, 600), QRect(3, 50, 1017, 500)},
        {QSize(1017, 500), QRect(0, 0, 800, 480), QRect(0, 0, 800, 480)},
        {QSize(300, 200), QRect(1920, 30, 1280, 1000), QRect(2048, 130, 1024, 800)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WindowMemory::FirstGeometry(c.minimum, c.available), c.first)
            << c.available.width() << "x" << c.available.height();
    }
}

TEST(WindowMemory, TheFirstPlaceUntilOneIsRememberedThenThatOne) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = QDir(dir.path()).absoluteFilePath("window.ini");
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    {
        QWidget window;
        window.setMinimumSize(200, 150);
        QSplitter split(&window);
        WindowMemory(file).Restore(window, split);
        EXPECT_EQ(window.size(), WindowMemory::FirstGeometry(QSize(200, 150), screen).size());
        window.resize(420, 310);
        WindowMemory(file).Save(window, split);
    }
    QWidget window;
    window.setMinimumSize(200, 150);
    QSplitter split(&window);
    WindowMemory(file).Restore(window, split);
    EXPECT_EQ(window.size(), QSize(420, 310));
}

} // namespace

#include "gui/UserGuide.h"
#include "GuiTestSupport.h"
#include "gui/MainDialog.h"

#include <QAction>
#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// A link of the page shown: its text's place in the document and where it goes.
struct Link {
    int position = -1;
    QUrl target;
};

// The guide as Help > User Guide opens it from the main window.
class UserGuideTest : public ::testing::Test {
protected:
    UserGuideTest() {
        MainDialogEnvironment env;
        env.prompt = &prompt;
        env.openUrl = [this](const QUrl& url) {
            opened.push_back(url);
            return true;
        };
        dialog = std::make_unique<MainDialog>(env);
        dialog->Action("actionUserGuide")->trigger();
    }

    QTextBrowser* Browser() const {
        return NamedChild<QTextBrowser>(*dialog->Guide(), "userGuideText");
    }

    std::vector<Link> Links() const {
        std::vector<Link> links;
        const QTextDocument* document = Browser()->document();
        for (QTextBlock b = document->begin(); b.isValid(); b = b.next()) {
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat format = it.fragment().charFormat();
                if (format.isAnchor() && !format.anchorHref().isEmpty()) {
                    links.push_back({it.fragment().position(), QUrl(format.anchorHref())});
                }
            }
        }
        return links;
    }

    // The names of the pictures of the page shown, as the page names them.
    std::vector<QString> Pictures() const {
        std::vector<QString> pictures;
        const QTextDocument* document = Browser()->document();
        for (QTextBlock b = document->begin(); b.isValid(); b = b.next()) {
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                if (it.fragment().charFormat().isImageFormat()) {
                    pictures.push_back(it.fragment().charFormat().toImageFormat().name());
                }
            }
        }
        return pictures;
    }

    // Clicks the link's text as the user would.
    void Click(const Link& link) {
        QTextCursor cursor(Browser()->document());
        cursor.setPosition(link.position + 1);
        Browser()->setTextCursor(cursor);
        Browser()->ensureCursorVisible();
        const QPoint at = Browser()->cursorRect(cursor).center() - QPoint(2, 0);
        QTest::mouseClick(Browser()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }

    PrivatePlace place;
    RecordingPrompt prompt;
    std::unique_ptr<MainDialog> dialog;
    std::vector<QUrl> opened;
};

// Every page of the manual the program carries, as qrc: addresses.
std::vector<QUrl> CarriedPages() {
    std::vector<QUrl> pages;
    QDirIterator it(":/tavon/manual", {"*.md"}, QDir::Files);
    while (it.hasNext()) {
        pages.push_back(QUrl("qrc" + it.next()));
    }
    std::sort(pages.begin(), pages.end());
    return pages;
}

TEST_F(UserGuideTest, HelpUserGuideOpensTheManualBesideTheWindow) {
    ASSERT_NE(dialog->Guide(), nullptr);
    EXPECT_TRUE(dialog->Guide()->isVisible());
    EXPECT_FALSE(dialog->Guide()->isModal());
    EXPECT_EQ(dialog->Guide()->Page(), QUrl(UserGuide::kContents));
    EXPECT_TRUE(dialog->Guide()->Text().startsWith("Tavon Datalogging: the user manual"));
    EXPECT_EQ(Browser()->sourceType(), QTextDocument::MarkdownResource);
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(UserGuideTest, ALinkClickedOpensThatPageAndBackReturns) {
    const std::vector<Link> links = Links();
    const auto charts = std::find_if(links.begin(), links.end(), [](const Link& link) {
        return link.target == QUrl("charts.md");
    });
    ASSERT_NE(charts, links.end());
    Click(*charts);
    EXPECT_EQ(dialog->Guide()->Page(), QUrl("qrc:/tavon/manual/charts.md"));
    EXPECT_TRUE(dialog->Guide()->Text().startsWith("Charts\n"))
        << dialog->Guide()->Text().left(80).toStdString();
    EXPECT_EQ(Browser()->sourceType(), QTextDocument::MarkdownResource);
    EXPECT_TRUE(opened.empty()) << "a page of the manual opens in the guide";

    auto* back = NamedChild<QPushButton>(*dialog->Guide(), "userGuideBack");
    ASSERT_TRUE(back->isEnabled());
    back->click();
    EXPECT_EQ(dialog->Guide()->Page(), QUrl(UserGuide::kContents));
}

TEST_F(UserGuideTest, APagesPicturesLoadAndFitTheWindow) {
    dialog->Guide()->Open(QUrl("charts.md"));
    const std::vector<QString> pictures = Pictures();
    ASSERT_GE(pictures.size(), 3u);
    for (const QString& name : pictures) {
        const QVariant data = Browser()->loadResource(QTextDocument::ImageResource, QUrl(name));
        QImage picture;
        EXPECT_TRUE(picture.loadFromData(data.toByteArray())) << name.toStdString();
        EXPECT_GT(picture.width(), 0) << name.toStdString();
    }
    // A picture wider than the page is drawn at the page's width, a narrower one as it is; the
    // window made wider, they follow.
    for (const int width : {700, 1400}) {
        dialog->Guide()->resize(width, 600);
        QApplication::processEvents();
        const int page = Browser()->viewport()->width();
        for (QTextBlock b = Browser()->document()->begin(); b.isValid(); b = b.next()) {
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                if (!it.fragment().charFormat().isImageFormat()) {
                    continue;
                }
                const QTextImageFormat drawn = it.fragment().charFormat().toImageFormat();
                QImage picture;
                picture.loadFromData(
                    Browser()
                        ->loadResource(QTextDocument::ImageResource, QUrl(drawn.name()))
                        .toByteArray());
                EXPECT_LE(drawn.width(), page) << drawn.name().toStdString();
                // What is drawn is the picture at that size, not the picture scaled as drawn.
                const QImage shown =
                    Browser()
                        ->document()
                        ->resource(QTextDocument::ImageResource, QUrl(drawn.name()))
                        .value<QImage>();
                EXPECT_EQ(shown.width(), qRound(drawn.width())) << drawn.name().toStdString();
                EXPECT_GE(drawn.width(), std::min(picture.width(), page - 60))
                    << drawn.name().toStdString() << " in a page " << page << " wide";
            }
        }
    }
}

TEST_F(UserGuideTest, EveryPageCarriedAndEveryLinkGoesToOne) {
    const std::vector<QUrl> pages = CarriedPages();
    ASSERT_GE(pages.size(), 13u);
    for (const QUrl& page : pages) {
        dialog->Guide()->Open(page);
        ASSERT_EQ(dialog->Guide()->Page(), page);
        EXPECT_FALSE(dialog->Guide()->Text().trimmed().isEmpty()) << page.toString().toStdString();
        for (const Link& link : Links()) {
            const QUrl target = page.resolved(link.target);
            if (target.scheme() != "qrc") {
                continue; // a web address, opened by the desktop
            }
            EXPECT_TRUE(QFile::exists(':' + target.path()))
                << page.toString().toStdString() << " links " << target.toString().toStdString();
        }
        for (const QString& picture : Pictures()) {
            EXPECT_TRUE(QFile::exists(':' + page.resolved(QUrl(picture)).path()))
                << page.toString().toStdString() << " shows " << picture.toStdString();
        }
    }
}

// "File > Save as PDF...", "View > Map Background...", "Help > User Guide": each menu item a
// page names is an item of that menu, spelt as the menu spells it.
TEST_F(UserGuideTest, MenuItemsThePagesNameAreTheProgramsOwn) {
    std::vector<std::pair<QString, QStringList>> menus;
    for (QAction* top : dialog->findChild<QMenuBar*>()->actions()) {
        QStringList items;
        for (QAction* item : top->menu()->actions()) {
            if (!item->isSeparator()) {
                items << item->text();
            }
        }
        menus.emplace_back(QString(top->text()).remove('&'), items);
    }
    int named = 0;
    for (const QUrl& page : CarriedPages()) {
        dialog->Guide()->Open(page);
        const QString text = dialog->Guide()->Text().simplified();
        for (const auto& [menu, items] : menus) {
            const QString path = menu + " > ";
            for (int at = text.indexOf(path); at >= 0; at = text.indexOf(path, at + 1)) {
                const QString after = text.mid(at + path.size());
                const bool known =
                    std::any_of(items.begin(), items.end(),
                                [&](const QString& item) { return after.startsWith(item); });
                EXPECT_TRUE(known) << page.toString().toStdString() << ": "
                                   << (path + after.left(30)).toStdString();
                ++named;
            }
        }
    }
    EXPECT_GT(named, 50);
}

TEST_F(UserGuideTest, TheKeysTheContentsListAreEachActionsOwn) {
    const QString text = dialog->Guide()->Text();
    for (const char* name :
         {"actionUserGuide", "actionGo", "actionSave", "actionPrint", "actionFind"}) {
        QAction* action = dialog->Action(name);
        ASSERT_NE(action, nullptr) << name;
        ASSERT_FALSE(action->shortcut().isEmpty()) << name;
        EXPECT_TRUE(text.contains(action->shortcut().toString() + ": ")) << name;
    }
}

} // namespace

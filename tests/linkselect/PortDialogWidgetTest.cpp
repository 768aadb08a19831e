#include "FakeLinks.h"

#include "PortDialog.h"
#include "linkselect/MemoryRegistry.h"
#include "linkselect/PortDialogLogic.h"
#include "testsupport/Files.h"
#include "testsupport/ShownPlaceholder.h"
#include "testsupport/TempDir.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using testsupport::TempWorkDir;
using testsupport::WriteFile;

using P = PortDialogLogic;

const char kMap[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Which of the five controls are visible, in the order caption line, status, list, Select, Cancel.
std::vector<bool> Visible(const CPort& dialog) {
    std::vector<bool> visible;
    for (int id :
         {P::kCaptionLine, P::kStatusLine, P::kPortList, P::kSelectButton, P::kCancelButton}) {
        visible.push_back(dialog.Control(id)->isVisible());
    }
    return visible;
}

const std::vector<bool> kStatusOnly = {false, true, false, false, false};
const std::vector<bool> kChoosing = {false, true, true, true, true};

std::string Status(const CPort& dialog) {
    return static_cast<QLabel*>(dialog.Control(P::kStatusLine))->text().toStdString();
}

QComboBox* List(const CPort& dialog) {
    return static_cast<QComboBox*>(dialog.Control(P::kPortList));
}

class PortDialogWidgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.Ok());
        registry_.SetString(kMap, "\\Device\\VCP0", "ttyUSB1");
        registry_.SetString(kMap, "\\Device\\ProlificSerial0", "ttyUSB0");
        opener_.AddPort("ttyUSB0");
        opener_.AddPort("ttyUSB1");
        logic_.SetRegistry(&registry_);
        logic_.SetLinkOpener(&opener_);
        logic_.SetFatalHandler([](const std::string&) {});
        logic_.SetCaptionText("Select connection for KOVA");
    }

    // Runs the dialog with `steps` done at the given times (ms after it starts); gives up after
    // five seconds.
    int Run(CPort& dialog, std::vector<std::pair<int, std::function<void()>>> steps) {
        int done = 0;
        for (auto& step : steps) {
            QTimer::singleShot(step.first, &dialog, [&done, action = step.second] {
                ++done;
                action();
            });
        }
        QTimer::singleShot(5000, &dialog, [&dialog] { dialog.done(99); });
        const int result = dialog.Run();
        EXPECT_EQ(done, static_cast<int>(steps.size())) << "the dialog ended before every step ran";
        return result;
    }

    TempWorkDir dir_{"linkselect-test-"};
    FakeRegistry registry_;
    FakeOpener opener_;
    PortDialogLogic logic_;
};

TEST_F(PortDialogWidgetTest, FirstShowingStatusThenListThenSelect) {
    CPort dialog(logic_);
    const int result = Run(
        dialog, {{0,
                  [&] {
                      EXPECT_EQ(dialog.windowTitle().toStdString(), "Select communication device");
                      EXPECT_EQ(Visible(dialog), kStatusOnly);
                      EXPECT_EQ(Status(dialog), "Initialising Communications");
                  }},
                 {250, [&] {
                      EXPECT_EQ(Visible(dialog), kChoosing);
                      EXPECT_EQ(Status(dialog), "Select a device");
                      ASSERT_EQ(List(dialog)->count(), 2);
                      EXPECT_EQ(List(dialog)->itemText(0).toStdString(), "IrDA Port ttyUSB0");
                      EXPECT_EQ(List(dialog)->itemText(1).toStdString(), "IrDA Port ttyUSB1");
                      EXPECT_EQ(List(dialog)->currentText().toStdString(), "IrDA Port ttyUSB0");
                      List(dialog)->lineEdit()->selectAll();
                      QTest::keyClicks(List(dialog)->lineEdit(), "IrDA Port ttyUSB1");
                      QTest::mouseClick(static_cast<QPushButton*>(dialog.Control(P::kSelectButton)),
                                        Qt::LeftButton);
                      EXPECT_EQ(Visible(dialog), kStatusOnly);
                      EXPECT_EQ(Status(dialog), "Initialising communications...");
                  }}});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(opener_.Attempts(), std::vector<std::string>{"ttyUSB1"});
    ASSERT_EQ(opener_.Opened().size(), 1u);
    EXPECT_EQ(opener_.Opened()[0]->Settings().baud, 115200);
}

TEST_F(PortDialogWidgetTest, RememberedEntryConnectsWithoutShowingTheList) {
    WriteFile("Settings.ini", "Com Port=IrDA Port ttyUSB0\r\n");
    CPort dialog(logic_);
    bool listSeen = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout,
                     [&] { listSeen = listSeen || List(dialog)->isVisible(); });
    watch.start(20);
    const int result = Run(dialog, {});
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(listSeen);
    EXPECT_EQ(opener_.Opened().at(0)->Settings().baud, 115200);
}

TEST_F(PortDialogWidgetTest, FailedRememberedEntryDropsTheListDown) {
    registry_.SetString(kMap, "\\Device\\VCP1", "ttyUSB7");
    WriteFile("Settings.ini", "Com Port=IrDA Port ttyUSB7\r\n");
    CPort dialog(logic_);
    const int result = Run(dialog, {{250, [&] {
                                         EXPECT_EQ(Status(dialog), "Select a device");
                                         EXPECT_TRUE(List(dialog)->view()->isVisible());
                                         List(dialog)->hidePopup();
                                         QTest::keyClick(List(dialog)->lineEdit(), Qt::Key_Return);
                                     }}});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(logic_.CurrentLink(), nullptr);
}

TEST_F(PortDialogWidgetTest, EnterInTheListEndsWithoutOpening) {
    CPort dialog(logic_);
    const int result =
        Run(dialog, {{250, [&] { QTest::keyClick(List(dialog)->lineEdit(), Qt::Key_Return); }}});
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(opener_.Attempts().empty());
}

TEST_F(PortDialogWidgetTest, EscapeWithEmptyListCancels) {
    FakeRegistry empty;
    empty.AddKey(kMap);
    logic_.SetRegistry(&empty);
    CPort dialog(logic_);
    const int result =
        Run(dialog, {{250, [&] { QTest::keyClick(List(dialog)->lineEdit(), Qt::Key_Escape); }}});
    EXPECT_EQ(result, 2);
}

// An empty list says why, where the template's status line has no room: in its edit field, and
// in full in its tip; a list with ports says nothing of the kind.
TEST_F(PortDialogWidgetTest, AnEmptyListSaysWhy) {
    FakeRegistry empty;
    empty.AddKey(kMap);
    const struct {
        Registry* registry;
        std::string note;
        bool tip;
    } cases[] = {{&empty, "No serial ports found, no companion pipe", true},
                 {&registry_, "", false}};
    for (const auto& c : cases) {
        logic_.SetRegistry(c.registry);
        CPort dialog(logic_);
        Run(dialog, {{250, [&] {
                          EXPECT_TRUE(List(dialog)->isVisible());
                          EXPECT_EQ(List(dialog)->lineEdit()->placeholderText().toStdString(),
                                    c.note);
                          const QString tip = List(dialog)->toolTip();
                          EXPECT_EQ(tip.contains("no companion program serves the pipe \"RAK "
                                                 "Pipe\""),
                                    c.tip)
                              << tip.toStdString();
                          EXPECT_EQ(tip.startsWith("No serial port was found"), c.tip);
                          QTest::keyClick(List(dialog)->lineEdit(), Qt::Key_Escape);
                      }}});
    }
}

// The empty list's note shows whole in the list, which stays inside the dialog: in the font of
// the template and in a larger one (a desktop's, whatever the screen), where the dialog grows.
TEST_F(PortDialogWidgetTest, AnEmptyListsNoteShowsWhole) {
    FakeRegistry empty;
    empty.AddKey(kMap);
    logic_.SetRegistry(&empty);
    const QFont font = QApplication::font();
    for (const double scale : {1.0, 1.6}) {
        QFont larger = font;
        larger.setPointSizeF(font.pointSizeF() * scale);
        QApplication::setFont(larger);
        CPort dialog(logic_);
        Run(dialog,
            {{250, [&] {
                  QComboBox* list = List(dialog);
                  EXPECT_EQ(testsupport::ShownPlaceholder(*list->lineEdit()).toStdString(),
                            "No serial ports found, no companion pipe")
                      << scale;
                  const QRect inside = dialog.rect();
                  for (int id :
                       {P::kStatusLine, P::kPortList, P::kSelectButton, P::kCancelButton}) {
                      EXPECT_TRUE(inside.contains(dialog.Control(id)->geometry()))
                          << scale << " " << id;
                  }
                  // Still centred as the template centres it.
                  EXPECT_LE(std::abs(list->geometry().center().x() -
                                     dialog.Control(P::kStatusLine)->geometry().center().x()),
                            16)
                      << scale;
                  QTest::keyClick(list->lineEdit(), Qt::Key_Escape);
              }}});
    }
    QApplication::setFont(font);
}

TEST_F(PortDialogWidgetTest, CloseBoxOpensTheFirstTableEntryAndFinishesAfterTheSwitch) {
    CPort dialog(logic_);
    const int result = Run(dialog, {{250, [&] {
                                         dialog.close();
                                         EXPECT_TRUE(dialog.isVisible()); // waits for the switch
                                     }}});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(opener_.Attempts(), std::vector<std::string>{"ttyUSB1"});
}

TEST_F(PortDialogWidgetTest, LaterShowingShowsTheListAtOnce) {
    {
        CPort first(logic_);
        Run(first, {{250, [&] {
                         List(first)->lineEdit()->selectAll();
                         QTest::keyClicks(List(first)->lineEdit(), "IrDA Port ttyUSB1");
                         QTest::keyClick(List(first)->lineEdit(), Qt::Key_Return);
                     }}});
    }
    CPort later(logic_);
    const int result =
        Run(later, {{0,
                     [&] {
                         EXPECT_EQ(Visible(later), kChoosing);
                         EXPECT_EQ(Status(later), "Initialising Communications");
                         EXPECT_EQ(List(later)->currentText().toStdString(), "IrDA Port ttyUSB1");
                     }},
                    {350, [&] { later.done(1); }}});
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(opener_.Attempts().empty());
}

} // namespace

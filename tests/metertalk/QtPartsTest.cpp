#include "CommsFakes.h"

#include "linkselect/LinkSelect.h"
#include "metertalk/Comms.h"
#include "metertalk/QtCommandTarget.h"
#include "metertalk/QtCommsListener.h"
#include "metertalk/TestList.h"
#include "testsupport/RecordingPrompt.h"
#include "testsupport/TempDir.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using testsupport::RecordingPrompt;

struct Recorder {
    explicit Recorder(QtCommandTarget& target) {
        QObject::connect(&target, &QtCommandTarget::command, [this](int id) { ids.push_back(id); });
    }
    std::vector<int> ids;
};

TEST(QtCommandTarget, DeliversThroughTheEventLoopInOrder) {
    QtCommandTarget target;
    Recorder recorder(target);
    target.PostCommand(ID_COMMS_FRAME_START);
    target.PostCommand(ID_COMMS_ASK_DONE);
    EXPECT_TRUE(recorder.ids.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(recorder.ids, (std::vector<int>{ID_COMMS_FRAME_START, ID_COMMS_ASK_DONE}));
}

TEST(QtCommsListener, DeliversThroughTheEventLoopInOrder) {
    QtCommsListener listener;
    std::vector<CommsEvent> heard;
    QObject::connect(&listener, &QtCommsListener::notified,
                     [&heard](CommsEvent event) { heard.push_back(event); });
    listener.OnCommsEvent(CommsEvent::FrameStart);
    listener.OnCommsEvent(CommsEvent::UploadDone);
    EXPECT_TRUE(heard.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(heard, (std::vector<CommsEvent>{CommsEvent::FrameStart, CommsEvent::UploadDone}));
}

// The companion pipe, served by the test itself in a temporary directory of its own.
class PipeEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.Ok());
        QLocalServer::removeServer("RAK Pipe");
        ASSERT_TRUE(server.listen("RAK Pipe")) << server.errorString().toStdString();
        selector.SetUserPrompt(&prompt);
        comms.SetUserPrompt(&prompt);
        comms.SetProgressFactory([this] {
            auto dialog = std::make_unique<RecordingProgress>();
            made.push_back(dialog.get());
            return dialog;
        });
        list.InitTestList();
        list.ReadDriver(nullptr);
        comms.SetTestList(&list);
    }
    void TearDown() override {
        comms.SetProgressFactory(nullptr);
        comms.InitCom(nullptr, "", "");
        comms.SetTestList(nullptr);
        comms.SetUserPrompt(nullptr);
        selector.SetUserPrompt(nullptr);
        server.close();
    }

    QLocalSocket* Accept() {
        if (!server.hasPendingConnections())
            server.waitForNewConnection(2000);
        return server.nextPendingConnection();
    }

    static QByteArray ReadLine(QLocalSocket* peer, int length) {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (got.size() < length && clock.elapsed() < 3000) {
            peer->waitForReadyRead(50);
            got += peer->readAll();
        }
        return got;
    }

    // Ticks the engine until the target has heard of the frame, checking that nothing is ever
    // delivered from inside OnTimer itself.
    void TickUntil(Recorder& recorder, int id) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 3000) {
            const size_t before = recorder.ids.size();
            comms.OnTimer();
            EXPECT_EQ(recorder.ids.size(), before);
            QCoreApplication::processEvents();
            if (!recorder.ids.empty() && recorder.ids.back() == id)
                return;
            QThread::msleep(10);
        }
        ADD_FAILURE() << "no notification " << id;
    }

    testsupport::PrivateTmpDir tmp{"metertalk-pipe-"};
    QLocalServer server;
    RecordingPrompt prompt;
    CLinkSelect selector;
    CComms comms;
    CTestList list;
    std::vector<RecordingProgress*> made;
};

TEST_F(PipeEndToEnd, InitComTakesThePipeAndTheEngineTalksOverIt) {
    AppInfo app{"Tavon Datalogging", ""};
    ASSERT_EQ(comms.InitCom(&app, "KOVA", "115,200"), 1);
    QLocalSocket* peer = Accept();
    ASSERT_NE(peer, nullptr);
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_TRUE(comms.LinkOpen());
    EXPECT_TRUE(comms.LinkIsPipe());
    ASSERT_EQ(made.size(), 1u);
    EXPECT_FALSE(made[0]->visible);

    QtCommandTarget target;
    Recorder recorder(target);
    ASSERT_EQ(list.FindTest("Upload flag"), 'A');
    ASSERT_EQ(comms.Ask(&target, 0), 1);
    EXPECT_EQ(ReadLine(peer, 20), QByteArray("   LR  0B 00 01 8F\r\n"));
    peer->write("YHA01 9D\r\n");
    peer->flush();
    TickUntil(recorder, ID_COMMS_ASK_DONE);
    EXPECT_EQ(recorder.ids, (std::vector<int>{ID_COMMS_FRAME_START, ID_COMMS_ASK_DONE}));
    EXPECT_EQ(comms.GetNewValue(), 1);

    // Choosing again connects anew and closes the pipe it replaces.
    comms.SetProperties();
    QLocalSocket* second = Accept();
    ASSERT_NE(second, nullptr);
    if (peer->state() != QLocalSocket::UnconnectedState)
        peer->waitForDisconnected(2000);
    EXPECT_EQ(peer->state(), QLocalSocket::UnconnectedState);

    ASSERT_EQ(comms.Set(&target, 10u), 1);
    EXPECT_EQ(ReadLine(second, 20), QByteArray("   LW  0B 00 0A 7A\r\n"));

    EXPECT_EQ(comms.InitCom(nullptr, "", ""), 0);
    if (second->state() != QLocalSocket::UnconnectedState)
        second->waitForDisconnected(2000);
    EXPECT_EQ(second->state(), QLocalSocket::UnconnectedState);
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

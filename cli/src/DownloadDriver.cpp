// The Qt edge of `tavon-datalog download`: the event loop, the 100 ms tick and the delivery of the
// communications notifications. Everything it drives is plain C++.
#include "DownloadDriver.h"

#include <unistd.h> // isatty; MinGW has it too

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <memory>

#include "CommandLine.h"
#include "DownloadOptions.h"
#include "DownloadRun.h"
#include "ExitStatus.h"
#include "InterruptRelay.h"
#include "LinkChoice.h"
#include "ProgressBar.h"
#include "app/LogImage.h"
#include "app/MeterTalkComms.h"
#include "app/SessionBrowser.h"
#include "linkselect/LinkSelect.h"
#include "metertalk/Comms.h"
#include "metertalk/QtCommandTarget.h"
#include "metertalk/TestList.h"
#include "report/Report.h"

namespace {

constexpr int kTickMs = 100;

// Live for the whole run, as the instrument's memory copy and the report do in the program.
LogImage g_image;
ReportState g_report;

} // namespace

int RunDownloadSession(const DownloadOptions& options) {
    int argc = 1;
    char name[] = "tavon-datalog";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tavon-datalog");

    StderrPrompt prompt;
    LinkChoice links(options);
    CLinkSelect().SetUserPrompt(&prompt);
    links.Install();

    CComms comms;
    comms.SetUserPrompt(&prompt);
    if (comms.InitCom(&links.App(), "KOVA", "115,200") == 0) {
        PrintError(links.FailureHint());
        return kExitNoLink;
    }

    CTestList tests;
    QtCommandTarget target;
    MeterTalkComms conversation(comms, tests, &target);
    conversation.Prepare();

    ProgressBar progress(stderr, !options.quiet && isatty(fileno(stderr)) == 1);
    DownloadRun run(options, g_image, g_report, progress, stdout);
    auto browser = std::make_unique<SessionBrowser>(conversation, run, g_image, g_report);
    run.Attach(*browser);
    run.Prepare();

    QTimer tick;
    run.SetFinish([&tick](int status) {
        tick.stop();
        QCoreApplication::exit(status);
    });
    QObject::connect(&target, &QtCommandTarget::command, [&](int id) {
        if (run.Finished()) {
            return;
        }
        if (id == ID_COMMS_CHECKSUM_ERROR) {
            run.OnChecksumError();
            return;
        }
        DispatchCommsCommand(*browser, id); // ID_COMMS_FRAME_START changes nothing
    });
    QObject::connect(&tick, &QTimer::timeout, [&] {
        comms.OnTimer();
        run.OnTick();
    });

    const InterruptRelay interrupt([&run] { run.Interrupt(); });

    // The built-in driver text, "Upload flag" current, state 0 and the first poll.
    browser->Start();
    tick.start(kTickMs);
    const int status = QCoreApplication::exec();

    comms.InitCom(nullptr, std::string(), std::string()); // closes the link
    return status;
}

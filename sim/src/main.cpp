// tavon-instrument: a simulated Tavon instrument on the far end of the companion pipe (or a
// pseudo-terminal), so that the program and its tests run without hardware.
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>

#include "LinkPump.h"
#include "PipeServer.h"
#include "sim/Options.h"
#ifndef _WIN32
#include "PtyServer.h"
#include <sys/socket.h>
#include <unistd.h>
#endif
#include "sim/Instrument.h"
#include "sim/LogMemory.h"
#include "sim/SimLog.h"

namespace {

#ifndef _WIN32
int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

// SIGINT and SIGTERM end the event loop normally, so the server removes its socket file.
void QuitOnSignals(QCoreApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] { app.quit(); });
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
}
#else
void QuitOnSignals(QCoreApplication&) {}
#endif

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tavon-instrument");

    SimOptions options;
    QString message;
    switch (ParseSimOptions(app.arguments(), options, message)) {
    case OptionsResult::Exit:
        std::fputs(message.toLocal8Bit().constData(), stdout);
        return 0;
    case OptionsResult::Error:
        std::fprintf(stderr, "tavon-instrument: %s\n", message.toLocal8Bit().constData());
        return 2;
    case OptionsResult::Run:
        break;
    }

    static sim::LogMemory memory; // 2 MB: not on the stack
    std::string error;
    if (!options.imagePath.isEmpty()) {
        if (!memory.LoadDump(options.imagePath.toStdString(), error)) {
            std::fprintf(stderr, "tavon-instrument: %s\n", error.c_str());
            return 1;
        }
    } else {
        sim::MemoryOptions memoryOptions;
        memoryOptions.seed = options.seed;
        memoryOptions.withUnknownRecords = options.withUnknownRecords;
        memory.Generate(memoryOptions);
    }
    if (!options.dumpPath.isEmpty()) {
        if (!memory.WriteDump(options.dumpPath.toStdString(), error)) {
            std::fprintf(stderr, "tavon-instrument: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }

    sim::SimLog log;
    if (!options.logPath.isEmpty() && !log.Open(options.logPath.toLocal8Bit().constData())) {
        std::fprintf(stderr, "tavon-instrument: cannot write %s\n",
                     options.logPath.toLocal8Bit().constData());
        return 1;
    }

    sim::InstrumentOptions instrumentOptions;
    instrumentOptions.uploadFlagLetter = options.uploadFlagLetter;
    instrumentOptions.interfaceVersion = options.interfaceVersion;
    LinkPump pump(options.baud);
    sim::Instrument instrument(instrumentOptions, memory.Bytes(), options.faults, options.seed,
                               pump, &log);

    QuitOnSignals(app);
    QString ready;
    PipeServer* pipe = nullptr;
    QString startError;
#ifndef _WIN32
    PtyServer* pty = nullptr;
    if (options.pty) {
        pty = new PtyServer(instrument, pump, &app);
        if (!pty->Start(startError)) {
            std::fprintf(stderr, "tavon-instrument: %s\n", startError.toLocal8Bit().constData());
            return 1;
        }
        ready = "ready: pty " + pty->PortPath();
    } else
#else
    if (options.pty) {
        std::fprintf(stderr, "tavon-instrument: --pty needs a POSIX system\n");
        return 2;
    } else
#endif
    {
        pipe = new PipeServer(options.pipeName, instrument, pump, log, &app);
        if (!pipe->Start(startError)) {
            std::fprintf(stderr, "tavon-instrument: cannot serve \"%s\": %s\n",
                         options.pipeName.toLocal8Bit().constData(),
                         startError.toLocal8Bit().constData());
            return 1;
        }
        ready = "ready: pipe " + pipe->FullName();
    }
    std::printf("%s\n", ready.toLocal8Bit().constData());
    std::fflush(stdout);
    log.Note(ready.toLocal8Bit().constData());

    const int result = app.exec();
    delete pipe;
#ifndef _WIN32
    delete pty;
#endif
    return result;
}

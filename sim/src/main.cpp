// tavon-instrument: one or several simulated Tavon instruments on the far end of the companion
// pipe (or of pseudo-terminals), so that the program and its tests run without hardware.
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

#include "ServedInstrument.h"
#include "sim/LogMemory.h"
#include "sim/Options.h"
#ifndef _WIN32
#include <sys/socket.h>
#include <unistd.h>
#endif

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

int Fail(const QString& message, int code) {
    std::fprintf(stderr, "tavon-instrument: %s\n", message.toLocal8Bit().constData());
    return code;
}

// --dump: the memory of the (one) instrument as a FlashData.txt dump.
int WriteDump(const SimOptions& options) {
    static sim::LogMemory memory; // 2 MB: not on the stack
    std::string error;
    if (!SetUpMemory(options, options.seed, memory, error) ||
        !memory.WriteDump(options.dumpPath.toStdString(), error))
        return Fail(QString::fromStdString(error), 1);
    return 0;
}

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
        return Fail(message, 2);
    case OptionsResult::Run:
        break;
    }
#ifdef _WIN32
    if (options.pty)
        return Fail("--pty needs a POSIX system", 2);
#endif
    if (!options.dumpPath.isEmpty())
        return WriteDump(options);

    QuitOnSignals(app);
    std::vector<std::unique_ptr<ServedInstrument>> served;
    for (int k = 0; k < options.instruments; ++k) {
        served.push_back(std::make_unique<ServedInstrument>(options, InstrumentSetup(options, k)));
        QString error;
        if (!served.back()->Start(error))
            return Fail(error, 1);
    }
    // Ready lines only once every instrument serves, so that a script may use them at once.
    for (const auto& instrument : served) {
        std::printf("%s\n", instrument->ReadyLine().toLocal8Bit().constData());
        instrument->NoteReady();
    }
    std::fflush(stdout);
    return app.exec();
}

// A passphrase read where nobody else sees it: a private file, or a terminal without echo.
#include "Passphrase.h"

#include <QtGlobal>
#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

constexpr int kMostBytes = 1024; // of a passphrase; a file's first line is looked for in 4 KiB

std::string Local(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

// The first line, without its line break.
QByteArray FirstLine(const QByteArray& text) {
    QByteArray line = text.left(text.indexOf('\n') < 0 ? text.size() : text.indexOf('\n'));
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    return line;
}

#ifdef Q_OS_WIN

bool ReadPrivateFile(const std::string& file, QByteArray& text, std::string& error) {
    // The profile's access list keeps a file private on Windows; its mode says nothing.
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (in == nullptr) {
        error = "cannot read the passphrase file " + file;
        return false;
    }
    char buffer[4096];
    const size_t got = std::fread(buffer, 1, sizeof buffer, in);
    std::fclose(in);
    text = QByteArray(buffer, static_cast<int>(got));
    return true;
}

// False when standard input is no console.
bool FromTerminal(const QString& prompt, QByteArray& typed, bool& terminal) {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    terminal = in != INVALID_HANDLE_VALUE && GetConsoleMode(in, &mode);
    if (!terminal) {
        return false;
    }
    // Echo off before the prompt: what is typed after it is never shown.
    SetConsoleMode(in, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::fputs(Local(prompt).c_str(), stderr);
    std::fflush(stderr);
    wchar_t buffer[kMostBytes];
    DWORD got = 0;
    const bool read = ReadConsoleW(in, buffer, kMostBytes - 1, &got, nullptr) != 0;
    SetConsoleMode(in, mode);
    std::fputc('\n', stderr);
    QString line = QString::fromWCharArray(buffer, read ? static_cast<int>(got) : 0);
    SecureZeroMemory(buffer, sizeof buffer);
    while (line.endsWith('\n') || line.endsWith('\r')) {
        line.chop(1);
    }
    typed = line.toUtf8();
    line.fill(QChar('\0'));
    return read;
}

#else

bool ReadPrivateFile(const std::string& file, QByteArray& text, std::string& error) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot read the passphrase file " + file + ": " + std::strerror(errno);
        return false;
    }
    struct stat info;
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (!ok) {
        error = "the passphrase file " + file + " is not a file";
    } else if ((info.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 0777));
        error = "the passphrase file " + file + " may be read by other users (mode " + mode +
                "): it must be private to its owner (chmod 600 " + file + ")";
        ok = false;
    } else {
        char buffer[4096];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        ok = got >= 0;
        text = QByteArray(buffer, ok ? static_cast<int>(got) : 0);
        std::memset(buffer, 0, sizeof buffer);
        if (!ok) {
            error = "cannot read the passphrase file " + file;
        }
    }
    close(fd);
    return ok;
}

struct termios g_before;

// Ctrl-C at the prompt ends the program as it would, but with the terminal's echo back on.
void RestoreAndEnd(int signal) {
    tcsetattr(STDIN_FILENO, TCSANOW, &g_before);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// False when standard input is no terminal.
bool FromTerminal(const QString& prompt, QByteArray& typed, bool& terminal) {
    terminal = isatty(STDIN_FILENO) == 1 && tcgetattr(STDIN_FILENO, &g_before) == 0;
    if (!terminal) {
        return false;
    }
    struct termios quiet = g_before;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ICANON;
    struct sigaction restore = {};
    restore.sa_handler = RestoreAndEnd;
    struct sigaction interrupted = {};
    struct sigaction terminated = {};
    sigaction(SIGINT, &restore, &interrupted);
    sigaction(SIGTERM, &restore, &terminated);
    // Echo off before the prompt: what is typed after it is never shown, nor thrown away.
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::fputs(Local(prompt).c_str(), stderr);
    std::fflush(stderr);
    typed.clear();
    char c = 0;
    bool ended = false;
    while (typed.size() < kMostBytes) {
        const ssize_t got = read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        ended = got == 1 && c == '\n';
        if (got != 1 || c == '\n') {
            break;
        }
        typed += c;
    }
    tcsetattr(STDIN_FILENO, TCSANOW, &g_before);
    sigaction(SIGINT, &interrupted, nullptr);
    sigaction(SIGTERM, &terminated, nullptr);
    std::fputc('\n', stderr);
    if (typed.endsWith('\r')) {
        typed.chop(1);
    }
    return ended;
}

#endif

} // namespace

void ForgetPassphrase(QByteArray& passphrase) {
    passphrase.fill('\0');
    passphrase.clear();
}

bool ReadPassphrase(const std::string& file, const QString& prompt, bool confirm,
                    QByteArray& passphrase, std::string& error) {
    passphrase.clear();
    if (!file.empty()) {
        QByteArray text;
        if (!ReadPrivateFile(file, text, error)) {
            return false;
        }
        passphrase = FirstLine(text);
        ForgetPassphrase(text);
        if (passphrase.isEmpty()) {
            error = "the passphrase file " + file + " holds no passphrase on its first line";
            return false;
        }
        return true;
    }
    bool terminal = false;
    if (!FromTerminal(prompt, passphrase, terminal)) {
        error = terminal ? std::string("no passphrase was typed")
                         : std::string("no terminal to ask the passphrase on: give "
                                       "--passphrase-file FILE (a file only you can read)");
        ForgetPassphrase(passphrase);
        return false;
    }
    if (confirm) {
        QByteArray again;
        const bool typed = FromTerminal("The same passphrase again: ", again, terminal);
        const bool same = typed && again == passphrase;
        ForgetPassphrase(again);
        if (!same) {
            error = "the two passphrases typed differ: nothing was made";
            ForgetPassphrase(passphrase);
            return false;
        }
    }
    return true;
}

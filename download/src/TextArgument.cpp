#include "download/TextArgument.h"

#include <QByteArray>
#include <QStringDecoder>

#include "archive/StoredText.h"

#ifdef Q_OS_WIN
#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>
#endif

namespace {

#ifdef Q_OS_WIN
// Windows hands a program its arguments in the ANSI code page, a character it lacks as '?'; the
// wide command line still holds what was typed. True when an argument (or the value after an
// option's '=') reads as `bytes` only because a character of it was lost so.
bool LostToCodePage(const QByteArray& bytes) {
    if (!bytes.contains('?')) {
        return false;
    }
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return false;
    }
    bool lost = false;
    for (int i = 0; i < count && !lost; ++i) {
        const QString typed = QString::fromWCharArray(wide[i]);
        const QByteArray given = typed.toLocal8Bit();
        lost = QString::fromLocal8Bit(given) != typed &&
               (given == bytes || given.endsWith('=' + bytes));
    }
    LocalFree(wide);
    return lost;
}
#endif

} // namespace

bool ReadTextArgument(const std::string& bytes, QString& text, std::string& why) {
    const QByteArray given(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QStringDecoder decode(QStringDecoder::System, QStringDecoder::Flag::Stateless);
    text = decode(given);
    if (decode.hasError()) {
#ifdef Q_OS_WIN
        why = "is not text in this system's code page";
#else
        why = "is not valid UTF-8: a name or text must be UTF-8 text";
#endif
        return false;
    }
#ifdef Q_OS_WIN
    if (LostToCodePage(given)) {
        why = "holds a character this system's code page cannot represent (it arrived as '?')";
        return false;
    }
#endif
    const QString problem = archive::OneLineProblem(text);
    if (!problem.isEmpty()) {
        why = problem.toStdString();
        return false;
    }
    return true;
}

// One-line texts: what the archive takes from a user, and how a view shows what it holds.
#include "archive/StoredText.h"

namespace archive {
namespace {

bool IsControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

// The character as OneLine shows it: "\n", "\x1b", "\u{2028}".
QString Escaped(char16_t c) {
    switch (c) {
    case '\n':
        return QStringLiteral("\\n");
    case '\r':
        return QStringLiteral("\\r");
    case '\t':
        return QStringLiteral("\\t");
    default:
        break;
    }
    return c <= 0xFF ? QStringLiteral("\\x%1").arg(static_cast<unsigned>(c), 2, 16, QChar('0'))
                     : QStringLiteral("\\u{%1}").arg(static_cast<unsigned>(c), 4, 16, QChar('0'));
}

} // namespace

bool IsOneLineText(const QString& text) {
    for (const QChar c : text) {
        if (IsControl(c.unicode())) {
            return false;
        }
    }
    return true;
}

QString OneLineProblem(const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!IsControl(u)) {
            continue;
        }
        const QString what = u == '\n' || u == '\r' ? QStringLiteral("a line break")
                             : u == 0x2028          ? QStringLiteral("a line separator")
                             : u == 0x2029          ? QStringLiteral("a paragraph separator")
                             : u == '\t'            ? QStringLiteral("a tab")
                                                    : QStringLiteral("the control character");
        const QString shown = what.startsWith("the ") ? ' ' + Escaped(u) : " (" + Escaped(u) + ')';
        return "holds " + what + shown + ": it must be one line of text";
    }
    return QString();
}

QString OneLine(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\\') {
            shown += QStringLiteral("\\\\");
        } else if (IsControl(u)) {
            shown += Escaped(u);
        } else {
            shown += c;
        }
    }
    return shown;
}

} // namespace archive

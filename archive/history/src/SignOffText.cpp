// What a sign-off's history row says of its scope, written and read back in one place.
#include "SignOffText.h"

#include <QDate>
#include <QLocale>
#include <algorithm>

namespace archive {
namespace {

QString Quoted(const QString& text) {
    QString quoted = text;
    quoted.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + quoted + '"';
}

// Reads a text's parts from the start on; each step false when the text does not go on so.
class TextReader {
public:
    explicit TextReader(const QString& text) : m_text(text) {}

    bool Word(const QString& word) {
        if (!m_text.mid(m_at).startsWith(word)) {
            return false;
        }
        m_at += word.size();
        return true;
    }

    // A quoted text, its escapes undone. A backslash before anything but a quote or another
    // backslash stands for itself, as rows written before quotes were escaped have it.
    bool Quoted(QString& text) {
        if (!Word("\"")) {
            return false;
        }
        text.clear();
        while (m_at < m_text.size()) {
            const QChar c = m_text[m_at++];
            if (c == '"') {
                return true;
            }
            if (c == '\\' && m_at < m_text.size() &&
                (m_text[m_at] == '"' || m_text[m_at] == '\\')) {
                text += m_text[m_at++];
            } else {
                text += c;
            }
        }
        return false;
    }

    bool Day(QString& day) {
        day = m_text.mid(m_at, 10);
        if (day.size() != 10 || !QDate::fromString(day, "yyyy-MM-dd").isValid()) {
            return false;
        }
        m_at += 10;
        return true;
    }

    QString Rest() const { return m_text.mid(m_at); }

private:
    const QString& m_text;
    int m_at = 0;
};

} // namespace

QString SignOffScopeText(const SignOffScope& scope) {
    const QString what = scope.instrument.isEmpty() ? QString("every instrument")
                                                    : "instrument " + Quoted(scope.instrument);
    QString period;
    if (!scope.from.isEmpty() && !scope.to.isEmpty()) {
        period = " from " + scope.from + " to " + scope.to;
    } else if (!scope.from.isEmpty()) {
        period = " from " + scope.from;
    } else if (!scope.to.isEmpty()) {
        period = " up to " + scope.to;
    }
    return what + period;
}

QString SignOffText(const SignOffScope& scope, qint64 sessions) {
    const QString count = QLocale(QLocale::English, QLocale::UnitedStates).toString(sessions);
    return QString("signed off as %1: %2, %3 %4")
        .arg(Quoted(scope.meaning), SignOffScopeText(scope), count,
             sessions == 1 ? "session" : "sessions");
}

bool ReadSignOffText(const QString& text, SignOffScope& scope) {
    scope = SignOffScope();
    TextReader read(text);
    if (!read.Word("signed off as ") || !read.Quoted(scope.meaning) || !read.Word(": ")) {
        return false;
    }
    if (!read.Word("every instrument") &&
        !(read.Word("instrument ") && read.Quoted(scope.instrument) &&
          !scope.instrument.isEmpty())) {
        return false;
    }
    if (read.Word(" from ")) {
        if (!read.Day(scope.from) || (read.Word(" to ") && !read.Day(scope.to))) {
            return false;
        }
    } else if (read.Word(" up to ") && !read.Day(scope.to)) {
        return false;
    }
    // The count the row ends with: ", 12 sessions".
    const QString rest = read.Rest();
    if (!rest.startsWith(", ") || !(rest.endsWith(" session") || rest.endsWith(" sessions"))) {
        return false;
    }
    const QString count = rest.mid(2, rest.lastIndexOf(' ') - 2);
    return !count.isEmpty() &&
           std::all_of(count.begin(), count.end(), [](QChar c) { return c.isDigit() || c == ','; });
}

} // namespace archive

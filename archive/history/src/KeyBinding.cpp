// A personal key's binding to its printed name.
#include "archive/KeyBinding.h"

#include "archive/HistoryChain.h"

namespace archive {
namespace {

const char kKey[] = "key ";
const char kOf[] = " is the personal key of ";

} // namespace

QString QuotedName(const QString& name) {
    QString quoted;
    for (const QChar c : name) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
                   c == QChar::ParagraphSeparator) {
            quoted += QString("\\x%1").arg(c.unicode(), 2, 16, QChar('0'));
        } else {
            quoted += c;
        }
    }
    return '"' + quoted + '"';
}

QString BindingText(const QString& publicHex, const QString& name) {
    return kKey + publicHex + kOf + QuotedName(name);
}

bool ReadBindingText(const QString& text, QString& publicHex, QString& name) {
    const int keyAt = static_cast<int>(sizeof kKey) - 1;
    const int nameAt = keyAt + 64 + static_cast<int>(sizeof kOf) - 1;
    publicHex = text.mid(keyAt, 64);
    if (!text.startsWith(kKey) || !IsHex64(publicHex) ||
        text.mid(keyAt + 64, nameAt - keyAt - 64) != kOf || text.size() < nameAt + 2 ||
        text[nameAt] != '"' || !text.endsWith('"')) {
        return false;
    }
    name.clear();
    for (int i = nameAt + 1; i < text.size() - 1; ++i) {
        QChar c = text[i];
        if (c == '"') {
            return false; // a quote inside is always escaped
        }
        if (c == '\\') {
            if (++i >= text.size() - 1 || (text[i] != '"' && text[i] != '\\')) {
                return false;
            }
            c = text[i];
        }
        name += c;
    }
    return !name.isEmpty();
}

} // namespace archive

#include "ArchiveLocation.h"

#include <QFileInfo>
#include <QStringList>
#include <QUrl>

namespace archive {
namespace {

// A server address as typed, its password and options left out (for one too malformed to read).
QString WithoutPassword(const QString& text, int schemeLength) {
    const int at = text.lastIndexOf('@');
    const int colon = text.indexOf(':', schemeLength);
    const QString shown =
        at < 0 || colon < 0 || colon > at ? text : text.left(colon) + text.mid(at);
    return shown.left(shown.indexOf('?', shown.lastIndexOf('@') + 1));
}

// libpq's options that a location may carry: how the connection is secured, never a secret.
const char* const kOptionNames[] = {"sslmode", "sslrootcert", "sslcert", "sslkey", "sslcrl"};
const char* const kSslModes[] = {"disable", "allow",     "prefer",
                                 "require", "verify-ca", "verify-full"};

template <size_t N> bool OneOf(const QString& text, const char* const (&names)[N]) {
    for (const char* name : names) {
        if (text == QLatin1String(name)) {
            return true;
        }
    }
    return false;
}

template <size_t N> QString Listed(const char* const (&names)[N]) {
    QStringList list;
    for (const char* name : names) {
        list << name;
    }
    return list.join(", ");
}

// The query of a server address: "sslmode=require&sslrootcert=%2Fetc%2Fteam.crt".
// Its messages name the option, never the value that may be a secret given in the wrong place.
bool ParseOptions(const QString& query, ArchiveLocation& location, QString& message) {
    for (const QString& pair : query.split('&', Qt::SkipEmptyParts)) {
        const int equals = pair.indexOf('=');
        const QString name = pair.left(equals);
        const QString value = QUrl::fromPercentEncoding(pair.mid(equals + 1).toUtf8());
        if (!OneOf(name, kOptionNames)) {
            message = "\"" + name + "\" is not an option of an archive's address (" +
                      Listed(kOptionNames) + ")";
            return false;
        }
        if (equals < 0 || value.isEmpty() || value.contains(';')) {
            message = "the option " + name + " of an archive's address needs a value (without ';')";
            return false;
        }
        if (name == "sslmode" && !OneOf(value, kSslModes)) {
            message = "sslmode of an archive's address is one of " + Listed(kSslModes);
            return false;
        }
        location.options.append({name, value});
    }
    return true;
}

} // namespace

bool ParseArchiveLocation(const QString& text, ArchiveLocation& location, QString& message) {
    location = ArchiveLocation();
    QString rest;
    int schemeLength = 0;
    for (const char* scheme : {"postgresql://", "postgres://"}) {
        if (text.startsWith(QLatin1String(scheme), Qt::CaseInsensitive)) {
            schemeLength = static_cast<int>(qstrlen(scheme));
            rest = text.mid(schemeLength);
            location.server = true;
        }
    }
    if (!location.server) {
        location.file = text;
        return true;
    }
    const QString shown = WithoutPassword(text, schemeLength);
    const QString expected =
        "expected postgresql://user@host[:port]/database, not \"" + shown + "\"";
    const int at = rest.lastIndexOf('@');
    const int slash = rest.indexOf('/', at + 1);
    if (at <= 0 || slash < 0 || slash == rest.size() - 1) {
        message = expected;
        return false;
    }
    QString user = rest.left(at);
    const int colon = user.indexOf(':');
    if (colon >= 0) {
        location.password = QUrl::fromPercentEncoding(user.mid(colon + 1).toUtf8());
        user = user.left(colon);
    }
    location.user = QUrl::fromPercentEncoding(user.toUtf8());
    QString host = rest.mid(at + 1, slash - at - 1);
    const int portColon = host.lastIndexOf(':');
    if (portColon >= 0) {
        bool ok = false;
        location.port = host.mid(portColon + 1).toInt(&ok);
        if (!ok || location.port <= 0 || location.port > 65535) {
            message = "the port of \"" + shown + "\" is not a number from 1 to 65535";
            return false;
        }
        host = host.left(portColon);
    }
    location.host = QUrl::fromPercentEncoding(host.toUtf8());
    QString database = rest.mid(slash + 1);
    const int question = database.indexOf('?');
    if (question >= 0) {
        if (!ParseOptions(database.mid(question + 1), location, message)) {
            return false;
        }
        database.truncate(question);
    }
    location.database = QUrl::fromPercentEncoding(database.toUtf8());
    if (location.user.isEmpty() || location.host.isEmpty() || location.database.isEmpty() ||
        location.database.contains('/')) {
        message = expected;
        return false;
    }
    return true;
}

QString DescribeLocation(const ArchiveLocation& location) {
    if (!location.server) {
        return location.file;
    }
    QStringList query;
    for (const auto& option : location.options) {
        query << option.first + '=' + QString::fromLatin1(QUrl::toPercentEncoding(option.second));
    }
    // One pass: a host written with %2F would otherwise be taken for a place of the next value.
    return QString("postgresql://%1@%2:%3/%4%5")
        .arg(location.user, QString::fromLatin1(QUrl::toPercentEncoding(location.host)),
             QString::number(location.port), location.database,
             query.isEmpty() ? QString() : '?' + query.join('&'));
}

QString ConnectOptions(const ArchiveLocation& location, const QString& own) {
    QStringList options{own};
    for (const auto& option : location.options) {
        // libpq's quoting: a value in single quotes, its quotes and backslashes escaped (a
        // Windows path has both spaces and backslashes).
        QString value = option.second;
        value.replace('\\', "\\\\").replace('\'', "\\'");
        options << option.first + "='" + value + '\'';
    }
    return options.join(';');
}

} // namespace archive

namespace archive {

QString ShownLocation(const QString& text) {
    ArchiveLocation location;
    QString message;
    if (!ParseArchiveLocation(text, location, message)) {
        return WithoutPassword(text, text.indexOf("://") + 3);
    }
    // A file by its whole path: a name relative to where a command ran means nothing elsewhere.
    return location.server ? DescribeLocation(location)
                           : QFileInfo(location.file).absoluteFilePath();
}

} // namespace archive

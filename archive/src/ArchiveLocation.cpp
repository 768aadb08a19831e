#include "ArchiveLocation.h"

#include <QUrl>

namespace archive {
namespace {

// A server address as typed, its password left out (for one too malformed to read).
QString WithoutPassword(const QString& text, int schemeLength) {
    const int at = text.lastIndexOf('@');
    const int colon = text.indexOf(':', schemeLength);
    if (at < 0 || colon < 0 || colon > at) {
        return text;
    }
    return text.left(colon) + text.mid(at);
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
    location.database = QUrl::fromPercentEncoding(rest.mid(slash + 1).toUtf8());
    if (location.user.isEmpty() || location.host.isEmpty() || location.database.contains('/')) {
        message = expected;
        return false;
    }
    return true;
}

QString DescribeLocation(const ArchiveLocation& location) {
    if (!location.server) {
        return location.file;
    }
    // One pass: a host written with %2F would otherwise be taken for a place of the next value.
    return QString("postgresql://%1@%2:%3/%4")
        .arg(location.user, QString::fromLatin1(QUrl::toPercentEncoding(location.host)),
             QString::number(location.port), location.database);
}

} // namespace archive

namespace archive {

QString ShownLocation(const QString& text) {
    ArchiveLocation location;
    QString message;
    if (ParseArchiveLocation(text, location, message)) {
        return DescribeLocation(location);
    }
    return WithoutPassword(text, text.indexOf("://") + 3);
}

} // namespace archive

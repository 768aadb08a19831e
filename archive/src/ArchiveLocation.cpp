#include "ArchiveLocation.h"

#include <QUrl>

namespace archive {

bool ParseArchiveLocation(const QString& text, ArchiveLocation& location, QString& message) {
    location = ArchiveLocation();
    QString rest;
    for (const char* scheme : {"postgresql://", "postgres://"}) {
        if (text.startsWith(QLatin1String(scheme), Qt::CaseInsensitive)) {
            rest = text.mid(static_cast<int>(qstrlen(scheme)));
            location.server = true;
        }
    }
    if (!location.server) {
        location.file = text;
        return true;
    }
    const QString expected =
        "expected postgresql://user@host[:port]/database, not \"" + text + "\"";
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
            message = "the port of \"" + text + "\" is not a number from 1 to 65535";
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
    return QString("postgresql://%1@%2:%3/%4")
        .arg(location.user, QString::fromLatin1(QUrl::toPercentEncoding(location.host)))
        .arg(location.port)
        .arg(location.database);
}

} // namespace archive

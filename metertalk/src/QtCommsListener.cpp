#include "metertalk/QtCommsListener.h"

#include <QMetaObject>

QtCommsListener::QtCommsListener(QObject* parent) : QObject(parent) {}

void QtCommsListener::OnCommsEvent(CommsEvent event) {
    // Queued even on the own thread: the owner acts after the engine call has returned.
    QMetaObject::invokeMethod(
        this, [this, event] { emit notified(event); }, Qt::QueuedConnection);
}

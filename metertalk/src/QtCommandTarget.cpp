#include "metertalk/QtCommandTarget.h"

#include <QMetaObject>

QtCommandTarget::QtCommandTarget(QObject* parent) : QObject(parent) {}

void QtCommandTarget::PostCommand(int id) {
    // Queued even on the own thread: the handler must run after the engine call has returned.
    QMetaObject::invokeMethod(
        this, [this, id] { emit command(id); }, Qt::QueuedConnection);
}

#pragma once

#include "metertalk/CommsListener.h"
#include "metertalk/MeterTalkExport.h"

#include <QObject>

// Delivers an engine's events through the Qt event loop: OnCommsEvent returns at once and
// notified(event) is emitted later, from the loop, in the order the engine told them.
class METERTALK_EXPORT QtCommsListener : public QObject, public CommsListener {
    Q_OBJECT
public:
    explicit QtCommsListener(QObject* parent = nullptr);
    void OnCommsEvent(CommsEvent event) override;

signals:
    void notified(CommsEvent event);
};

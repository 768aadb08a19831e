#pragma once

#include "metertalk/CommandTarget.h"
#include "metertalk/MeterTalkExport.h"

#include <QObject>

// Delivers posted ids through the Qt event loop: PostCommand returns at once and command(id) is
// emitted later, from the loop, in posting order.
class METERTALK_EXPORT QtCommandTarget : public QObject, public CommandTarget {
    Q_OBJECT
public:
    explicit QtCommandTarget(QObject* parent = nullptr);
    void PostCommand(int id) override;

signals:
    void command(int id);
};

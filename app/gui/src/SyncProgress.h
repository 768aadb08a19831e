#pragma once

#include <QProgressDialog>

class BackgroundSync;

// File > Sync Now's progress: the sessions of the program's archive looked at so far, and Cancel,
// which asks the sync to stop after the batch it is writing (the next sync takes the rest). It
// closes itself when the sync ends, whose result the window tells.
class SyncProgress : public QProgressDialog {
    Q_OBJECT
public:
    SyncProgress(BackgroundSync& sync, const QString& target, QWidget* parent);
};

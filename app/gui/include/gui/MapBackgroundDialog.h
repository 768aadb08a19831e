#pragma once

#include "gui/MapBackground.h"

#include <QDialog>
#include <QString>

#include <functional>

class QLineEdit;
class QPushButton;
class QRadioButton;

// View > Map Background...: the plain grid, an MBTiles file, or a tile server's address template
// with its attribution.
class MapBackgroundDialog : public QDialog {
    Q_OBJECT
public:
    // `askFile` asks for an MBTiles file (empty: cancelled); null: the file dialog.
    explicit MapBackgroundDialog(const MapBackgroundChoice& choice, QWidget* parent = nullptr,
                                 std::function<QString(QWidget*)> askFile = {});

    // What the fields say now.
    MapBackgroundChoice Choice() const;

    QRadioButton* GridButton() const { return grid_; }
    QRadioButton* FileButton() const { return file_; }
    QRadioButton* ServerButton() const { return server_; }
    QLineEdit* FileField() const { return filePath_; }
    QLineEdit* ServerField() const { return serverAddress_; }
    QLineEdit* AttributionField() const { return attribution_; }

private:
    void EnableFields();
    void Browse();

    std::function<QString(QWidget*)> askFile_;
    QRadioButton* grid_;
    QRadioButton* file_;
    QRadioButton* server_;
    QLineEdit* filePath_;
    QPushButton* browse_;
    QLineEdit* serverAddress_;
    QLineEdit* attribution_;
};

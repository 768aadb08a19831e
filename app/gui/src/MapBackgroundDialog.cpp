#include "gui/MapBackgroundDialog.h"

#include "textfit/TextFit.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

MapBackgroundDialog::MapBackgroundDialog(const MapBackgroundChoice& choice, QWidget* parent,
                                         std::function<QString(QWidget*)> askFile)
    : QDialog(parent), askFile_(std::move(askFile)) {
    setWindowTitle("Map Background");
    setObjectName("MapBackgroundDialog");
    grid_ = new QRadioButton("None: a grid of latitude and longitude lines");
    grid_->setObjectName("mapGridButton");
    file_ = new QRadioButton("Tiles from an MBTiles file (offline)");
    file_->setObjectName("mapFileButton");
    filePath_ = new QLineEdit(choice.tileFile);
    filePath_->setObjectName("mapFileField");
    browse_ = new QPushButton("Browse...");
    server_ = new QRadioButton("Tiles from a tile server (online)");
    server_->setObjectName("mapServerButton");
    serverAddress_ = new QLineEdit(choice.tileServer);
    serverAddress_->setObjectName("mapServerField");
    serverAddress_->setPlaceholderText("https://tiles.example.org/{z}/{x}/{y}.png");
    FitPlaceholder(*serverAddress_);
    attribution_ = new QLineEdit(choice.attribution);
    attribution_->setObjectName("mapAttributionField");
    attribution_->setPlaceholderText("the server's terms name what to show, e.g. © its makers");
    FitPlaceholder(*attribution_);

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(filePath_, 1);
    fileRow->addWidget(browse_);
    auto* serverFields = new QFormLayout;
    serverFields->addRow("Address", serverAddress_);
    serverFields->addRow("Attribution", attribution_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_);
    layout->addWidget(file_);
    layout->addLayout(fileRow);
    layout->addWidget(server_);
    layout->addLayout(serverFields);
    auto* note = new QLabel("The map never needs a background: without one, or where the tiles "
                            "have no picture, it draws its grid.");
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addWidget(buttons);

    switch (choice.kind) {
    case MapBackgroundChoice::Kind::Grid:
        grid_->setChecked(true);
        break;
    case MapBackgroundChoice::Kind::TileFile:
        file_->setChecked(true);
        break;
    case MapBackgroundChoice::Kind::TileServer:
        server_->setChecked(true);
        break;
    }
    for (QRadioButton* button : {grid_, file_, server_}) {
        connect(button, &QRadioButton::toggled, this, [this] { EnableFields(); });
    }
    connect(browse_, &QPushButton::clicked, this, [this] { Browse(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    EnableFields();
    resize(qMax(sizeHint().width(), 520), sizeHint().height());
}

MapBackgroundChoice MapBackgroundDialog::Choice() const {
    MapBackgroundChoice choice;
    choice.kind = file_->isChecked()     ? MapBackgroundChoice::Kind::TileFile
                  : server_->isChecked() ? MapBackgroundChoice::Kind::TileServer
                                         : MapBackgroundChoice::Kind::Grid;
    choice.tileFile = filePath_->text().trimmed();
    choice.tileServer = serverAddress_->text().trimmed();
    choice.attribution = attribution_->text().trimmed();
    return choice;
}

void MapBackgroundDialog::EnableFields() {
    filePath_->setEnabled(file_->isChecked());
    browse_->setEnabled(file_->isChecked());
    serverAddress_->setEnabled(server_->isChecked());
    attribution_->setEnabled(server_->isChecked());
}

void MapBackgroundDialog::Browse() {
    const QString path =
        askFile_ ? askFile_(this)
                 : QFileDialog::getOpenFileName(this, "Map Tiles", filePath_->text(),
                                                "MBTiles tile stores (*.mbtiles);;All files (*)");
    if (!path.isEmpty()) {
        filePath_->setText(path);
    }
}

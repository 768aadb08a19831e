#include "PortDialog.h"

#include "linkselect/PipeLink.h"
#include "linkselect/PortDialogHost.h"
#include "textfit/TextFit.h"
#include "ui_PortDialog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>

namespace {

// Port and device names come from the system in its own 8-bit encoding (the ANSI code page on
// Windows, UTF-8 elsewhere).
QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

// The template's status line has no room to say why the list is empty: its edit field does, in
// short (the list grown to show it whole), and its tip in full. The dialog is shown only once the
// pipe was found not served.
const char kEmptyListNote[] = "No serial ports found, no companion pipe";
QString EmptyListTip() {
    return QString("No serial port was found (cable, USB adapter or paired Bluetooth device), and "
                   "no companion program serves the pipe \"%1\". Connect the instrument or "
                   "start the companion program, then open this dialog again.")
        .arg(kCompanionPipeName);
}

} // namespace

CPort::CPort(PortDialogLogic& logic, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      logic_(logic), ui_(std::make_unique<Ui::PortDialog>()) {
    ui_->setupUi(this);
    timer_.setInterval(PortDialogLogic::kTimerPeriodMs);
    connect(&timer_, &QTimer::timeout, this, &CPort::Tick);
    connect(ui_->selectButton, &QPushButton::clicked, this, [this] {
        logic_.OnSelect();
        AfterEvent();
    });
    connect(ui_->cancelButton, &QPushButton::clicked, this, [this] {
        logic_.OnCancel();
        AfterEvent();
    });
    // The list's edit field would keep Enter and Escape to itself; the dialog acts on them.
    ui_->portList->installEventFilter(this);
    if (ui_->portList->lineEdit() != nullptr) {
        ui_->portList->lineEdit()->installEventFilter(this);
    }
    connect(ui_->portList, &QComboBox::editTextChanged, this, [this](const QString& text) {
        if (!rendering_) {
            logic_.SetEditText(text.toLocal8Bit().toStdString());
        }
    });
}

CPort::~CPort() = default;

int CPort::Run() {
    logic_.OnInitDialog();
    Render();
    if (logic_.Ended()) {
        return logic_.Result();
    }
    if (logic_.TimerRunning()) {
        timer_.start();
    }
    return exec();
}

QWidget* CPort::Control(int id) const {
    switch (id) {
    case PortDialogLogic::kCancelButton:
        return ui_->cancelButton;
    case PortDialogLogic::kSelectButton:
        return ui_->selectButton;
    case PortDialogLogic::kCaptionLine:
        return ui_->captionLine;
    case PortDialogLogic::kPortList:
        return ui_->portList;
    case PortDialogLogic::kStatusLine:
        return ui_->statusLine;
    }
    return nullptr;
}

void CPort::Tick() {
    logic_.OnTimer(PortDialogLogic::kTimerId);
    AfterEvent();
}

bool CPort::HandleKey(int key) {
    // Enter ends the dialog as OK whatever has focus; Escape is Cancel.
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        logic_.OnOk();
        AfterEvent();
        return true;
    }
    if (key == Qt::Key_Escape) {
        logic_.OnCancel();
        AfterEvent();
        return true;
    }
    return false;
}

bool CPort::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && HandleKey(static_cast<QKeyEvent*>(event)->key())) {
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CPort::keyPressEvent(QKeyEvent* event) {
    if (!HandleKey(event->key())) {
        QDialog::keyPressEvent(event);
    }
}

void CPort::closeEvent(QCloseEvent* event) {
    if (!logic_.Ended()) {
        logic_.OnCancel();
        AfterEvent();
    }
    if (logic_.Ended()) {
        event->accept();
    } else {
        event->ignore(); // Cancel opened a port: the dialog finishes after the switch
    }
}

void CPort::reject() {
    if (!logic_.Ended()) {
        logic_.OnCancel();
        AfterEvent();
    }
}

void CPort::AfterEvent() {
    Render();
    if (!logic_.TimerRunning()) {
        timer_.stop();
    }
    if (logic_.Ended()) {
        timer_.stop();
        done(logic_.Result());
    }
}

void CPort::Render() {
    rendering_ = true;
    for (int id : {PortDialogLogic::kCancelButton, PortDialogLogic::kSelectButton,
                   PortDialogLogic::kCaptionLine, PortDialogLogic::kPortList,
                   PortDialogLogic::kStatusLine}) {
        const auto control = static_cast<PortDialogLogic::Control>(id);
        Control(id)->setVisible(logic_.IsVisible(control));
        Control(id)->setEnabled(logic_.IsEnabled(control));
    }
    ui_->statusLine->setText(FromLocal(logic_.StatusText()));
    ui_->captionLine->setText(FromLocal(logic_.CaptionLineText()));

    QStringList items;
    for (const std::string& item : logic_.ListItems()) {
        items.append(FromLocal(item));
    }
    QStringList shown;
    for (int i = 0; i < ui_->portList->count(); ++i) {
        shown.append(ui_->portList->itemText(i));
    }
    if (shown != items) {
        ui_->portList->clear();
        ui_->portList->addItems(items);
    }
    if (ui_->portList->lineEdit() != nullptr) {
        ui_->portList->lineEdit()->setPlaceholderText(items.isEmpty() ? kEmptyListNote : "");
        FitList();
    }
    ui_->portList->setToolTip(items.isEmpty() ? EmptyListTip() : QString());
    if (ui_->portList->currentIndex() != logic_.SelectedItem()) {
        ui_->portList->setCurrentIndex(logic_.SelectedItem());
    }
    const QString edit = FromLocal(logic_.EditText());
    if (ui_->portList->currentText() != edit) {
        ui_->portList->setEditText(edit);
    }
    if (logic_.TakeDropDownRequest() && ui_->portList->isVisible()) {
        ui_->portList->showPopup();
    }
    rendering_ = false;
}

void CPort::FitList() {
    QComboBox* list = ui_->portList;
    const int needed = PlaceholderWidth(*list);
    if (needed <= list->width()) {
        return;
    }
    // The template's controls keep its margin on either side; where the note is wider than the
    // room between them, the dialog grows, its centred lines with it and its buttons half as far.
    const int margin = ui_->statusLine->x();
    const int grow = std::max(0, needed - (width() - 2 * margin));
    if (grow > 0) {
        setFixedWidth(width() + grow);
        for (QLabel* line : {ui_->captionLine, ui_->statusLine}) {
            line->resize(line->width() + grow, line->height());
        }
        for (QPushButton* button : {ui_->selectButton, ui_->cancelButton}) {
            button->move(button->x() + grow / 2, button->y());
        }
    }
    // Centred where the template centred it.
    const int centre = list->x() + list->width() / 2 + grow / 2;
    list->setGeometry(std::clamp(centre - needed / 2, margin, width() - margin - needed), list->y(),
                      needed, list->height());
}

int WidgetPortDialogHost::RunModal(PortDialogLogic& logic) {
    CPort dialog(logic);
    return dialog.Run();
}

#include "FilterDialog.h"

#include "ui_FilterDialog.h"

#include <QCheckBox>

namespace {

int32_t Flag(const QCheckBox* box) {
    return box->isChecked() ? 1 : 0;
}

} // namespace

FilterDialog::FilterDialog(QWidget* parent) : QWidget(parent), ui_(new Ui::FilterDialog) {
    ui_->setupUi(this);
    // clicked, not toggled: the handlers answer the user, not the data exchange.
    connect(ui_->id1019, &QCheckBox::clicked, this, [this] { OnShowAllLogs(); });
    for (QCheckBox* box : {ui_->id1018, ui_->id1020, ui_->id1022, ui_->id1023, ui_->id1033}) {
        connect(box, &QCheckBox::clicked, this, [this] { OnKindBox(); });
    }
}

FilterDialog::~FilterDialog() = default;

void FilterDialog::InitDialog() {
    Calibration = ShowAllLogs = Alarm = BumpTest = Manual = Timed = 1;
    UpdateData(false);
    ChangeFlag = 1;
}

void FilterDialog::UpdateData(bool saveAndValidate) {
    if (saveAndValidate) {
        Calibration = Flag(ui_->id1018);
        ShowAllLogs = Flag(ui_->id1019);
        Timed = Flag(ui_->id1020);
        Alarm = Flag(ui_->id1022);
        BumpTest = Flag(ui_->id1023);
        Manual = Flag(ui_->id1033);
    } else {
        ui_->id1018->setChecked(Calibration != 0);
        ui_->id1019->setChecked(ShowAllLogs != 0);
        ui_->id1020->setChecked(Timed != 0);
        ui_->id1022->setChecked(Alarm != 0);
        ui_->id1023->setChecked(BumpTest != 0);
        ui_->id1033->setChecked(Manual != 0);
    }
}

void FilterDialog::OnShowAllLogs() {
    UpdateData(true);
    ChangeFlag = 1;
    if (ShowAllLogs == 1) {
        Calibration = Alarm = BumpTest = Manual = Timed = 1;
    }
    UpdateData(false);
}

void FilterDialog::OnKindBox() {
    ChangeFlag = 1;
    UpdateData(true);
    // Unchecking one kind unchecks Show All Logs; checking every kind by hand does not check it.
    ShowAllLogs = 0;
    UpdateData(false);
}

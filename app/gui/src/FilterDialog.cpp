#include "gui/FilterDialog.h"

#include "textfit/TextFit.h"
#include "ui_FilterDialog.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QStringList>

#include <algorithm>

namespace {

int32_t Flag(const QCheckBox* box) {
    return box->isChecked() ? 1 : 0;
}

} // namespace

FilterDialog::FilterDialog(QWidget* parent) : QWidget(parent), ui_(new Ui::FilterDialog) {
    ui_->setupUi(this);
    // Row by row, left to right.
    const BoxPlace places[] = {{ui_->showAllLogsBox, 0, {}}, {ui_->timedBox, 1, {}},
                               {ui_->alarmBox, 1, {}},       {ui_->manualBox, 1, {}},
                               {ui_->bumpTestBox, 2, {}},    {ui_->calibrationBox, 2, {}}};
    for (size_t i = 0; i < kBoxCount; ++i) {
        places_[i] = places[i];
        places_[i].rect = places[i].box->geometry();
    }
    groupRect_ = ui_->filterGroup->geometry();
    templateSize_ = size();
    FitBoxes();
    // clicked, not toggled: the handlers answer the user, not the data exchange.
    connect(ui_->showAllLogsBox, &QCheckBox::clicked, this, [this] { OnShowAllLogs(); });
    for (QCheckBox* box :
         {ui_->calibrationBox, ui_->timedBox, ui_->alarmBox, ui_->bumpTestBox, ui_->manualBox}) {
        connect(box, &QCheckBox::clicked, this, [this] { OnKindBox(); });
    }
}

FilterDialog::~FilterDialog() = default;

void FilterDialog::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        FitBoxes();
    }
}

void FilterDialog::FitBoxes() {
    // Each box grows from its template position to its text. Should a wide font carry a box
    // into the next one of its row, that one moves along; the group and the child grow so that
    // every box stays inside the frame. A smaller font brings the template geometry back.
    constexpr int kGap = 6;
    int right = 0;
    int row = -1;
    int rowRight = 0;
    for (const BoxPlace& place : places_) {
        QCheckBox* box = place.box;
        box->setGeometry(place.rect);
        if (place.row == row && box->x() < rowRight + kGap) {
            box->move(rowRight + kGap, box->y());
        }
        row = place.row;
        rowRight = FitToText(box);
        right = std::max(right, rowRight);
    }
    QGroupBox* group = ui_->filterGroup;
    group->setGeometry(groupRect_);
    if (group->x() + group->width() < right + kGap) {
        group->resize(right + kGap - group->x(), group->height());
    }
    const int groupRight = group->x() + group->width();
    resize(std::max(templateSize_.width(),
                    groupRight + templateSize_.width() - (groupRect_.x() + groupRect_.width())),
           templateSize_.height());
}

void FilterDialog::InitDialog() {
    Calibration = ShowAllLogs = Alarm = BumpTest = Manual = Timed = 1;
    UpdateData(false);
}

void FilterDialog::UpdateData(bool saveAndValidate) {
    if (saveAndValidate) {
        Calibration = Flag(ui_->calibrationBox);
        ShowAllLogs = Flag(ui_->showAllLogsBox);
        Timed = Flag(ui_->timedBox);
        Alarm = Flag(ui_->alarmBox);
        BumpTest = Flag(ui_->bumpTestBox);
        Manual = Flag(ui_->manualBox);
    } else {
        ui_->calibrationBox->setChecked(Calibration != 0);
        ui_->showAllLogsBox->setChecked(ShowAllLogs != 0);
        ui_->timedBox->setChecked(Timed != 0);
        ui_->alarmBox->setChecked(Alarm != 0);
        ui_->bumpTestBox->setChecked(BumpTest != 0);
        ui_->manualBox->setChecked(Manual != 0);
    }
}

QString FilterDialog::HiddenNote() const {
    const struct {
        int32_t shown;
        const char* name;
    } kinds[] = {{Alarm, "alarm"},
                 {Manual, "manual"},
                 {Timed, "timed"},
                 {Calibration, "calibration"},
                 {BumpTest, "bump test"}};
    QStringList hidden;
    for (const auto& kind : kinds) {
        if (kind.shown == 0) {
            hidden << kind.name;
        }
    }
    if (hidden.isEmpty()) {
        return QString();
    }
    QString note = hidden.takeLast();
    if (!hidden.isEmpty()) {
        note = hidden.join(", ") + " and " + note;
    }
    note[0] = note[0].toUpper();
    return note + " lines hidden";
}

void FilterDialog::OnShowAllLogs() {
    UpdateData(true);
    if (ShowAllLogs == 1) {
        Calibration = Alarm = BumpTest = Manual = Timed = 1;
    }
    UpdateData(false);
    emit changed();
}

void FilterDialog::OnKindBox() {
    UpdateData(true);
    // Unchecking one kind unchecks Show All Logs; checking every kind by hand does not check it.
    ShowAllLogs = 0;
    UpdateData(false);
    emit changed();
}

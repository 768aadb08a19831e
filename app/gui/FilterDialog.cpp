#include "FilterDialog.h"

#include "TextFit.h"
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
    const BoxPlace places[] = {{ui_->id1019, 0, {}}, {ui_->id1020, 1, {}}, {ui_->id1022, 1, {}},
                               {ui_->id1033, 1, {}}, {ui_->id1023, 2, {}}, {ui_->id1018, 2, {}}};
    for (size_t i = 0; i < kBoxCount; ++i) {
        places_[i] = places[i];
        places_[i].rect = places[i].box->geometry();
    }
    groupRect_ = ui_->filterGroup->geometry();
    templateSize_ = size();
    FitBoxes();
    // clicked, not toggled: the handlers answer the user, not the data exchange.
    connect(ui_->id1019, &QCheckBox::clicked, this, [this] { OnShowAllLogs(); });
    for (QCheckBox* box : {ui_->id1018, ui_->id1020, ui_->id1022, ui_->id1023, ui_->id1033}) {
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

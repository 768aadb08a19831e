#include "gui/ProgramArchiving.h"

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "archive/DownloadArchive.h"
#include "archive/SessionArchive.h"
#include "archive/StoredText.h"
#include "compliance/InstrumentNeeds.h"
#include "compliance/SwitchOnStatus.h"
#include "core/LogImage.h"
#include "core/SessionTable.h"
#include "linkselect/Settings.h"
#include "session/DownloadSettings.h"
#include "session/SessionReader.h"

namespace {

const char* const kNewTip = "New: not yet in the archive";
const char* const kOverdueTip =
    "Used while overdue or failed: switched on when a bump test or calibration was overdue or "
    "had failed";
constexpr uint kFolderData = 0xFFFF;

} // namespace

namespace {

QString ArchiveLocation() {
    return QString::fromStdString(ReadDownloadSettings().archive);
}

} // namespace

ProgramArchiving::ProgramArchiving(std::function<void(const QString&)> tell)
    : m_tell(std::move(tell)) {
    const DownloadSettings settings = ReadDownloadSettings();
    m_enabled = settings.archiveDownloads;
    // The program downloads one instrument at a time.
    m_name = QString::fromStdString(ArchiveNameFor(std::string(), settings, true));
}

ProgramArchiving::~ProgramArchiving() {
    // The keeper tells its failures here: it finishes while this is still whole.
    if (m_reader != nullptr) {
        m_reader->SetKeeperMaker(nullptr);
        m_reader->StopKeeping();
    }
}

void ProgramArchiving::Attach(SessionReader& reader) {
    m_reader = &reader;
    reader.SetKeeperMaker([this]() -> std::unique_ptr<DownloadKeeper> {
        if (!m_enabled) {
            return nullptr;
        }
        m_arrived.clear();
        return std::make_unique<DownloadArchive>(
            ArchiveLocation(), m_name, false, [this](const QString& message) {
                if (!m_told && m_tell) {
                    m_tell("The archive could not be kept: " + message +
                           "\nThe reports are not affected.");
                }
                m_told = true;
            });
    });
}

void ProgramArchiving::SetEnabled(bool enabled) {
    m_enabled = enabled;
    WriteSetting("Archive Downloads", enabled ? "TRUE" : "FALSE");
    if (!enabled && m_reader != nullptr) {
        m_reader->StopKeeping();
    }
}

void ProgramArchiving::SetInstrumentName(const QString& name) {
    m_name = name.trimmed();
    WriteSetting("Archive Instrument", m_name.toStdString());
}

bool ProgramArchiving::ChangeInstrumentName(const QString& name, const NameChangeQuestion& ask) {
    const QString newName = name.trimmed();
    if (newName == m_name) {
        return false;
    }
    // A name is one line, as the command line's --instrument is; nothing is kept of one that is
    // not.
    const QString problem = archive::OneLineProblem(newName);
    if (!problem.isEmpty()) {
        if (m_tell) {
            m_tell("The instrument's name " + problem + ".");
        }
        return false;
    }
    // Asking whether the old name files anything makes no archive: without one, it files nothing.
    archive::SessionArchive store;
    if (m_name.isEmpty() ||
        !store.Open(ArchiveLocation(), archive::SessionArchive::OpenMode::ExistingOnly) ||
        store.FindInstruments(m_name).isEmpty()) {
        SetInstrumentName(newName); // nothing filed under the old name
        return true;
    }
    switch (ask(m_name, newName)) {
    case NameChange::Cancel:
        return false;
    case NameChange::AnotherInstrument:
        SetInstrumentName(newName);
        return true;
    case NameChange::Rename:
        break;
    }
    // Already so called in the archive (a name kept from before): nothing to rename, nothing
    // to tell.
    const archive::RenameResult renamed =
        newName.isEmpty() ? archive::RenameResult::Failed : store.RenameInstrument(m_name, newName);
    if (renamed != archive::RenameResult::Renamed && renamed != archive::RenameResult::Unchanged) {
        if (m_tell) {
            m_tell(newName.isEmpty() ? QString("An instrument in the archive needs a name.")
                                     : "The instrument was not renamed: " + store.Error());
        }
        return false;
    }
    SetInstrumentName(newName);
    return true;
}

void ProgramArchiving::AddActions(QMenu& menu, QAction* before) {
    QAction* keep = new QAction("Archive Uploads", &menu);
    menu.insertAction(before, keep);
    keep->setObjectName("actionArchiveUploads");
    keep->setCheckable(true);
    keep->setChecked(m_enabled);
    QObject::connect(keep, &QAction::toggled, [this](bool on) { SetEnabled(on); });
    QAction* name = new QAction("Instrument Name...", &menu);
    menu.insertAction(before, name);
    name->setObjectName("actionInstrumentName");
    QObject::connect(name, &QAction::triggered, [this, &menu] {
        bool ok = false;
        const QString text =
            QInputDialog::getText(menu.parentWidget(), "Instrument Name",
                                  "Name of this instrument in the archive (empty: the name it "
                                  "has there):",
                                  QLineEdit::Normal, m_name, &ok);
        if (!ok) {
            return;
        }
        ChangeInstrumentName(text, [&menu](const QString& oldName, const QString& newName) {
            QMessageBox box(QMessageBox::Question, "Instrument Name",
                            QString("The archive holds an instrument called \"%1\".\n\nRename "
                                    "it to \"%2\" (its sessions go with it), or file what "
                                    "comes next under \"%2\" as another instrument?")
                                .arg(oldName, newName),
                            QMessageBox::Cancel, menu.parentWidget());
            QPushButton* rename = box.addButton("Rename", QMessageBox::AcceptRole);
            QPushButton* another = box.addButton("Another Instrument", QMessageBox::ActionRole);
            box.exec();
            return box.clickedButton() == rename    ? NameChange::Rename
                   : box.clickedButton() == another ? NameChange::AnotherInstrument
                                                    : NameChange::Cancel;
        });
    });
}

void ProgramArchiving::RequestEnded(UploadRequest request, bool ok, const SessionReader& reader) {
    if (!ok || !m_enabled || !m_fromInstrument) {
        return;
    }
    if (request == UploadRequest::Index &&
        reader.IndexSectorCount() >= static_cast<int>(LogImage::kIndexSectors)) {
        TellService(reader);
    } else if (request == UploadRequest::Session && reader.Keeper() != nullptr &&
               m_arrived.insert(reader.CurrentSlot()).second) {
        // A session just archived may hold a test: the line says what the register says now,
        // not what it said at GO.
        TellService(reader);
    }
}

void ProgramArchiving::TellService(const SessionReader& reader) {
    m_usedOverdue.clear();
    const DownloadKeeper* keeper = reader.Keeper();
    if (!m_note || keeper == nullptr || keeper->InstrumentId() < 0) {
        return;
    }
    const compliance::InstrumentNeeds needs =
        compliance::NeedsOf(ArchiveLocation(), keeper->InstrumentId());
    if (!needs.read) {
        return;
    }
    QStringList lines;
    for (const std::string& line : needs.lines) {
        lines << QString::fromStdString(line);
    }
    m_note(lines);
    // The archive knows its sessions by their switch-on, the tree by slot.
    const std::set<uint32_t> stamps(needs.usedWhileOverdue.begin(), needs.usedWhileOverdue.end());
    for (int16_t slot = 0; slot < LogImage::kSlotCount; ++slot) {
        const SessionEntry* entry = reader.Table().FindSlot(slot);
        if (entry != nullptr && entry->undated == 0 && stamps.count(entry->startStamp) > 0) {
            m_usedOverdue.insert(slot);
        }
    }
}

QStringList ProgramArchiving::RegisterStatusesOf(const std::vector<int16_t>& shown) const {
    QStringList statuses;
    const DownloadKeeper* keeper = m_reader != nullptr ? m_reader->Keeper() : nullptr;
    if (!m_enabled || keeper == nullptr) {
        return statuses;
    }
    for (const std::string& status :
         compliance::SwitchOnStatusesOf(keeper, m_reader->Table(), shown)) {
        statuses << QString::fromStdString(status);
    }
    return statuses;
}

bool ProgramArchiving::IsNew(int16_t slot) const {
    return m_enabled && m_reader != nullptr && m_reader->Keeper() != nullptr &&
           !m_reader->Held(slot) && m_arrived.count(slot) == 0;
}

void ProgramArchiving::Mark(QTreeWidgetItem& item) const {
    const uint data = item.data(0, Qt::UserRole).toUInt() & 0xFFFF;
    if (data == kFolderData) {
        return;
    }
    const bool isNew = IsNew(static_cast<int16_t>(data));
    const bool overdue = UsedWhileOverdue(static_cast<int16_t>(data));
    // The node's own tip (what its tags mean) stays; the lines about the archive come after it.
    QString tip = item.toolTip(0);
    for (const char* line : {kNewTip, kOverdueTip}) {
        tip.remove("\n" + QString(line));
        if (tip == line) {
            tip.clear();
        }
    }
    for (const auto& line :
         {std::make_pair(isNew, kNewTip), std::make_pair(overdue, kOverdueTip)}) {
        if (line.first) {
            tip += (tip.isEmpty() ? "" : "\n") + QString(line.second);
        }
    }
    item.setToolTip(0, tip);
    // The label is the instrument's own text with its tags: the mark goes beside it.
    item.setIcon(0, overdue ? QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning)
                            : QIcon());
    QFont font = item.font(0);
    font.setBold(isNew);
    item.setFont(0, font);
}

void ProgramArchiving::MarkAll(QTreeWidget& tree) const {
    for (QTreeWidgetItemIterator it(&tree); *it != nullptr; ++it) {
        Mark(**it);
    }
}

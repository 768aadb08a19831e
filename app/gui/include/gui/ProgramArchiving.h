#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/BrowserView.h"
#include "session/ReaderEvents.h"

class LogImage;
class QAction;
class QMenu;
class QTreeWidget;
class QTreeWidgetItem;
class SessionReader;

// The program keeps what it uploads from the instrument in the archive, as `tavon-datalog
// download` does: the index after each GO and every session that arrives. Settings.ini names the
// archive ("Archive"), turns it off ("Archive Downloads=FALSE") and holds the instrument's name
// ("Archive Instrument"). An archive that cannot be opened or written is told once; the report
// goes on without it.
class ProgramArchiving {
public:
    // tell: shows a failure to the user.
    explicit ProgramArchiving(std::function<void(const QString&)> tell);
    ~ProgramArchiving();

    // Keeps what `reader` reads from the instrument, from its next index on.
    void Attach(SessionReader& reader);

    // Told, after each index from the instrument, what the connected instrument needs by the
    // archive's register ("Calibration of CO overdue since 2026-11-02"); empty when nothing.
    void SetServiceNote(std::function<void(const QStringList&)> note) { m_note = std::move(note); }

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);
    const QString& InstrumentName() const { return m_name; }
    void SetInstrumentName(const QString& name);
    // What a new name is for, when the archive holds an instrument under the old one: that
    // instrument renamed (its sessions with it), or what comes next filed as another instrument.
    enum class NameChange { Rename, AnotherInstrument, Cancel };
    using NameChangeQuestion =
        std::function<NameChange(const QString& oldName, const QString& newName)>;
    // Instrument Name...: `ask` is asked only when there is an instrument to rename. Returns
    // false when nothing changed (cancelled, or the archive refused the name: told).
    bool ChangeInstrumentName(const QString& name, const NameChangeQuestion& ask);
    // "Archive Uploads" and "Instrument Name..." in `menu`, before `before`.
    void AddActions(QMenu& menu, QAction* before);

    // Where the browser's data come from: only what the connected instrument sends is kept.
    void SetSource(DataSource source) { m_fromInstrument = source == DataSource::Instrument; }
    void RequestEnded(UploadRequest request, bool ok, const SessionReader& reader);
    // Not yet in the archive: a session of the last index that the archive did not hold complete
    // and that has not arrived since. Nothing is new while archiving is off or has failed.
    bool IsNew(int16_t slot) const;
    // A session of the last index that was switched on while the instrument was overdue or
    // failed on a sensor, by the archive's register.
    bool UsedWhileOverdue(int16_t slot) const { return m_usedOverdue.count(slot) > 0; }
    // Each session's register status at switch-on, as the survey record gives it (the archive's
    // register of the connected instrument); empty where the archive cannot tell.
    QStringList RegisterStatusesOf(const std::vector<int16_t>& shown) const;
    // Marks a session node of the tree (item data: its slot) new or not.
    void Mark(QTreeWidgetItem& item) const;
    void MarkAll(QTreeWidget& tree) const;

private:
    void TellService(const SessionReader& reader);

    std::function<void(const QString&)> m_tell;
    std::function<void(const QStringList&)> m_note;
    bool m_enabled = true;
    bool m_told = false;
    bool m_fromInstrument = true;
    QString m_name;
    SessionReader* m_reader = nullptr;
    std::set<int16_t> m_arrived;
    std::set<int16_t> m_usedOverdue;
};

#pragma once

#include <cstdint>
#include <string>

#include "core/SessionTable.h"
#include "session/ReaderEvents.h"

// Where the tree and the sessions the browser shows come from.
enum class DataSource {
    Instrument,        // the connected instrument: sessions are uploaded when chosen
    Dump,              // a saved dump: its name is the dump's path
    EarlierInstrument, // the instrument connected before: its name is what that one is called
};

// The window side of the program's presenter: the GUI's main dialog, or a recording fake in tests.
// All calls come on the thread that drives the presenter.
class BrowserView {
public:
    virtual ~BrowserView() = default;

    virtual void EnableGo(bool enable) = 0;
    virtual void EnableTree(bool enable) = 0;
    virtual void EnableNext(bool enable) = 0;
    // The progress of a request's upload: its range, then its position (0 when it has ended).
    virtual void SetProgressRange(UploadRequest request, int low, int high) = 0;
    virtual void SetProgressPos(UploadRequest request, int pos) = 0;

    // The tree: emptied, then filled in order. `id` numbers the nodes from 0 in insertion order,
    // `parent` is -1 for a month node. Month and day nodes carry item data 0xFFFF and are to be
    // made visible (expanded down to them); session nodes carry their slot.
    virtual void ClearTree() = 0;
    virtual void InsertNode(int id, int parent, const std::string& text, uint32_t itemData,
                            bool makeVisible) = 0;
    // Shows `id` as the selected node (-1: none). The browser has already handled the selection;
    // a view that reports it back through SessionBrowser::OnSessionSelected does no harm, as the
    // browser ignores a selection of the node that is already selected.
    virtual void SelectNode(int id) = 0;

    // The RTF report to show (the browser keeps the document itself; the view only displays it).
    virtual void SetReportText(const std::string& rtf) = 0;
    virtual void SetFullDayBox(bool checked) = 0;
    virtual void SetSessionBoxes(const SessionBoxes& boxes) = 0;

    // A Warning or an Error is a box with OK that returns when the user has closed it; the
    // browser brackets every box with SuspendTick / ResumeTick. A Status returns at once.
    virtual void ShowMessage(MessageKind kind, const std::string& text) = 0;
    // Stop the 100 ms main tick and hold the watchdog (counter -1) / start the tick again at 100 ms
    // and reset the watchdog counter to 0.
    virtual void SuspendTick() = 0;
    virtual void ResumeTick() = 0;

    // A note shown in place of the report, which itself is kept as it is (a session the loaded
    // dump does not hold).
    virtual void ShowReportNotice(const std::string& text) { (void)text; }
    // Where the browsed data come from. Away from the instrument, a chosen session is shown from
    // what the image holds, and the sessions it does not hold are to be marked.
    virtual void ShowDataSource(DataSource source, const std::string& name) {
        (void)source;
        (void)name;
    }
    // A request has ended, successfully or not (the instrument stopped answering, or a file could
    // not be written). Front ends that wait for requests (the command line) listen here.
    virtual void RequestEnded(UploadRequest request, bool ok) {
        (void)request;
        (void)ok;
    }
};

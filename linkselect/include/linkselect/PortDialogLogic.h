#pragma once

#include "linkselect/Link.h"
#include "linkselect/LinkSelectExport.h"
#include "linkselect/PortDiscovery.h"

#include <functional>
#include <string>
#include <vector>

class LinkOpener;
class Registry;

// Everything the selection dialog "Select communication device" does, without a display: the
// widget (CPort) or any other host feeds it the dialog's events (initialisation, timer ticks,
// Select, Cancel, Enter, typing) and shows what it exposes after each one. Tests drive it tick by
// tick.
//
// One object lives for the whole process, so what the design keeps between showings (the
// selection, the key suffix, the caption text, whether this is the first showing) stays here.
class LINKSELECT_EXPORT PortDialogLogic {
public:
    // Control ids of dialog template 2000.
    enum Control {
        kCancelButton = 2,
        kSelectButton = 2001,
        kCaptionLine = 2002,
        kPortList = 2003,
        kStatusLine = 2004,
    };
    enum Result { kRunning = 0, kIdOk = 1, kIdCancel = 2 };
    static constexpr int kTimerId = 1;
    static constexpr int kTimerPeriodMs = 100;

    static constexpr char kCaption[] = "Select communication device";
    static constexpr char kTemplateStatus[] = "Initialising Communications";
    static constexpr char kTemplateCaptionLine[] = "Static";
    static constexpr char kSelectDevice[] = "Select a device";
    static constexpr char kInitialising[] = "Initialising communications...";

    // Line settings of the two stages that bring a serial port up.
    static const Link::LineSettings kInitialSettings;
    static const Link::LineSettings kWorkingSettings;
    static constexpr int32_t kInputQueue = 32768;
    static constexpr int32_t kOutputQueue = 10240;

    // Shows a fatal discovery message and ends the process. Should it return (tests), the
    // showing ends without a link.
    using FatalHandler = std::function<void(const std::string& text)>;

    void SetRegistry(Registry* registry) { discovery_.SetRegistry(registry); }
    void SetLinkOpener(LinkOpener* opener) { opener_ = opener; }
    void SetFatalHandler(FatalHandler handler) { fatal_ = std::move(handler); }

    void SetKeySuffix(const std::string& suffix) { keySuffix_ = suffix; }
    const std::string& KeySuffix() const { return keySuffix_; }
    void SetCaptionText(const std::string& text) { captionText_ = text; }
    const std::string& CaptionText() const { return captionText_; }
    void AddPortName(const std::string& name) { portNameList_ += name + "||"; }
    const std::string& PortNameList() const { return portNameList_; }
    const std::string& Selection() const { return selection_; }
    // The serial link the dialog opened; null when there is none.
    LinkPtr CurrentLink() const { return link_; }

    // Events of one showing, in the order the dialog receives them.
    void OnInitDialog();
    void OnTimer(int timerId);
    void OnSelect();
    void OnCancel(); // Cancel, Escape and the close box
    void OnOk();     // Enter
    // The list's edit field changed (typed, or an item picked from the list).
    void SetEditText(const std::string& text);

    // Opens the current selection's port without the dialog and brings it straight to the
    // working settings. The selection is a DisplayText of the last list, or else a port name.
    LinkPtr OpenSelectionNow();

    // What the dialog shows.
    bool IsVisible(Control control) const;
    bool IsEnabled(Control control) const;
    const std::string& StatusText() const { return statusText_; }
    const std::string& CaptionLineText() const { return captionLineText_; }
    // The list's items as shown: sorted alphabetically ignoring case.
    const std::vector<std::string>& ListItems() const { return items_; }
    int SelectedItem() const { return selectedItem_; }
    const std::string& EditText() const { return editText_; }
    // True once after the list was asked to drop down.
    bool TakeDropDownRequest();
    bool TimerRunning() const { return timerRunning_; }
    bool Ended() const { return result_ != kRunning; }
    int Result() const { return result_; }
    bool EndedByFatal() const { return endedByFatal_; }

    const PortDiscovery& Discovery() const { return discovery_; }
    int SwitchCountdown() const { return switchCountdown_; }
    bool FirstShow() const { return firstShow_; }
    bool AutoConnectPending() const { return autoConnectPending_; }

    // Back to the state at load: first showing still to come, nothing selected, no link.
    void Reset();

private:
    struct ControlState {
        bool visible = true;
        bool enabled = true;
    };
    ControlState& State(Control control);
    const ControlState* Find(Control control) const;
    void Show(Control control, bool visible) { State(control).visible = visible; }
    void ShowChoice();

    void FillPortList();
    void PutIntoList(const std::string& text);
    void ReadControls() { selection_ = editText_; }
    void CloseLink();
    bool OpenEntry(int index);
    void ApplyInitialSettings();
    bool BringToWorkingSettings();
    void SwitchToWorkingSettings();
    void EndDialog(int result);
    void Fatal(PortDiscovery::Outcome outcome);
    std::string ComPortKey() const { return "Com Port" + keySuffix_; }
    std::string ConnectToKey() const { return "Connect To" + keySuffix_; }

    PortDiscovery discovery_;
    LinkOpener* opener_ = nullptr;
    FatalHandler fatal_;

    // Kept between showings.
    std::string selection_;
    std::string keySuffix_;
    std::string captionText_;
    std::string portNameList_;
    LinkPtr link_;
    bool firstShow_ = true;
    int switchCountdown_ = 0;

    // One showing.
    bool autoConnectPending_ = false;
    bool timerRunning_ = false;
    int result_ = kRunning;
    bool endedByFatal_ = false;
    ControlState cancel_, select_, captionLine_, list_, status_;
    std::string statusText_;
    std::string captionLineText_;
    std::vector<std::string> items_;
    int selectedItem_ = -1;
    std::string editText_;
    bool dropDownRequested_ = false;
};

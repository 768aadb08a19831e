#pragma once

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/BrowserView.h"
#include "session/UploadComms.h"

// A scripted stand-in for the instrument conversation: records every call in order and hands out
// the bulk data the test has put in `upload`. Test names are known according to the driver text
// last read: the built-in text knows "Upload flag" only, any other text the `instrumentTests`.
class FakeComms : public UploadComms {
public:
    std::vector<std::string> calls;
    std::vector<uint8_t> upload;
    std::map<std::string, char> instrumentTests = {
        {"Upload flag", 'B'}, {"Sector to upload", 'A'}, {"Index to upload", 'A'}};
    bool builtIn = true;
    std::string lastDriverText;
    std::string current;
    std::string newString; // the answer to a text read

    int Ask(int index) override {
        calls.push_back("Ask " + std::to_string(index));
        return 1;
    }
    int Set(unsigned int value) override {
        calls.push_back("Set " + std::to_string(value));
        return 1;
    }
    char FindTest(const char* name) override {
        calls.push_back(std::string("Find ") + name);
        char letter = 0;
        if (builtIn) {
            letter = std::strcmp(name, "Upload flag") == 0 ? 'A' : 0;
        } else {
            const auto it = instrumentTests.find(name);
            letter = it == instrumentTests.end() ? 0 : it->second;
        }
        current = letter != 0 ? name : "";
        return letter;
    }
    bool HasTest(const char* name) override {
        return builtIn ? std::strcmp(name, "Upload flag") == 0 : instrumentTests.count(name) != 0;
    }
    const char* GetNewString() override { return newString.c_str(); }
    void ReadDriver(const char* text) override {
        builtIn = text == nullptr;
        lastDriverText = text == nullptr ? "(built-in)" : text;
        calls.push_back("ReadDriver " + lastDriverText);
    }
    void SetSensorNumber(int sensor) override {
        calls.push_back("Sensor " + std::to_string(sensor));
    }
    int GetUploadedData(uint8_t* dest, uint32_t capacity, int& length) override {
        calls.push_back("Get " + std::to_string(capacity));
        if (capacity == 0) {
            length = 0;
            return upload.empty() ? 1 : 0;
        }
        const size_t n = upload.size() < capacity - 1 ? upload.size() : capacity - 1;
        std::memcpy(dest, upload.data(), n);
        dest[n] = 0;
        length = static_cast<int>(n);
        return n == upload.size() ? 1 : 0;
    }

    std::vector<std::string> Take() {
        std::vector<std::string> taken;
        taken.swap(calls);
        return taken;
    }
};

// Records what the browser asks of the window; `log` keeps the order of the calls that matter
// for ordering checks (boxes and the tick).
class FakeView : public BrowserView {
public:
    struct TreeItem {
        int id;
        int parent;
        std::string text;
        uint32_t itemData;
        bool makeVisible;
    };

    bool go = true;
    bool tree = true;
    bool next = true;
    int progressLow = -1;
    int progressHigh = -1;
    int progressPos = -1;
    std::vector<TreeItem> items;
    int clears = 0;
    int selected = -1;
    std::string reportText;
    std::vector<std::string> reports; // every report shown, in order
    int reportUpdates = 0;
    bool fullDayBox = false;
    SessionBoxes boxes;
    std::vector<std::string> messages;
    std::vector<std::string> statuses;
    std::vector<std::string> log;
    int suspended = 0;
    std::string source;
    std::string notice;
    std::vector<std::pair<UploadRequest, bool>> ended;
    DataSource sourceKind = DataSource::Instrument;

    void EnableGo(bool enable) override { go = enable; }
    void EnableTree(bool enable) override { tree = enable; }
    void EnableNext(bool enable) override { next = enable; }
    void SetProgressRange(UploadRequest, int low, int high) override {
        progressLow = low;
        progressHigh = high;
    }
    void SetProgressPos(UploadRequest, int pos) override { progressPos = pos; }
    void ClearTree() override {
        items.clear();
        selected = -1;
        ++clears;
    }
    void InsertNode(int id, int parent, const std::string& text, uint32_t itemData,
                    bool makeVisible) override {
        items.push_back({id, parent, text, itemData, makeVisible});
    }
    void SelectNode(int id) override {
        selected = id;
        log.push_back("select " + std::to_string(id));
    }
    void SetReportText(const std::string& rtf) override {
        reportText = rtf;
        reports.push_back(rtf);
        ++reportUpdates;
    }
    void SetFullDayBox(bool checked) override { fullDayBox = checked; }
    void SetSessionBoxes(const SessionBoxes& b) override { boxes = b; }
    void ShowMessage(MessageKind kind, const std::string& text) override {
        if (kind == MessageKind::Status) {
            statuses.push_back(text);
            return;
        }
        messages.push_back(MessageCaption(kind) + std::string(": ") + text);
        log.push_back(suspended > 0 ? "box while suspended" : "box while ticking");
    }
    void SuspendTick() override {
        ++suspended;
        log.push_back("suspend");
    }
    void ResumeTick() override {
        --suspended;
        log.push_back("resume");
    }
    void ShowDataSource(DataSource kind, const std::string& name) override {
        sourceKind = kind;
        source = name;
    }
    void ShowReportNotice(const std::string& text) override { notice = text; }
    void RequestEnded(UploadRequest request, bool ok) override { ended.push_back({request, ok}); }
};

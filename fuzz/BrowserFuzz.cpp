// The download core's reader and the program's presenter fed arbitrary instrument data: driver
// texts, configuration blocks, index sectors and session pieces arrive as uploads of any length and
// content, between arbitrary notifications and user actions.
//
// Input: operations, one byte each followed by its arguments:
//   0 time-out   1 Ask done   2 Set done   3 upload done: U16 length, that many bytes uploaded
//   4 GO   5 session upload: U16 slot as int16   6 tree selection: byte - 2   7 select node: byte -
//   2 8 Next   9 Full Day: byte bit 0   10 session boxes: byte (bits 0-2 All, Alarm, Cal) 11 render
//   again   12 open the dump text that follows (U16 length, bytes)
#include "ByteReader.h"

#include "app/BrowserView.h"
#include "app/SessionBrowser.h"
#include "core/LogImage.h"
#include "metertalk/TestList.h"
#include "report/Report.h"
#include "session/UploadComms.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <unistd.h>

namespace {

// Whether the image may hold anything but erased flash: erasing all 2 MB before every run cost a
// fifth of the run time, and most runs never store a byte.
bool g_imageWritten = true;

// The conversation: requests go nowhere, uploads come from the input, and the test names are
// those of the real test list over whatever driver text the browser hands it.
class InputComms : public UploadComms {
public:
    explicit InputComms(CTestList& list) : m_list(list) {}

    void SetUpload(const uint8_t* bytes, size_t size) {
        m_upload = bytes;
        m_size = size;
    }

    int Ask(int) override { return 1; }
    int Set(unsigned int) override { return 1; }
    char FindTest(const char* name) override {
        FUZZ_CHECK(name != nullptr);
        return m_list.FindTest(name);
    }
    void ReadDriver(const char* text) override {
        if (text != nullptr) {
            // The browser promises a NUL-terminated text; the sanitizer checks it was.
            (void)std::strlen(text);
        }
        m_list.ReadDriver(text);
    }
    void SetSensorNumber(int sensor) override { m_list.SetSensorNumber(sensor); }
    bool HasTest(const char* name) override {
        FUZZ_CHECK(name != nullptr);
        for (std::string test = m_list.FindFirst(0); !test.empty(); test = m_list.FindNext()) {
            if (test == name) {
                return true;
            }
        }
        return false;
    }
    // The serial number is read as a text of at most 39 characters, as the engine keeps it.
    const char* GetNewString() override { return "FUZZ SERIAL"; }
    int GetUploadedData(uint8_t* dest, uint32_t capacity, int& length) override {
        if (capacity == 0) {
            length = 0;
            return m_size == 0 ? 1 : 0;
        }
        const size_t n = m_size < capacity - 1 ? m_size : capacity - 1;
        if (n > 0) {
            std::memcpy(dest, m_upload, n);
            g_imageWritten = true; // the browser stores what it is given
        }
        dest[n] = 0;
        length = static_cast<int>(n);
        return n == m_size ? 1 : 0;
    }

private:
    CTestList& m_list;
    const uint8_t* m_upload = nullptr;
    size_t m_size = 0;
};

// Accepts everything and checks what can be checked without knowing the history.
class CheckingView : public BrowserView {
public:
    void EnableGo(bool) override {}
    void EnableTree(bool) override {}
    void EnableNext(bool) override {}
    void SetProgressRange(UploadRequest, int low, int high) override { FUZZ_CHECK(low <= high); }
    void SetProgressPos(UploadRequest, int) override {}
    void ClearTree() override { m_nodes = 0; }
    void InsertNode(int id, int parent, const std::string&, uint32_t itemData, bool) override {
        FUZZ_CHECK(id == m_nodes);
        FUZZ_CHECK(parent >= -1 && parent < id);
        FUZZ_CHECK(itemData == 0xFFFF || itemData < 500);
        ++m_nodes;
    }
    void SelectNode(int id) override { FUZZ_CHECK(id >= -1 && id < m_nodes); }
    void SetReportText(const std::string& rtf) override { (void)rtf.size(); }
    void SetFullDayBox(bool) override {}
    void SetSessionBoxes(const SessionBoxes&) override {}
    void ShowMessage(MessageKind kind, const std::string& text) override {
        FUZZ_CHECK(kind == MessageKind::Status || (!text.empty() && m_suspended > 0));
    }
    void SuspendTick() override { ++m_suspended; }
    void ResumeTick() override {
        FUZZ_CHECK(m_suspended > 0);
        --m_suspended;
    }

private:
    int m_nodes = 0;
    int m_suspended = 0;
};

LogImage* g_image;
uint8_t* g_erased;
alignas(SessionReader) unsigned char g_readerStorage[sizeof(SessionReader)];
alignas(SessionBrowser) unsigned char g_browserStorage[sizeof(SessionBrowser)];
char g_dumpPath[64];

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TZ", "UTC", 1);
    tzset();
    g_image = new LogImage;
    g_erased = new uint8_t[LogImage::kImageSize];
    std::memset(g_erased, 0xFF, LogImage::kImageSize);
    const char* tmp = std::getenv("TMPDIR");
    std::snprintf(g_dumpPath, sizeof g_dumpPath, "%s/browser-fuzz-%d.txt",
                  tmp != nullptr && std::strlen(tmp) < 32 ? tmp : "/tmp",
                  static_cast<int>(getpid()));
    std::atexit([] { std::remove(g_dumpPath); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    if (g_imageWritten) {
        g_image->Store(0, g_erased, LogImage::kImageSize);
        g_imageWritten = false;
    }

    CTestList list;
    list.InitTestList();
    InputComms comms(list);
    CheckingView view;
    ReportState report;
    // The same storage every run: a browser of its own from the heap came from fresh pages each
    // time, and faulting them in cost a quarter of the run.
    struct Reader {
        SessionReader* const object;
        ~Reader() { object->~SessionReader(); }
        SessionReader* operator->() const { return object; }
    } reader{new (g_readerStorage) SessionReader(comms, *g_image, report)};
    struct Browser {
        SessionBrowser* const object;
        ~Browser() { object->~SessionBrowser(); }
        SessionBrowser* operator->() const { return object; }
    } browser{new (g_browserStorage) SessionBrowser(*reader.object, view, *g_image, report)};
    reader->SetEvents(browser.object);
    // The index upload writes its dump here; a folder that does not exist makes every write fail
    // at once instead of costing 6.5 MB per index.
    reader->SetDumpPath("/nonexistent-tavon-fuzz/FlashData.txt");
    browser->Start();

    int ops = 0;
    while (!in.Empty() && ++ops < 2048) {
        switch (in.Byte() % 13) {
        case 0:
            reader->OnTimeout();
            break;
        case 1:
            reader->OnAskDone();
            break;
        case 2:
            reader->OnSetDone();
            break;
        case 3: {
            size_t got = 0;
            const uint8_t* bytes = in.Take(in.U16(), got);
            comms.SetUpload(bytes, got);
            reader->OnUploadDone();
            comms.SetUpload(nullptr, 0);
            break;
        }
        case 4:
            browser->OnGo();
            break;
        case 5:
            browser->StartSessionUpload(static_cast<int16_t>(in.U16()));
            break;
        case 6:
            browser->OnSessionSelected(static_cast<int>(in.Byte()) - 2);
            break;
        case 7:
            browser->SelectNode(static_cast<int>(in.Byte()) - 2);
            break;
        case 8:
            browser->OnNext();
            break;
        case 9:
            browser->OnFullDay((in.Byte() & 1) != 0);
            break;
        case 10: {
            const uint8_t boxes = in.Byte();
            browser->OnAllSessions((boxes & 1) != 0);
            browser->OnAlarmSessions((boxes & 2) != 0);
            browser->OnCalSessions((boxes & 4) != 0);
            break;
        }
        case 11:
            browser->RenderAgain();
            break;
        default: {
            const std::string text = in.Text(in.U16());
            std::FILE* file = std::fopen(g_dumpPath, "wb");
            if (file != nullptr) {
                std::fwrite(text.data(), 1, text.size(), file);
                std::fclose(file);
                std::string message;
                const int result = browser->OpenDump(g_dumpPath, message);
                FUZZ_CHECK(result == 1 || !message.empty());
                g_imageWritten = g_imageWritten || result == 1;
            }
            break;
        }
        }
        FUZZ_CHECK(reader->InfoLength() >= 0 &&
                   reader->InfoLength() <= UploadMachine::kInfoBufferSize);
    }
    list.CleanupTestList();
    return 0;
}

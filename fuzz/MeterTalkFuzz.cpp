// The protocol engine over a link that delivers arbitrary bytes, between arbitrary requests, and
// the test list over arbitrary driver texts.
//
// Input: byte 0: bits 0-1 the driver (0 and 1 built-in engine lists of interface 10 and 11, 2 the
// library's own one-line list, 3 a U16 length and that many bytes of driver text follow); bit 2
// the link is a pipe; bit 3 a progress display is attached; bit 4 reads fail after the input
// runs out. Then operations, one byte each followed by its arguments:
//   0 select: byte test (among the list's names), byte sensor - 20
//   1 Ask: byte (bit 0: no target), U16 index as int16
//   2 Set: U32 value
//   3 Set text: byte length, that many bytes
//   4 receive: byte length (then U16 when 255), that many bytes arrive in one tick
//   5 silent ticks: byte count (modulo 32)
//   6 SetStringLength: byte - 4
//   7 SetFileSize: U32 as int
//   8 GetUploadedData into a buffer of U16 bytes
//   9 SetDTR: byte (modulo 8)
// Whatever the input did, the engine must then come back to answering a plain read.
#include "ByteReader.h"

#include "linkselect/Link.h"
#include "linkselect/Platform.h"
#include "metertalk/Comms.h"
#include "metertalk/CommsEngine.h"
#include "metertalk/CommsListener.h"
#include "metertalk/TestList.h"
#include "metertalk/UploadProgressView.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

const char* const kDriverV10 =
    "V10!AByte!11!129!N!AWord!20!130!N!ALong!33!131!N!ASplit!44!132!N!AText!50!133!N8!"
    "ASensByte!60!129!S!ASensWord!61!130!S!ASensText!62!5!S6!AHex!171!5!N4!ALongText!70!5!N20!"
    "AHugeText!71!5!N64!AUpload flag!11!129!N!";
const char* const kDriverV11 =
    "V11!AByte!11!129!N!AWord!20!130!N!ALong!33!131!N!ASplit!44!132!N!AText!50!133!N8!"
    "ASensByte!60!129!S!ASensWord!61!130!S!ASensText!62!5!S6!AHex!171!5!N4!ALongText!70!5!N20!"
    "AHugeText!71!5!N64!AUpload flag!11!129!N!";

// Delivers the bytes of one tick at a time, as much as each read asks for; what is written goes
// nowhere.
class InputLink : public Link {
public:
    void Deliver(const uint8_t* bytes, size_t size) {
        m_bytes = bytes;
        m_size = size;
        m_pos = 0;
    }
    void SetPipe(bool pipe) { m_pipe = pipe; }
    // Bytes written since the last call.
    size_t TakeWritten() {
        const size_t n = m_written;
        m_written = 0;
        return n;
    }
    void SetFailWhenDry(bool fail) { m_failWhenDry = fail; }

    bool IsOpen() const override { return true; }
    int32_t Read(uint8_t* buffer, int32_t max) override {
        FUZZ_CHECK(max >= 0);
        const size_t waiting = m_size - m_pos;
        if (waiting == 0) {
            return m_failWhenDry ? -1 : 0;
        }
        const size_t n = waiting < static_cast<size_t>(max) ? waiting : static_cast<size_t>(max);
        std::memcpy(buffer, m_bytes + m_pos, n);
        m_pos += n;
        return static_cast<int32_t>(n);
    }
    FUZZ_HARNESS int32_t Write(const uint8_t* data, int32_t length) override {
        FUZZ_CHECK(length >= 0);
        // The longest command line is a text write of a hundred characters behind its header.
        FUZZ_CHECK(length <= 120);
        m_written += static_cast<size_t>(length);
        // Touch every byte so that the sanitizer sees a write that reads past its buffer.
        volatile uint8_t sum = 0;
        for (int32_t i = 0; i < length; ++i) {
            sum = static_cast<uint8_t>(sum + data[i]);
        }
        (void)sum;
        return length;
    }
    bool IsPipe() const override { return m_pipe; }
    int32_t BytesWaiting() override { return static_cast<int32_t>(m_size - m_pos); }
    bool SetModemLine(ModemLine) override { return true; }
    bool Configure(const LineSettings&) override { return true; }
    void SetQueueSizes(int32_t, int32_t) override {}
    void Close() override {}

private:
    const uint8_t* m_bytes = nullptr;
    size_t m_size = 0;
    size_t m_pos = 0;
    bool m_pipe = false;
    bool m_failWhenDry = false;
    size_t m_written = 0;
};

// Checks every event and remembers the last one. No read here takes a refusal for an answer.
class CheckingListener : public CommsListener {
public:
    void OnCommsEvent(CommsEvent event) override {
        FUZZ_CHECK(event != CommsEvent::Refused);
        last = event;
    }
    std::optional<CommsEvent> last;
};

class SilentPrompt : public UserPrompt {
public:
    void Show(const std::string&, const std::string&) override {}
};

class IgnoringProgress : public UploadProgressView {
public:
    void SetRange(int maximum) override { FUZZ_CHECK(maximum >= 0 && maximum <= 65535); }
    void SetPosition(int) override {}
    void SetCaption(const std::string&) override {}
    void Show() override {}
    void Hide() override {}
};

CheckingListener g_listener;
SilentPrompt g_prompt;
std::shared_ptr<InputLink> g_link;

// Every query of the list, on whatever the driver text left in it.
FUZZ_HARNESS std::vector<std::string> ExerciseList(CTestList& list) {
    FUZZ_CHECK(list.GetNumberOfTests() >= 0);
    (void)list.GetInterfaceVersion();
    (void)list.GetLastTest();
    std::vector<std::string> names;
    int guard = 0;
    for (std::string name = list.FindFirst(0); !name.empty(); name = list.FindNext()) {
        FUZZ_CHECK(++guard <= 10000);
        names.push_back(name);
    }
    for (int mask : {0x80, 0x05, 0x1f, -1}) {
        guard = 0;
        for (std::string name = list.FindFirst(mask); !name.empty(); name = list.FindNext()) {
            FUZZ_CHECK(++guard <= 10000);
        }
    }
    for (int number : {-1, 0, 11, 12, 13, 255, 99999}) {
        (void)list.TestName(number);
    }
    for (const std::string& name : names) {
        FUZZ_CHECK(list.FindTest(name) != 0);
        (void)list.GetTestNumber();
        FUZZ_CHECK(list.GetTestType() >= 1 && list.GetTestType() <= 5);
        (void)list.GetNoBytes();
        (void)list.GetTestSensor();
        (void)list.GetAlterable();
        (void)list.GetTestVersion();
    }
    // A name with the field separator in it can never be in the list.
    list.FindTest("no such test!");
    FUZZ_CHECK(list.GetTestNumber() == "-1");
    return names;
}

// The text of a read: at most 39 characters and its NUL.
constexpr size_t kNewStringRoom = 40;

FUZZ_HARNESS void CheckEngine(const CommsEngine& engine) {
    FUZZ_CHECK(std::memchr(engine.GetNewString(), '\0', kNewStringRoom) != nullptr);
    FUZZ_CHECK(engine.GetUploadOverflow() == 0 || engine.GetUploadOverflow() == 1);
}

// Whatever the input did, the engine comes back: any request ends within twenty silent ticks,
// a frame cut off anywhere is given up within the longest frame's bytes, and a read of the
// upload flag then goes out at once and its answer is handled.
FUZZ_HARNESS void CheckRecovery(CommsEngine& engine, CTestList& list) {
    g_link->SetFailWhenDry(false);
    g_link->Deliver(nullptr, 0);
    for (int tick = 0; tick < 20; ++tick) {
        engine.OnTimer();
    }
    static const uint8_t kZeros[52] = {};
    g_link->Deliver(kZeros, sizeof kZeros);
    engine.OnTimer();
    list.ReadDriver(nullptr);
    FUZZ_CHECK(list.FindTest("Upload flag") != 0);
    g_link->TakeWritten();
    FUZZ_CHECK(engine.Ask(&g_listener, 0) == 1);
    FUZZ_CHECK(g_link->TakeWritten() == 20);
    // The answer 0x2A to the read.
    static const uint8_t kAnswer[] = "YHA2A 8B\r\n";
    g_link->Deliver(kAnswer, sizeof kAnswer - 1);
    g_listener.last.reset();
    engine.OnTimer();
    g_link->Deliver(nullptr, 0);
    FUZZ_CHECK(g_listener.last == CommsEvent::AskDone);
    FUZZ_CHECK(engine.GetNewValue() == 0x2A);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The test list's boxes go to the module's prompt.
    CComms().SetUserPrompt(&g_prompt);
    g_link = std::make_shared<InputLink>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    const uint8_t setup = in.Byte();

    CommsEngine engine;
    CTestList list;
    list.InitTestList();
    std::string driver;
    switch (setup & 3) {
    case 0:
        list.ReadDriver(kDriverV10);
        break;
    case 1:
        list.ReadDriver(kDriverV11);
        break;
    case 2:
        list.ReadDriver(nullptr);
        break;
    default:
        driver = in.Text(in.U16());
        // The list reads up to the first NUL, as it would from a received buffer.
        list.ReadDriver(driver.c_str());
        break;
    }
    const std::vector<std::string> names = ExerciseList(list);

    engine.SetTestList(&list);
    g_link->Deliver(nullptr, 0);
    g_link->SetPipe((setup & 4) != 0);
    g_link->SetFailWhenDry(false);
    if (setup & 8) {
        engine.SetProgressFactory([] { return std::make_unique<IgnoringProgress>(); });
    }
    engine.Attach(g_link);

    static char upload[CommsEngine::UploadCapacity + 1 + 16];
    int ops = 0;
    while (!in.Empty() && ++ops < 4096) {
        switch (in.Byte() % 10) {
        case 0: {
            const uint8_t which = in.Byte();
            if (!names.empty()) {
                list.FindTest(names[which % names.size()]);
            }
            list.SetSensorNumber(static_cast<int>(in.Byte()) - 20);
            break;
        }
        case 1: {
            const bool withListener = (in.Byte() & 1) == 0;
            engine.Ask(withListener ? &g_listener : nullptr, static_cast<int16_t>(in.U16()));
            break;
        }
        case 2:
            engine.Set(&g_listener, in.U32());
            break;
        case 3:
            engine.Set(&g_listener, in.Text(in.Byte()));
            break;
        case 4: {
            size_t wanted = in.Byte();
            if (wanted == 255) {
                wanted = in.U16();
            }
            size_t got = 0;
            const uint8_t* bytes = in.Take(wanted, got);
            g_link->Deliver(bytes, got);
            g_link->SetFailWhenDry((setup & 16) != 0 && in.Empty());
            engine.OnTimer();
            // A tick reads at most its buffer's worth; the rest waits for the next ones.
            for (int tick = 0; tick < 64 && g_link->BytesWaiting() > 0; ++tick) {
                engine.OnTimer();
            }
            g_link->Deliver(nullptr, 0);
            break;
        }
        case 5:
            for (int n = in.Byte() % 32; n > 0; --n) {
                engine.OnTimer();
            }
            break;
        case 6:
            engine.SetStringLength(static_cast<int>(in.Byte()) - 4);
            break;
        case 7:
            engine.SetFileSize(static_cast<int>(in.U32()), "Uploading");
            break;
        case 8: {
            const int room = in.U16() % (CommsEngine::UploadCapacity + 2);
            std::memset(upload, 0x5A, sizeof upload);
            int length = -1;
            const int whole = engine.GetUploadedData(upload, room, length);
            FUZZ_CHECK(whole == 0 || whole == 1);
            FUZZ_CHECK(length >= 0 && (room == 0 || length < room));
            for (size_t i = static_cast<size_t>(room); i < sizeof upload; ++i) {
                FUZZ_CHECK(upload[i] == 0x5A);
            }
            engine.GetUploadedData(upload, length);
            FUZZ_CHECK(length >= 0 && length <= CommsEngine::UploadCapacity &&
                       upload[length] == '\0');
            break;
        }
        default:
            engine.SetDTR(in.Byte() % 8);
            break;
        }
        CheckEngine(engine);
    }
    CheckRecovery(engine, list);
    list.CleanupTestList();
    return 0;
}

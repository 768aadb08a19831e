#include "session/MeterTalkComms.h"

#include <climits>
#include <string>

#include "metertalk/CommsEngine.h"
#include "metertalk/TestList.h"
#include "session/SessionReader.h"

MeterTalkComms::MeterTalkComms(CommsEngine& engine, CTestList& tests, CommsListener* listener)
    : m_comms(engine), m_tests(tests), m_listener(listener) {}

void MeterTalkComms::Prepare() {
    m_comms.SetTestList(&m_tests);
    m_tests.InitTestList();
    m_comms.SetFileSize(1000, "Reading Instrument Information");
}

int MeterTalkComms::Ask(int index) {
    return m_comms.Ask(m_listener, index);
}

int MeterTalkComms::AskAcceptingRefusal(int index) {
    return m_comms.Ask(m_listener, index, CommsEngine::Refusal::Answers);
}

int MeterTalkComms::Set(unsigned int value) {
    return m_comms.Set(m_listener, value);
}

char MeterTalkComms::FindTest(const char* name) {
    return m_tests.FindTest(name != nullptr ? name : "");
}

bool MeterTalkComms::HasTest(const char* name) {
    if (name == nullptr) {
        return false;
    }
    // The search leaves the current test alone, unlike FindTest.
    for (std::string test = m_tests.FindFirst(0); !test.empty(); test = m_tests.FindNext()) {
        if (test == name) {
            return true;
        }
    }
    return false;
}

void MeterTalkComms::ReadDriver(const char* text) {
    m_tests.ReadDriver(text);
}

void MeterTalkComms::SetSensorNumber(int sensor) {
    m_tests.SetSensorNumber(sensor);
}

const char* MeterTalkComms::GetNewString() {
    return m_comms.GetNewString();
}

int MeterTalkComms::GetUploadedData(uint8_t* dest, uint32_t capacity, int& length) {
    length = 0;
    if (dest == nullptr || capacity == 0) {
        return 0;
    }
    const int room =
        capacity > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(capacity);
    const int whole = m_comms.GetUploadedData(reinterpret_cast<char*>(dest), room, length);
    return whole == 1 && m_comms.GetUploadOverflow() == 0 ? 1 : 0;
}

bool DispatchCommsEvent(SessionReader& reader, CommsEvent event) {
    switch (event) {
    case CommsEvent::TimedOut:
        reader.OnTimeout();
        return true;
    case CommsEvent::AskDone:
        reader.OnAskDone();
        return true;
    case CommsEvent::SetDone:
        reader.OnSetDone();
        return true;
    case CommsEvent::UploadDone:
        reader.OnUploadDone();
        return true;
    case CommsEvent::Refused:
        reader.OnRefused();
        return true;
    case CommsEvent::FrameStart:
    case CommsEvent::ChecksumError:
        return false;
    }
    return false;
}

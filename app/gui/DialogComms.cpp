#include "DialogComms.h"

#include "metertalk/Comms.h"
#include "metertalk/TestList.h"

#include <climits>

int DialogComms::Ask(int index) {
    return comms_.Ask(&target_, index);
}

int DialogComms::Set(unsigned int value) {
    return comms_.Set(&target_, value);
}

char DialogComms::FindTest(const char* name) {
    return tests_.FindTest(name ? name : "");
}

void DialogComms::ReadDriver(const char* text) {
    tests_.ReadDriver(text);
}

void DialogComms::SetSensorNumber(int sensor) {
    tests_.SetSensorNumber(sensor);
}

int DialogComms::GetUploadedData(uint8_t* dest, uint32_t capacity, int& length) {
    length = 0;
    if (dest == nullptr || capacity == 0) {
        return 0;
    }
    const int room =
        capacity > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(capacity);
    const int whole = comms_.GetUploadedData(reinterpret_cast<char*>(dest), room, length);
    return whole && comms_.GetUploadOverflow() == 0 ? 1 : 0;
}

#pragma once

#include <cstring>

// A short text kept in place: the engine's queued, retried and continued texts. Assigning cuts
// at the capacity, so no copy ever runs past the array.
template <int Capacity> struct FixedText {
    char Data[Capacity + 1] = {};
    int Length = 0;

    void Clear() {
        Length = 0;
        Data[0] = '\0';
    }
    void Assign(const char* text, int length) {
        if (length < 0)
            length = 0;
        if (length > Capacity)
            length = Capacity;
        if (text != Data)
            std::memmove(Data, text, static_cast<size_t>(length));
        Length = length;
        Data[length] = '\0';
    }
    bool Empty() const { return Length == 0; }
};

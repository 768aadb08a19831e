#pragma once

#include <string>

#include "app/BrowserComms.h"

// Passes the browser's conversation through and keeps the instrument's own driver text, which the
// browser reads once and does not keep: the archive tells instruments apart by it.
class RecordingComms : public BrowserComms {
public:
    explicit RecordingComms(BrowserComms& inner) : m_inner(inner) {}

    const std::string& DriverText() const { return m_driverText; }

    int Ask(int index) override { return m_inner.Ask(index); }
    int Set(unsigned int value) override { return m_inner.Set(value); }
    char FindTest(const char* name) override { return m_inner.FindTest(name); }
    void ReadDriver(const char* text) override {
        if (text != nullptr) {
            m_driverText = text;
        }
        m_inner.ReadDriver(text);
    }
    void SetSensorNumber(int sensor) override { m_inner.SetSensorNumber(sensor); }
    int GetUploadedData(uint8_t* dest, uint32_t capacity, int& length) override {
        return m_inner.GetUploadedData(dest, capacity, length);
    }

    // The buffer of the start-up uploads holds the configuration block when one was sent, and
    // the driver text again when it was not.
    std::string ConfigBlock(const uint8_t* info, int32_t length) const {
        const std::string block(reinterpret_cast<const char*>(info),
                                static_cast<size_t>(length > 0 ? length : 0));
        return block == m_driverText ? std::string() : block;
    }

private:
    BrowserComms& m_inner;
    std::string m_driverText;
};

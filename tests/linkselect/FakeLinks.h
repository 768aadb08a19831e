#pragma once

#include "linkselect/Link.h"
#include "linkselect/LinkOpener.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// A serial port that records what is done to it.
class FakeLink : public Link {
public:
    explicit FakeLink(std::string name, bool pipe = false) : name_(std::move(name)), pipe_(pipe) {}

    bool IsOpen() const override { return open_; }
    int32_t Read(uint8_t*, int32_t) override { return open_ ? 0 : -1; }
    int32_t Write(const uint8_t*, int32_t length) override { return open_ ? length : -1; }
    bool IsPipe() const override { return pipe_; }
    int32_t BytesWaiting() override { return pipe_ && open_ ? waiting_ : -1; }
    bool SetModemLine(ModemLine line) override {
        lines_.push_back(line);
        return open_;
    }
    bool Configure(const LineSettings& settings) override {
        if (!open_ || refuseBaud_ == settings.baud) {
            return false;
        }
        settings_ = settings;
        ++configureCount_;
        return true;
    }
    void SetQueueSizes(int32_t input, int32_t output) override {
        inputQueue_ = input;
        outputQueue_ = output;
    }
    void Close() override { open_ = false; }

    const std::string& Name() const { return name_; }
    const LineSettings& Settings() const { return settings_; }
    const std::vector<ModemLine>& Lines() const { return lines_; }
    int ConfigureCount() const { return configureCount_; }
    int32_t InputQueue() const { return inputQueue_; }
    int32_t OutputQueue() const { return outputQueue_; }
    void RefuseBaud(int32_t baud) { refuseBaud_ = baud; }
    void SetWaiting(int32_t waiting) { waiting_ = waiting; }

private:
    std::string name_;
    bool pipe_;
    bool open_ = true;
    LineSettings settings_{0, 0, Parity::None, 0};
    std::vector<ModemLine> lines_;
    int configureCount_ = 0;
    int32_t inputQueue_ = 0;
    int32_t outputQueue_ = 0;
    int32_t refuseBaud_ = 0;
    int32_t waiting_ = 0;
};

// Opens FakeLinks for the port names it knows; records every attempt.
class FakeOpener : public LinkOpener {
public:
    void AddPort(const std::string& name) { ports_[name] = true; }
    void RefuseWorkingSettings(const std::string& name) { refuseWorking_[name] = true; }
    void ServePipe(int32_t waiting = 0) {
        pipeServed_ = true;
        pipeWaiting_ = waiting;
    }

    LinkPtr OpenPipe() override {
        ++pipeAttempts_;
        if (!pipeServed_) {
            return nullptr;
        }
        auto pipe = std::make_shared<FakeLink>("RAK Pipe", true);
        pipe->SetWaiting(pipeWaiting_);
        return pipe;
    }
    LinkPtr OpenSerial(const std::string& name) override {
        attempts_.push_back(name);
        if (!ports_.count(name)) {
            return nullptr;
        }
        auto link = std::make_shared<FakeLink>(name);
        if (refuseWorking_.count(name)) {
            link->RefuseBaud(115200);
        }
        opened_.push_back(link);
        return link;
    }

    const std::vector<std::string>& Attempts() const { return attempts_; }
    const std::vector<std::shared_ptr<FakeLink>>& Opened() const { return opened_; }
    int PipeAttempts() const { return pipeAttempts_; }

private:
    std::map<std::string, bool> ports_;
    std::map<std::string, bool> refuseWorking_;
    bool pipeServed_ = false;
    int32_t pipeWaiting_ = 0;
    int pipeAttempts_ = 0;
    std::vector<std::string> attempts_;
    std::vector<std::shared_ptr<FakeLink>> opened_;
};

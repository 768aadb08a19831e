#pragma once

#include <chrono>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <thread>
#include <unistd.h>

// A pseudo-terminal pair: the test plays the instrument on the master side, the link under test
// opens the slave by its name ("pts/N").
class PtyPair {
public:
    PtyPair() {
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) == 0) {
            slaveName_ = name;
            fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        }
    }
    ~PtyPair() {
        if (master_ >= 0) {
            close(master_);
        }
        if (slave_ >= 0) {
            close(slave_);
        }
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return master_ >= 0 && !slaveName_.empty(); }
    // "pts/3" for "/dev/pts/3": the bare name the links take.
    std::string PortName() const { return slaveName_.substr(5); }
    // Keeps the slave open only until the link has it, so the link is the only user.
    void ReleaseSlave() {
        if (slave_ >= 0) {
            close(slave_);
            slave_ = -1;
        }
    }
    // The instrument's side goes away, as a pulled cable's does.
    void CloseMaster() {
        if (master_ >= 0) {
            close(master_);
            master_ = -1;
        }
    }
    bool WriteToLink(const std::string& bytes) {
        return write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // What the link has written, waiting up to the time-out for count bytes.
    std::string ReadFromLink(size_t count, int timeoutMs = 2000) {
        std::string received;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (received.size() < count && std::chrono::steady_clock::now() < end) {
            char buffer[256];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n > 0) {
                received.append(buffer, static_cast<size_t>(n));
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        return received;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slaveName_;
};

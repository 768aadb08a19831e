#include "testsupport/Processes.h"

#include "testsupport/Files.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace testsupport {

namespace {

std::vector<char*> Argv(const std::string& path, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    return argv;
}

// Waits for the child up to timeout; kills it when it is still running then.
int Reap(pid_t pid, int timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int raw = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &raw, WNOHANG);
        if (done == pid) {
            return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        }
        if (done < 0) {
            return -1;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &raw, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace

std::string BinDir() {
    if (const char* dir = std::getenv("TAVON_BIN_DIR")) {
        return dir;
    }
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir, int timeoutSeconds) {
    const std::string path = BinDir() + "/" + program;
    const std::string outPath = workDir + "/.run-stdout";
    const std::string errPath = workDir + "/.run-stderr";
    std::vector<char*> argv = Argv(path, args);
    RunResult result;
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(workDir.c_str()) != 0) {
            _exit(126);
        }
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0) {
            _exit(126);
        }
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    if (pid < 0) {
        return result;
    }
    result.status = Reap(pid, timeoutSeconds);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return result;
}

pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& workDir, std::string& firstLine) {
    firstLine.clear();
    const std::string path = BinDir() + "/" + program;
    std::vector<char*> argv = Argv(path, args);
    int fds[2];
    if (pipe(fds) != 0) {
        return -1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (chdir(workDir.c_str()) != 0) {
            _exit(126);
        }
        dup2(fds[1], 1);
        const int in = open("/dev/null", O_RDONLY);
        if (in >= 0) {
            dup2(in, 0);
        }
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        struct pollfd p = {fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char c = 0;
            if (read(fds[0], &c, 1) != 1 || c == '\n') {
                break;
            }
            firstLine += c;
        } else if (std::chrono::steady_clock::now() > deadline) {
            break;
        }
    }
    close(fds[0]); // the programs print one line; later writes would go nowhere
    if (firstLine.empty()) {
        StopProgram(pid);
        return -1;
    }
    return pid;
}

void StopProgram(pid_t pid) {
    if (pid <= 0) {
        return;
    }
    kill(pid, SIGTERM);
    // Reap kills it when it has not ended by then, and reaps it either way: a second signal
    // afterwards could reach another process that got the id meanwhile.
    Reap(pid, 10);
}

} // namespace testsupport

#include "testsupport/Processes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

extern char** environ;

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

// The current environment with the given NAME=value entries put in or replaced.
std::vector<std::string> Environment(const std::vector<std::string>& changes) {
    std::vector<std::string> entries;
    for (char** e = environ; *e != nullptr; ++e)
        entries.emplace_back(*e);
    for (const std::string& change : changes) {
        const std::string name = change.substr(0, change.find('=') + 1);
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [&](const std::string& entry) {
                                         return entry.compare(0, name.size(), name) == 0;
                                     }),
                      entries.end());
        entries.push_back(change);
    }
    return entries;
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
                     const std::string& workDir, int timeoutSeconds,
                     const std::vector<std::string>& environment) {
    RunResult result;
    const std::string path = BinDir() + "/" + program;
    std::vector<char*> argv = Argv(path, args);
    // Built before fork: the child only calls what is safe between fork and exec.
    std::vector<std::string> envText = Environment(environment);
    std::vector<char*> envp;
    for (std::string& entry : envText)
        envp.push_back(&entry[0]);
    envp.push_back(nullptr);
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return result;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return result;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        if (in < 0 || chdir(workDir.c_str()) != 0 || dup2(in, 0) < 0 || dup2(out[1], 1) < 0 ||
            dup2(err[1], 2) < 0)
            _exit(126);
        execve(path.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        close(out[0]);
        close(err[0]);
        return result;
    }
    // Both pipes are read as the child writes, so that a child with much to say never blocks on
    // a full pipe while this side waits for it to end.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    struct pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[2] = {&result.out, &result.err};
    int reading = 2;
    bool late = false;
    while (reading > 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            late = true;
            break;
        }
        if (poll(fds, 2, 100) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                texts[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --reading;
            }
        }
    }
    for (const struct pollfd& p : fds) {
        if (p.fd >= 0)
            close(p.fd);
    }
    if (late) {
        kill(pid, SIGKILL);
        Reap(pid, 10);
        return result; // status stays -1
    }
    const auto left = std::chrono::duration_cast<std::chrono::seconds>(
        deadline - std::chrono::steady_clock::now());
    result.status = Reap(pid, static_cast<int>(left.count()) + 1);
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

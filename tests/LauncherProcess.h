// Test helpers for the launcher: running a program with a chosen environment and capturing
// its output and times, making publications, reading the stand-in viewer's records, and a
// virtual X display.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TempFolder.h"

namespace launchertest {

namespace fs = std::filesystem;

inline double nowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Spawned {
    pid_t pid = -1;
    double startMs = 0;
};

// Starts argv with exactly the given environment (plus PATH), stdout and stderr into files.
inline Spawned spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                     const std::string& outFile, const std::string& errFile, const std::string& cwd = "") {
    std::vector<std::string> envText = {"PATH=/usr/bin:/bin", "ASAN_OPTIONS=detect_leaks=0"};
    for (const auto& [k, v] : env) envText.push_back(k + "=" + v);
    std::vector<char*> envp, args;
    for (auto& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argCopy = argv;
    for (auto& a : argCopy) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    // Started as from a desktop or an interactive shell, whatever this test runner ignores.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    Spawned s;
    s.startMs = nowMs();
    if (posix_spawn(&s.pid, args[0], &actions, &attr, args.data(), envp.data()) != 0) s.pid = -1;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return s;
}

struct Finished {
    int status = -1;  // exit status, or 128 when a signal ended it
    int signal = 0;   // the signal that ended it
    double elapsedMs = 0;
    double endMs = 0;
    std::string out, err;
};

inline Finished finish(const Spawned& s, const std::string& outFile, const std::string& errFile) {
    Finished f;
    int status = 0;
    if (s.pid > 0 && waitpid(s.pid, &status, 0) == s.pid) {
        f.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        f.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    f.endMs = nowMs();
    f.elapsedMs = f.endMs - s.startMs;
    f.out = readAll(outFile);
    f.err = readAll(errFile);
    return f;
}

// One record of the stand-in viewer: its keys, its files (relative path -> size) and its folders
// (relative path -> "mode mtime").
struct ViewerRecord {
    std::map<std::string, std::string> keys;
    std::map<std::string, long long> files;
    std::map<std::string, std::string> dirs;
};

inline std::vector<ViewerRecord> readRecords(const std::string& dir) {
    std::vector<ViewerRecord> records;
    for (const auto& e : fs::directory_iterator(dir)) {
        ViewerRecord r;
        std::istringstream in(readAll(e.path().string()));
        for (std::string line; std::getline(in, line);) {
            std::size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            std::string key = line.substr(0, eq), value = line.substr(eq + 1);
            if (key == "file")
                r.files[value.substr(0, value.rfind(' '))] = std::stoll(value.substr(value.rfind(' ') + 1));
            else if (key == "dir") r.dirs[value.substr(0, value.find(' '))] = value.substr(value.find(' ') + 1);
            else r.keys[key] = value;
        }
        records.push_back(r);
    }
    return records;
}

inline std::vector<std::string> listNames(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// An Xvfb server on a free display number, stopped with the object.
class VirtualDisplay {
public:
    VirtualDisplay() {
        int fds[2];
        if (access("/usr/bin/Xvfb", X_OK) != 0 || pipe(fds) != 0) return;
        std::string fd = std::to_string(fds[1]);
        std::vector<std::string> argv = {"/usr/bin/Xvfb", "-displayfd", fd,   "-screen", "0",
                                         "800x600x24",    "-nolisten",  "tcp"};
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        // The server dies when it cannot write the whole line: read up to its newline.
        std::string number;
        for (char c; m_pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n';) number += c;
        close(fds[0]);
        if (!number.empty()) m_display = ":" + number;
    }
    ~VirtualDisplay() { stop(); }
    void stop() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    const std::string& name() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

}  // namespace launchertest

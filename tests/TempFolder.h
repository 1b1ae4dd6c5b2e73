// Test helpers: a fresh folder for a test's files, removed with all its content afterwards, and
// a log that records every line it is given.
#pragma once
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "log/LogBase.h"

// A new folder of its own for each object, named after the running test, under the build
// tree's test-scratch folder (on Windows, under the temporary directory, which the tests' wine
// prefix keeps in the build tree). CTest runs test cases in parallel processes, so no two share
// one. The folder goes when the object does, unless the test has failed or TN_KEEP_SCRATCH is
// set: then its path is printed and it stays for a look.
class TempFolder {
public:
    TempFolder() {
        const std::string name = testName();
#ifdef _WIN32
        // A new folder under a name nobody has: the tick count and the process id, retried.
        for (unsigned i = 0; i < 100 && m_path.empty(); ++i) {
            auto candidate = std::filesystem::temp_directory_path() /
                             (name + "_" + std::to_string(GetCurrentProcessId()) + "_" +
                              std::to_string(GetTickCount() + i));
            if (CreateDirectoryW(candidate.wstring().c_str(), nullptr)) m_path = candidate.string();
        }
#else
        const std::filesystem::path root = std::filesystem::path(TN_BINARY_DIR) / "test-scratch";
        std::error_code ignored;
        std::filesystem::create_directories(root, ignored);
        std::string pattern = (root / (name + "-XXXXXX")).string();
        // Readable by all, as the build tree is: some tests hand files in it to user nobody.
        if (mkdtemp(pattern.data()) != nullptr && chmod(pattern.c_str(), 0755) == 0) m_path = pattern;
#endif
    }
    ~TempFolder() {
        if (m_path.empty()) return;
        if (::testing::Test::HasFailure() || std::getenv("TN_KEEP_SCRATCH") != nullptr) {
            std::cout << "[ KEPT     ] " << m_path << "\n";
            return;
        }
        std::error_code ignored;
        // Read-only leftovers must not stop the cleanup.
        for (auto& e : std::filesystem::recursive_directory_iterator(m_path, ignored))
            std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

    std::string write(const std::string& name, const std::string& content) const {
        std::string p = *this / name;
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }

private:
    // "Suite.Name", with the slashes of parameterised tests made part of the one name.
    static std::string testName() {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "scratch";
        for (char& c : name)
            if (c == '/' || c == '\\') c = '_';
        return name;
    }

    std::string m_path;
};

inline std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Permission tests mean nothing to a user who bypasses permissions.
#ifdef _WIN32
inline bool runningAsRoot() { return false; }
#else
inline bool runningAsRoot() { return geteuid() == 0; }
#endif

// Keeps each line as "E:text", "I:text" or "key=value".
class RecordingLog : public LogBase {
public:
    bool logError(const char* t) override { return add("E:" + std::string(t ? t : "")); }
    bool logInfo(const char* t) override { return add("I:" + std::string(t ? t : "")); }
    bool logData(const char* k, const char* v) override { return add(std::string(k) + "=" + (v ? v : "(NULL)")); }
    bool logDataLong(const char* k, std::int32_t v) override { return add(std::string(k) + "=" + std::to_string(v)); }
    bool logDataInt64(const char* k, std::int64_t v) override { return add(std::string(k) + "=" + std::to_string(v)); }
    bool logDataHex(const char* k, std::uint32_t v) override {
        char b[16];
        snprintf(b, sizeof b, "0x%x", v);
        return add(std::string(k) + "=" + b);
    }

    bool has(const std::string& line) const {
        for (const std::string& l : lines)
            if (l == line) return true;
        return false;
    }
    // True when some line starts with the prefix.
    bool hasPrefix(const std::string& prefix) const {
        for (const std::string& l : lines)
            if (l.rfind(prefix, 0) == 0) return true;
        return false;
    }
    std::string dump() const {
        std::string out;
        for (const std::string& l : lines) out += l + "\n";
        return out;
    }

    std::vector<std::string> lines;

private:
    bool add(std::string line) {
        lines.push_back(std::move(line));
        return true;
    }
};

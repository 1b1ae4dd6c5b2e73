// Test helpers for extraction: a source tree with awkward members, tree comparison (names,
// bytes, file times), and extraction through the public TnZip with its log kept.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "ZipFixture.h"
#include "archive/TnZip.h"
#include "archive/TnZipProgress.h"

namespace extractfix {
namespace fs = std::filesystem;

// Every file and directory below root, relative, with a trailing '/' for directories.
inline std::map<std::string, fs::path> listTree(const fs::path& root) {
    std::map<std::string, fs::path> out;
    for (auto& e : fs::recursive_directory_iterator(root)) {
        std::string rel = fs::relative(e.path(), root).generic_string();
        out[e.is_directory() ? rel + "/" : rel] = e.path();
    }
    return out;
}

inline long long mtimeOf(const fs::path& p) {
    struct stat st {};
    return stat(p.c_str(), &st) == 0 ? static_cast<long long>(st.st_mtime) : -1;
}

// Same names; every file with the same bytes and the same modification time.
inline void expectSameTree(const fs::path& expected, const fs::path& actual) {
    auto want = listTree(expected);
    auto got = listTree(actual);
    std::string wantNames, gotNames;
    for (auto& [name, path] : want) wantNames += name + "\n";
    for (auto& [name, path] : got) gotNames += name + "\n";
    ASSERT_EQ(wantNames, gotNames);
    for (auto& [name, path] : want) {
        if (name.back() == '/') continue;
        EXPECT_TRUE(zipfix::readFile(path) == zipfix::readFile(got[name])) << name;
        EXPECT_EQ(mtimeOf(path), mtimeOf(got[name])) << name;
    }
}

// A peer's command from its template: "PY " becomes the Python program, then "OUT" the archive
// path. The program goes in first, so the random path is searched for nothing.
inline std::string makerCommand(const std::string& command, const char* python, const std::string& out) {
    return zipfix::substitute(zipfix::substitute(command, "PY ", python), "OUT", out);
}

// A tree that exercises the extraction roads: empty file, small and compressible files, a file
// whose stored and deflated forms both exceed the 4,000,000-byte in-memory limit, an empty
// directory, non-ASCII names. Every file gets an even-second local time (DOS time is 2 s).
inline void makeSourceTree(const fs::path& root) {
    fs::create_directories(root / "dir/sub");
    fs::create_directories(root / "emptydir");
    zipfix::writeFile(root / "empty.txt", "");
    zipfix::writeFile(root / "small.txt", "hello, extraction\n");
    std::string text;
    for (int i = 0; text.size() < 300000; ++i) text += "line " + std::to_string(i % 977) + " of text\n";
    zipfix::writeFile(root / "dir/sub/compressible.txt", text);
    std::mt19937 rng(7);
    std::string noise(4500000, '\0');
    for (auto& c : noise) c = static_cast<char>(rng());
    zipfix::writeFile(root / "dir/random.bin", noise);
    zipfix::writeFile(root / "dir/\xC3\xA9t\xC3\xA9-\xC3\x9F-\xE6\x97\xA5\xE6\x9C\xAC.txt", "utf-8 name\n");
    std::system(("find '" + root.string() + "' -exec touch -d '2021-06-15 12:34:56' {} +").c_str());
}

// Records the events an application sees; "!" marks the abort answer.
class RecordingProgress : public TnZipProgress {
public:
    void UnzipPercent(int percent, bool* abort) override {
        percents.push_back(percent);
        events += "%";
        if (abortAtPercent && percent >= abortAtPercent && !answered) *abort = answered = true;
        if (*abort) events += "!";
    }
    void AbortCheck(bool* /*abort*/) override { events += "a"; }
    void ToBeUnzipped(const char* name, int, int, bool* skip) override {
        events += "t";
        if (skipName == name) *skip = true;
    }
    void FileUnzipped(const char*, int, int, bool*) override { events += "f"; }
    void UnzipBegin() override { events += "B"; }
    void UnzipEnd() override { events += "E"; }

    std::vector<int> percents;
    std::string events;
    int abortAtPercent = 0;  // answers abort once, at the first percent at or above it
    bool answered = false;
    std::string skipName;
};

struct Extracted {
    int count = -1;
    std::string log;
};

inline Extracted extract(const std::string& archive, const fs::path& folder, TnZipProgress* progress = nullptr,
                         const char* password = nullptr, int oemCodePage = 0) {
    TnZip zip;
    zip.SetUtf8(true);
    if (oemCodePage) zip.SetOemCodePage(oemCodePage);
    if (password) zip.SetPassword(password);
    Extracted r;
    if (!zip.OpenZip(archive.c_str())) {
        r.log = zip.LastErrorText();
        return r;
    }
    r.count = zip.Unzip(folder.string().c_str(), progress);
    r.log = zip.LastErrorText();
    return r;
}

}  // namespace extractfix

// Named-file operations against a real temporary folder: attributes, existence, deletion,
// copies, whole-file writes, directory creation, temporary names and file information.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <set>

#include "TempFolder.h"
#include "base/DateTime.h"
#include "base/FileDirectories.h"
#include "base/FileInfo.h"
#include "base/FileOpen.h"
#include "base/FileSystem.h"
#include "base/PlatformFiles.h"
#include "base/TempFileName.h"

namespace {

std::uint32_t attributesOf(const std::string& path) {
    std::uint32_t a = 0;
    int error = 0;
    return getAttributes(path.c_str(), a, error, nullptr) ? a : 0xFFFFFFFFu;
}

// name == stem + "_" + four characters of A-Z, 0-9 + extension
bool isTempName(const std::string& name, const std::string& stem, const std::string& extension) {
    if (name.size() != stem.size() + 5 + extension.size()) return false;
    if (name.compare(0, stem.size() + 1, stem + "_") != 0 || name.substr(stem.size() + 5) != extension) return false;
    for (std::size_t i = stem.size() + 1; i < stem.size() + 5; ++i)
        if (!(std::isupper(static_cast<unsigned char>(name[i])) || std::isdigit(static_cast<unsigned char>(name[i]))))
            return false;
    return true;
}

bool isDir(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TEST(FileSystem, AttributesReadAndSet) {
    TempFolder dir;
    std::string file = dir.write("plain.txt", "x");
    std::string hidden = dir.write(".hidden", "x");
    mkdir((dir / ".hdir").c_str(), 0755);
    EXPECT_EQ(attributesOf(file), kAttrNormal);
    EXPECT_EQ(attributesOf(hidden), kAttrHidden);
    EXPECT_EQ(attributesOf(dir.path()), kAttrDirectory);
    EXPECT_EQ(attributesOf(dir / ".hdir"), kAttrDirectory | kAttrHidden);
    EXPECT_EQ(attributesOf(dir.path() + "/."), kAttrDirectory);

    // Read-only takes every write bit; clearing it gives the owner write permission back.
    chmod(file.c_str(), 0666);
    ASSERT_TRUE(setAttributes(file.c_str(), kAttrReadOnly | kAttrHidden, nullptr));
    struct stat st;
    stat(file.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    EXPECT_EQ(attributesOf(file), kAttrReadOnly);
    ASSERT_TRUE(setAttributes(file.c_str(), kAttrNormal, nullptr));
    stat(file.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    std::uint32_t a = 0;
    int error = 0;
    EXPECT_FALSE(getAttributes((dir / "none").c_str(), a, error, nullptr));
    EXPECT_EQ(a, 0xFFFFFFFFu);
    EXPECT_EQ(error, kErrorFileNotFound);
    RecordingLog log;
    EXPECT_FALSE(getAttributes("", a, error, &log));
    EXPECT_TRUE(log.has("E:GetAttributes: filename is empty"));
    EXPECT_FALSE(setAttributes((dir / "none").c_str(), kAttrNormal, nullptr));
}

TEST(FileSystem, ExistenceAndDeletion) {
    TempFolder dir;
    std::string file = dir.write("f", "x");
    EXPECT_TRUE(fileExists(file.c_str(), nullptr));
    EXPECT_TRUE(fileExists(dir.path().c_str(), nullptr));
    EXPECT_FALSE(fileExists("", nullptr));
    EXPECT_FALSE(fileExists(nullptr, nullptr));
    RecordingLog log;
    EXPECT_FALSE(fileExists((file + "/below").c_str(), &log));  // not a directory: not there
    EXPECT_TRUE(log.hasPrefix("WindowsError=")) << log.dump();

    EXPECT_TRUE(deleteFile(file.c_str(), nullptr));
    EXPECT_FALSE(fileExists(file.c_str(), nullptr));
    EXPECT_TRUE(deleteFileUtf8(file.c_str(), nullptr));  // already gone counts as deleted
    RecordingLog dlog;
    EXPECT_FALSE(deleteFile(dir.path().c_str(), &dlog));  // directories are not deleted here
    EXPECT_TRUE(dlog.has("failedToDeleteFilepath=" + toBackslashes(dir.path()))) << dlog.dump();
}

TEST(FileSystem, ExistenceOfAnUnreadableDirectoryEntry) {
    if (runningAsRoot()) GTEST_SKIP() << "root bypasses permissions";
    TempFolder dir;
    std::string locked = dir / "locked";
    mkdir(locked.c_str(), 0700);
    dir.write("locked/f", "x");
    chmod(locked.c_str(), 0);
    // Access errors count as existence.
    EXPECT_TRUE(fileExists((locked + "/f").c_str(), nullptr));
    EXPECT_TRUE(fileExists((locked + "/nothing").c_str(), nullptr));
}

TEST(FileSystem, CreateAndCopy) {
    TempFolder dir;
    RecordingLog log;
    EXPECT_TRUE(createDirectory((dir / "d").c_str(), &log));
    EXPECT_FALSE(createDirectory((dir / "d").c_str(), &log));
    EXPECT_EQ(log.lines, std::vector<std::string>{"errorMsg=File exists"});

    std::string src = dir.write("src", "content");
    std::string dst = dir / "dst";
    ASSERT_TRUE(copyFile(src.c_str(), dst.c_str(), true, nullptr));
    EXPECT_EQ(readAll(dst), "content");
    EXPECT_FALSE(copyFile(src.c_str(), dst.c_str(), true, nullptr));
    dir.write("src", "changed");
    EXPECT_TRUE(copyFile(src.c_str(), dst.c_str(), false, nullptr));
    EXPECT_EQ(readAll(dst), "changed");
    // Copying a file onto itself must not destroy it.
    EXPECT_FALSE(copyFile(src.c_str(), src.c_str(), false, nullptr));
    EXPECT_EQ(readAll(src), "changed");
    EXPECT_FALSE(copyFile((dir / "none").c_str(), (dir / "x").c_str(), false, nullptr));
    EXPECT_FALSE(fileExists((dir / "x").c_str(), nullptr));
}

TEST(FileSystem, WriteWholeFile) {
    TempFolder dir;
    std::string path = dir / "w.bin";
    ASSERT_TRUE(writeWholeFile(path.c_str(), "abc", 3, nullptr));
    EXPECT_EQ(readAll(path), "abc");
    ASSERT_TRUE(writeWholeFile(path.c_str(), "abc", 0, nullptr));
    EXPECT_TRUE(fileExists(path.c_str(), nullptr));
    EXPECT_EQ(readAll(path), "");
    bool opened = false;
    EXPECT_EQ(getFileSizeByName(path.c_str(), opened), 0);
    EXPECT_TRUE(opened);

    struct Case {
        const char* path;
        std::vector<std::string> expected;
    };
    std::string missing = dir / "no/such/file";
    const Case cases[] = {
        {nullptr, {"E:NULL filename"}},
        {"", {"E:zero-length filename"}},
    };
    for (const Case& c : cases) {
        RecordingLog log;
        EXPECT_FALSE(writeWholeFile(c.path, "x", 1, &log));
        EXPECT_EQ(log.lines, c.expected);
    }
    RecordingLog log;
    EXPECT_FALSE(writeWholeFile(missing.c_str(), "x", 1, &log));
    EXPECT_TRUE(log.has("filenameAnsi=[" + missing + "]")) << log.dump();
    EXPECT_EQ(log.lines.back(), "E:Failed to write complete file (7)");
    EXPECT_EQ(getFileSizeByName(missing.c_str(), opened), 0);
    EXPECT_FALSE(opened);
}

TEST(FileSystem, EnsureDirectoryCreatesEachLevel) {
    TempFolder dir;
    std::string deep = dir / "a/b/c";
    ASSERT_TRUE(ensureDirectory(toBackslashes(deep).c_str(), nullptr));
    EXPECT_TRUE(isDir(dir / "a/b/c"));
    ASSERT_TRUE(ensureDirectory(deep.c_str(), nullptr));  // already there
    ASSERT_TRUE(ensureDirectory(" ", nullptr));
    StringBuffer tried;
    ASSERT_TRUE(ensureParentDirectory((dir / "p/q/file.txt").c_str(), nullptr, &tried));
    EXPECT_TRUE(isDir(dir / "p/q"));
    EXPECT_EQ(tried.text(), toBackslashes(dir / "p/q"));
    EXPECT_FALSE(fileExists((dir / "p/q/file.txt").c_str(), nullptr));
    EXPECT_TRUE(ensureParentDirectory("file.txt", nullptr));
    EXPECT_TRUE(ensureParentDirectory("\\file.txt", nullptr));
    RecordingLog nolog;
    EXPECT_FALSE(ensureParentDirectory(nullptr, &nolog));
    EXPECT_EQ(nolog.lines, std::vector<std::string>{"E:No filePath"});

    // A file in the way stops the walk at that level.
    std::string blocker = dir.write("file", "x");
    RecordingLog log;
    EXPECT_FALSE(ensureDirectory((blocker + "/sub/deeper").c_str(), &log));
    EXPECT_TRUE(log.has("E:Cannot ensure directory existence")) << log.dump();
    EXPECT_TRUE(log.has("path=" + toBackslashes(blocker + "/sub"))) << log.dump();
}

TEST(FileSystem, TempFileNames) {
    TempFolder dir;
    struct Case {
        const char* base;
        const char* stem;
        const char* extension;
    };
    const Case cases[] = {
        {"wz.dat", "wz", ".dat"},
        {"noext", "noext", ".tmp"},
        {"", "x", ".tmp"},
        {"a.b.c", "a.b", ".c"},
    };
    for (const Case& c : cases) {
        std::string name;
        ASSERT_TRUE(makeTempFileName(c.base, dir.path(), name));
        std::string prefix = toBackslashes(dir.path()) + "\\";
        ASSERT_EQ(name.rfind(prefix, 0), 0u) << name;
        EXPECT_TRUE(isTempName(name.substr(prefix.size()), c.stem, c.extension)) << name;
        EXPECT_FALSE(fileExists(name.c_str(), nullptr));
    }
    // Names already taken are passed over.
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        std::string name;
        ASSERT_TRUE(makeTempFileName("t.dat", dir.path() + "/", name));
        EXPECT_TRUE(seen.insert(name).second) << name;
        ASSERT_TRUE(writeWholeFile(name.c_str(), nullptr, 0, nullptr));
    }
    StringBuffer out;
    out.append("=");
    ASSERT_TRUE(makeTempFileName("tnZ.dat", dir.path().c_str(), out));
    EXPECT_EQ(std::string(out.text()).rfind("=" + toBackslashes(dir.path()) + "\\tnZ_", 0), 0u) << out.text();
}

TEST(FileSystem, LoadFileInfo) {
    TempFolder dir;
    std::string file = dir.write("info.txt", "12345");
    FileInfo info;
    ASSERT_TRUE(info.loadFileInfo(file.c_str(), nullptr));
    EXPECT_EQ(info.size64, 5);
    EXPECT_EQ(info.size32, 5u);
    EXPECT_EQ(info.isDirectory, 0);
    EXPECT_EQ(info.attributes, kAttrNormal);
    EXPECT_STREQ(info.name.text(), file.c_str());
    FileTime utcWrite, localWrite;
    ASSERT_TRUE(getLastWriteTimeByName(file.c_str(), utcWrite, nullptr));
    ASSERT_TRUE(utcToLocal(utcWrite, localWrite));
    EXPECT_EQ(info.lastWriteTime.value(), localWrite.value());

    ASSERT_TRUE(info.loadFileInfo(dir.path().c_str(), nullptr));
    EXPECT_EQ(info.isDirectory, 1);
    EXPECT_EQ(info.size64, 0);

    RecordingLog log;
    EXPECT_FALSE(info.loadFileInfo((dir / "gone").c_str(), &log));
    EXPECT_EQ(info.notFound, 1);
    EXPECT_EQ(info.name.length(), 0);
    EXPECT_TRUE(log.has("E:loadFileInfoAnsi failed: cannot get attributes"));
    EXPECT_TRUE(log.has("E:File does not exist."));
    EXPECT_TRUE(log.has("filename=" + dir / "gone"));
}

TEST(FileSystem, LoadFileInfoOfAnUnreadableFile) {
    if (runningAsRoot()) GTEST_SKIP() << "root bypasses permissions";
    TempFolder dir;
    std::string file = dir.write("info.txt", "12345");
    FileInfo info;
    chmod(file.c_str(), 0);
    RecordingLog dlog;
    EXPECT_FALSE(info.loadFileInfo(file.c_str(), &dlog));
    EXPECT_EQ(info.accessDenied, 1);
    EXPECT_EQ(info.notFound, 0);
    EXPECT_TRUE(dlog.has("E:loadFileInfoAnsi failed: cannot open for reading"));
}

// Names outside ASCII reach the system as their UTF-8 bytes, through every XString form.
TEST(FileSystem, UnicodeNamesThroughXString) {
    TempFolder dir;
    XString folder, name, path;
    folder.setUtf8(dir.path().c_str());
    name.setUtf8(
        "sub/\xC3\x9Cnic\xC3\xB8"
        "de_\xE6\x96\x87\xE4\xBB\xB6.txt");
    joinPath(folder, name, path);
    ASSERT_TRUE(ensureParentDirectory(path.getUtf8(), nullptr));
    TarnelHandle h;
    int reason = 0;
    ASSERT_TRUE(openForWrite(path, h, reason, nullptr));
    h.close();
    EXPECT_TRUE(fileExists((dir.path() + "/sub/\xC3\x9Cnic\xC3\xB8"
                                         "de_\xE6\x96\x87\xE4\xBB\xB6.txt")
                               .c_str(),
                           nullptr));
    FileInfo info;
    ASSERT_TRUE(info.loadFileInfo(path, nullptr));
    EXPECT_EQ(info.size64, 0);
    XString temp, base;
    base.setUtf8("\xE6\x96\x87.dat");
    ASSERT_TRUE(makeTempFileName(base, folder, temp));
    EXPECT_TRUE(temp.endsWith(".dat"));
    EXPECT_TRUE(deleteFile(path, nullptr));
    EXPECT_FALSE(fileExists(path.getUtf8(), nullptr));
}

// ANSI texts are converted from the process's ANSI code page: 1252 outside a UTF-8 locale.
TEST(FileSystem, AnsiNamesFollowTheCodePage) {
    TempFolder dir;
    dir.write("caf\xC3\xA9.txt", "x");
    setenv("LC_ALL", "C", 1);
    std::string ansi = dir.path() + "/caf\xE9.txt";
    EXPECT_TRUE(fileExistsAnsi(ansi.c_str(), nullptr));
    EXPECT_TRUE(deleteFileAnsi(ansi.c_str(), nullptr));
    RecordingLog log;
    EXPECT_FALSE(deleteFileAnsi(ansi.c_str(), &log));
    unsetenv("LC_ALL");
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{"delete_filename_1=" + toBackslashes(dir.path()) + "\\caf\xC3\xA9.txt",
                                        "I:Cannot delete file, file does not exist"}));
    RecordingLog empty;
    EXPECT_FALSE(deleteFileAnsi("", &empty));
    EXPECT_EQ(empty.lines, std::vector<std::string>{"E:Cannot delete file, filename is null or empty"});
}

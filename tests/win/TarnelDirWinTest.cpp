// The Win32 directory handles and private temporary files on a real (wine) file system:
// creation relative to the held folder, links never followed, unpublished files gone however
// the handle closes.
#include <windows.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TempFolder.h"
#include "base/FileSystem.h"
#include "base/PlatformTempFile.h"
#include "base/TarnelDir.h"
#include "base/TarnelHandle.h"

namespace {

std::wstring wideOf(const std::string& s) { return std::filesystem::path(s).wstring(); }

bool writeText(TarnelHandle& file, const std::string& text) {
    std::uint64_t written = 0;
    return file.write(text.data(), text.size(), written, nullptr) && written == text.size();
}

// Entries whose name starts with ".tn-": unpublished files left behind.
int leftovers(const std::string& dir) {
    int n = 0;
    for (auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().filename().string().rfind(".tn-", 0) == 0) ++n;
    return n;
}

// A symbolic link where this user may make one (an administrator, developer mode); false
// elsewhere, and under wine, whose call claims success but makes none.
bool makeLink(const std::string& at, const std::string& target, DWORD flags = 0) {
    if (!CreateSymbolicLinkW(wideOf(at).c_str(), wideOf(target).c_str(), flags)) return false;
    const DWORD attributes = GetFileAttributesW(wideOf(at).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

TEST(TarnelDirWin, NamesAreSingleComponentsWithoutStreams) {
    TempFolder tmp;
    TarnelDir dir;
    ASSERT_TRUE(dir.openPath(tmp.path().c_str()));
    tmp.write("a", "keep");
    for (const char* name : {"", ".", "..", "a\\b", "a/b", "a:b", "a::$DATA"}) {
        TarnelHandle file;
        EXPECT_FALSE(dir.createFile(name, file)) << name;
        EXPECT_EQ(dir.kindOf(name), TarnelDir::Kind::Unknown) << name;
    }
    EXPECT_EQ(readAll(tmp / "a"), "keep");
    EXPECT_FALSE(dir.openPath((tmp / "a").c_str()));  // a file is no directory
}

TEST(TarnelDirWin, CreateReplacesFilesAndLinksNeverWritesThrough) {
    TempFolder tmp;
    TarnelDir dir;
    ASSERT_TRUE(dir.openPath(tmp.path().c_str()));
    tmp.write("ro.txt", "old");
    ASSERT_TRUE(setAttributes((tmp / "ro.txt").c_str(), FILE_ATTRIBUTE_READONLY, nullptr));
    TarnelHandle file;
    ASSERT_TRUE(dir.createFile("ro.txt", file));
    EXPECT_TRUE(writeText(file, "new"));
    file.close();
    EXPECT_EQ(readAll(tmp / "ro.txt"), "new");

    ASSERT_TRUE(CreateDirectoryW(wideOf(tmp / "sub").c_str(), nullptr));
    EXPECT_FALSE(dir.createFile("sub", file));
    EXPECT_EQ(dir.kindOf("sub"), TarnelDir::Kind::Directory);
    EXPECT_EQ(dir.kindOf("none"), TarnelDir::Kind::Missing);

    tmp.write("outside.txt", "outside");
    if (!makeLink(tmp / "link", tmp / "outside.txt")) GTEST_SKIP() << "no symbolic links here";
    EXPECT_EQ(dir.kindOf("link"), TarnelDir::Kind::Link);
    ASSERT_TRUE(dir.createFile("link", file));
    EXPECT_TRUE(writeText(file, "inside"));
    file.close();
    EXPECT_EQ(readAll(tmp / "outside.txt"), "outside");
    EXPECT_EQ(dir.kindOf("link"), TarnelDir::Kind::Other);
}

TEST(TarnelDirWin, ChildDirectoriesFollowTheHandleAndRefuseFilesAndLinks) {
    TempFolder tmp;
    TarnelDir dir, child, again;
    ASSERT_TRUE(dir.openPath(tmp.path().c_str()));
    ASSERT_TRUE(dir.openChild("sub", true, child));
    EXPECT_TRUE(dir.openChild("sub", true, again));  // an existing folder is opened
    again.close();
    // Renamed while held: creation still lands in the folder held, not at the old path.
    ASSERT_TRUE(MoveFileW(wideOf(tmp / "sub").c_str(), wideOf(tmp / "moved").c_str()));
    TarnelHandle file;
    ASSERT_TRUE(child.createFile("f.txt", file));
    file.close();
    EXPECT_TRUE(std::filesystem::exists(tmp / "moved/f.txt"));
    EXPECT_FALSE(std::filesystem::exists(tmp / "sub"));

    tmp.write("plain", "x");
    EXPECT_FALSE(dir.openChild("plain", true, again));
    EXPECT_FALSE(dir.openChild("missing", false, again));
    EXPECT_FALSE(std::filesystem::exists(tmp / "missing"));
    if (!makeLink(tmp / "dirlink", tmp / "moved", SYMBOLIC_LINK_FLAG_DIRECTORY))
        GTEST_SKIP() << "no symbolic links here";
    EXPECT_EQ(dir.kindOf("dirlink"), TarnelDir::Kind::Link);
    EXPECT_FALSE(dir.openChild("dirlink", true, again));
    EXPECT_TRUE(dir.removeFile("dirlink"));  // the link itself, not what it points at
    EXPECT_TRUE(std::filesystem::exists(tmp / "moved/f.txt"));
}

TEST(TarnelDirWin, UnnamedFilesArePublishedWholeOrLeaveNothing) {
    TempFolder tmp;
    TarnelDir dir;
    ASSERT_TRUE(dir.openPath(tmp.path().c_str()));
    tmp.write("doc.txt", "old");
    ASSERT_TRUE(setAttributes((tmp / "doc.txt").c_str(), FILE_ATTRIBUTE_READONLY, nullptr));
    TarnelHandle file;
    std::string pending;
    ASSERT_TRUE(dir.createUnnamedFile(file, pending));
    EXPECT_TRUE(writeText(file, "complete"));
    EXPECT_EQ(readAll(tmp / "doc.txt"), "old");  // untouched until published
    ASSERT_TRUE(dir.publishFile(file, pending, "doc.txt"));
    file.close();
    EXPECT_EQ(readAll(tmp / "doc.txt"), "complete");

    // Discarded, onto a folder, or the handle merely closed (as when the process ends): gone.
    ASSERT_TRUE(dir.createUnnamedFile(file, pending));
    writeText(file, "partial");
    dir.discardFile(file, pending);
    ASSERT_TRUE(CreateDirectoryW(wideOf(tmp / "folder").c_str(), nullptr));
    ASSERT_TRUE(dir.createUnnamedFile(file, pending));
    EXPECT_FALSE(dir.publishFile(file, pending, "folder"));
    dir.discardFile(file, pending);
    ASSERT_TRUE(dir.createUnnamedFile(file, pending));
    writeText(file, "interrupted");
    file.close();
    EXPECT_EQ(leftovers(tmp.path()), 0);
    EXPECT_EQ(readAll(tmp / "doc.txt"), "complete");
    EXPECT_TRUE(std::filesystem::is_directory(tmp / "folder"));
}

TEST(TarnelDirWin, TimesAndRemoval) {
    TempFolder tmp;
    TarnelDir dir;
    ASSERT_TRUE(dir.openPath(tmp.path().c_str()));
    tmp.write("f.txt", "x");
    FileTime when;
    when.setValue(132000000000000000ULL);  // 2019
    ASSERT_TRUE(dir.setTimesOf("f.txt", when));
    FileTime lastWrite;
    ASSERT_TRUE(getLastWriteTimeByName((tmp / "f.txt").c_str(), lastWrite, nullptr));
    EXPECT_EQ(lastWrite.value(), when.value());
    EXPECT_TRUE(dir.setTimes(when));
    EXPECT_TRUE(dir.setPermissions(0755));

    ASSERT_TRUE(CreateDirectoryW(wideOf(tmp / "sub").c_str(), nullptr));
    EXPECT_FALSE(dir.removeFile("sub"));
    EXPECT_TRUE(std::filesystem::is_directory(tmp / "sub"));
    ASSERT_TRUE(setAttributes((tmp / "f.txt").c_str(), FILE_ATTRIBUTE_READONLY, nullptr));
    EXPECT_TRUE(dir.removeFile("f.txt"));
    EXPECT_FALSE(std::filesystem::exists(tmp / "f.txt"));
    EXPECT_TRUE(dir.removeFile("f.txt"));  // missing counts as removed
}

// Private temporary files: usable, unreachable by anyone else while open, gone once closed.
TEST(PrivateTempFileWin, ExclusiveAndGoneOnClose) {
    TempFolder tmp;
    TarnelHandle file;
    ASSERT_TRUE(openPrivateTempFile(tmp.path(), "tnZ.dat", file, nullptr));
    EXPECT_TRUE(writeText(file, "spill"));
    ASSERT_TRUE(file.seekAbsolute(0, nullptr));
    char back[5] = {};
    std::uint32_t got = 0;
    bool end = false;
    ASSERT_TRUE(file.read(back, 5, got, end, nullptr));
    EXPECT_EQ(std::string(back, got), "spill");
    int count = 0;
    for (auto& e : std::filesystem::directory_iterator(tmp.path())) {
        ++count;
        const std::string name = e.path().filename().string();
        EXPECT_EQ(name.rfind("tnZ_", 0), 0u) << name;
        HANDLE other = CreateFileW(e.path().wstring().c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                   nullptr);
        EXPECT_EQ(other, INVALID_HANDLE_VALUE);
        if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    }
    EXPECT_EQ(count, 1);
    file.close();
    EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));

    RecordingLog log;
    EXPECT_FALSE(openPrivateTempFile(tmp / "missing", "tnZ.dat", file, &log));
    EXPECT_TRUE(log.has("E:Failed to create a private temporary file"));
}

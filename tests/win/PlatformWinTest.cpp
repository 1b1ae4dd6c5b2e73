// The Win32 platform files against a real NTFS-like file system under wine: open modes and the
// sharing-violation retry, long paths, private creation, tree deletion that never follows a
// link, file times and attributes, and the system's code pages and folders.
#include <windows.h>
#include <aclapi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "TempFolder.h"
#include "archive/TnZip.h"
#include "base/FileDirectories.h"
#include "base/FileOpen.h"
#include "base/FilePaths.h"
#include "base/FileSystem.h"
#include "base/PlatformFiles.h"
#include "base/PlatformShell.h"
#include "base/SystemCodePage.h"
#include "base/TarnelHandle.h"

namespace {

std::string winForm(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

bool exists(const std::string& path) {
    return GetFileAttributesW(wide(winForm(path)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

TEST(PlatformWin, SharingViolationIsRetriedThenReported) {
    TempFolder dir;
    std::string path = dir.write("busy.dat", "x");
    TarnelHandle writer, reader;
    int reason = 0;
    ASSERT_TRUE(openForWrite(path.c_str(), writer, reason, nullptr));  // no sharing at all
    RecordingLog log;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(openForRead(path.c_str(), reader, reason, &log));
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(platformLastErrno(), kErrorSharingViolation);
    EXPECT_GE(waited, std::chrono::milliseconds(140));  // three 50 ms sleeps between four tries
    EXPECT_TRUE(log.has("E:Failed to open file (2)")) << log.dump();

    // Released during the retries: the open succeeds.
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        writer.close();
    });
    EXPECT_TRUE(openForRead(path.c_str(), reader, reason, nullptr));
    release.join();
}

TEST(PlatformWin, ReadersShareWritersDoNot) {
    TempFolder dir;
    std::string path = dir.write("f.dat", "abc");
    TarnelHandle a, b, w;
    int reason = 0;
    ASSERT_TRUE(openForRead(path.c_str(), a, reason, nullptr));
    EXPECT_TRUE(openForRead(path.c_str(), b, reason, nullptr));
    EXPECT_FALSE(openForWrite(path.c_str(), w, reason, nullptr));
    EXPECT_EQ(platformLastErrno(), kErrorSharingViolation);
}

TEST(PlatformWin, PathsPastMaxPath) {
    TempFolder dir;
    std::string deep = dir.path();
    while (deep.size() < 400) deep += "\\a-rather-long-folder-name-0123456789";
    std::string file = deep + "\\content.txt";
    ASSERT_GT(file.size(), std::size_t(MAX_PATH));
    ASSERT_TRUE(ensureParentDirectory(file.c_str(), nullptr));
    ASSERT_TRUE(writeWholeFile(file.c_str(), "long", 4, nullptr));
    bool opened = false;
    EXPECT_EQ(getFileSizeByName(file.c_str(), opened), 4);
    EXPECT_TRUE(opened);
    PlatformFolder held = platformOpenFolder(dir.path().c_str());
    EXPECT_TRUE(platformDeleteFolderContent(held));
    platformCloseFolder(held);
    EXPECT_FALSE(exists(deep));
}

TEST(PlatformWin, FullPathsAndTempDir) {
    std::string full = getFullPath("some\\relative.txt");
    ASSERT_GE(full.size(), 3u);
    EXPECT_EQ(full[1], ':') << full;
    EXPECT_EQ(getFileNamePart("C:\\x\\y\\name.dat"), "name.dat");
    std::string temp = platformTempDir();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), '\\');
    // FindFirstFileW finds a folder as itself only without the trailing separator.
    EXPECT_FALSE(platformIsDirectory(temp.c_str()));
    temp.pop_back();
    EXPECT_TRUE(platformIsDirectory(temp.c_str()));
    EXPECT_TRUE(platformIsDirectory(platformLocalAppDataDir().c_str()));
}

TEST(PlatformWin, CodePagesAreTheSystems) {
    EXPECT_EQ(SystemCodePage::ansi(), int(GetACP()));
    EXPECT_EQ(SystemCodePage::oem(), int(GetOEMCP()));
    // Names stored without the UTF-8 flag are read in the system's OEM code page.
    TnZip zip;
    EXPECT_FALSE(zip.OpenZip("no such archive.zip"));
    const std::string log = zip.LastErrorText();
    EXPECT_NE(log.find("OemCodePage: " + std::to_string(GetOEMCP())), std::string::npos) << log;
}

TEST(PlatformWin, FileTimesAndAttributes) {
    TempFolder dir;
    std::string path = dir.write("t.dat", "x");
    TarnelHandle h;
    int reason = 0;
    ASSERT_TRUE(openForWrite(path.c_str(), h, reason, nullptr));
    const std::uint64_t when = 132000000000000000ULL;  // 2019-04-14
    FileTime time;
    time.setValue(when);
    h.setFileTimes(time);
    std::uint64_t creation = 0, access = 0, write = 0;
    ASSERT_TRUE(platformFileTimes(h.descriptor(), creation, access, write));
    EXPECT_EQ(write, when);
    EXPECT_EQ(access, when);
    EXPECT_EQ(creation, when);
    h.close();

    ASSERT_TRUE(setAttributes(path.c_str(), kAttrReadOnly, nullptr));
    std::uint32_t attributes = 0;
    int err = 0;
    ASSERT_TRUE(getAttributes(path.c_str(), attributes, err, nullptr));
    EXPECT_TRUE(attributes & kAttrReadOnly);
    // A writer clears the read-only bit and opens.
    EXPECT_TRUE(openForWrite(path.c_str(), h, reason, nullptr));
    ASSERT_TRUE(getAttributes(dir.path().c_str(), attributes, err, nullptr));
    EXPECT_TRUE(attributes & kAttrDirectory);
}

// Creation below a held folder: exclusive, and the held entries are found, reached and removed
// only while their names still lead to them.
TEST(PlatformWin, PrivateCreationBelowAHeldFolder) {
    TempFolder dir;
    PlatformFolder parent = platformOpenFolder(dir.path().c_str());
    ASSERT_NE(parent, kNoFolder);
    bool taken = false;
    int file = platformCreatePrivateFileIn(parent, "archive.zip", taken);
    ASSERT_GE(file, 0);
    EXPECT_LT(platformCreatePrivateFileIn(parent, "archive.zip", taken), 0);
    EXPECT_TRUE(taken);
    PlatformFolder folder = platformCreatePrivateFolderIn(parent, "stamp", taken);
    ASSERT_NE(folder, kNoFolder);
    EXPECT_EQ(platformCreatePrivateFolderIn(parent, "stamp", taken), kNoFolder);
    EXPECT_TRUE(taken);
    EXPECT_EQ(platformCreatePrivateFolderIn(parent, "archive.zip", taken), kNoFolder);
    EXPECT_TRUE(taken);

    EXPECT_TRUE(platformIsSameEntry(parent, "stamp", folder));
    EXPECT_FALSE(platformIsSameEntry(parent, "archive.zip", folder));
    // Its access path reaches the folder itself.
    std::string access = platformHandlePath(folder, dir / "stamp");
    EXPECT_TRUE(writeWholeFile((access + "\\inside.txt").c_str(), "in", 2, nullptr));
    EXPECT_TRUE(exists(dir / "stamp/inside.txt")) << access;

    EXPECT_FALSE(platformRemoveEntryIfSame(parent, "archive.zip", folder));
    EXPECT_TRUE(platformRemoveEntryIfSame(parent, "archive.zip", file));
    platformCloseFile(file);
    EXPECT_FALSE(exists(dir / "archive.zip"));
    EXPECT_TRUE(platformDeleteFolderContent(folder));
    EXPECT_TRUE(platformRemoveEntryIfSame(parent, "stamp", folder));
    platformCloseFolder(folder);
    EXPECT_FALSE(exists(dir / "stamp"));
    platformCloseFolder(parent);
}

TEST(PlatformWin, TempFolderIsUsable) {
    std::string temp = platformTempDir();
    temp.pop_back();
    EXPECT_TRUE(platformIsWritableFolder(temp.c_str()));
    EXPECT_FALSE(platformIsOpenToOthers(temp.c_str()));
    unsigned char a[16] = {}, b[16] = {};
    ASSERT_TRUE(platformRandomBytes(a, sizeof a));
    ASSERT_TRUE(platformRandomBytes(b, sizeof b));
    EXPECT_NE(std::string(a, a + 16), std::string(b, b + 16));
}

// The extraction folder admits the current user alone (and the system itself, which wine adds
// when it maps the descriptor onto the folder's owner-only mode).
TEST(PlatformWin, PrivateFolderAdmitsOnlyTheCurrentUser) {
    TempFolder dir;
    std::string folder = dir / "private";
    PlatformFolder parent = platformOpenFolder(dir.path().c_str());
    bool taken = false;
    PlatformFolder made = platformCreatePrivateFolderIn(parent, "private", taken);
    ASSERT_NE(made, kNoFolder);
    platformCloseFolder(made);
    platformCloseFolder(parent);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoW(wide(winForm(folder)).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, &dacl, nullptr, &sd),
              DWORD(ERROR_SUCCESS));
    ASSERT_NE(dacl, nullptr);
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    char buffer[256];
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size));
    CloseHandle(token);
    PSID user = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
    BYTE systemSid[SECURITY_MAX_SID_SIZE];
    DWORD systemSize = sizeof systemSid;
    ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, systemSid, &systemSize));
    bool userAdmitted = false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        PSID sid = reinterpret_cast<PSID>(&ace->SidStart);
        userAdmitted = userAdmitted || EqualSid(sid, user);
        EXPECT_TRUE(EqualSid(sid, user) || EqualSid(sid, systemSid)) << "ACE " << i << " admits someone else";
    }
    EXPECT_TRUE(userAdmitted);
    LocalFree(sd);
}

TEST(PlatformWin, DeleteTreeRemovesEverythingButNeverFollowsALink) {
    TempFolder dir;
    std::string outside = dir / "outside", tree = dir / "tree";
    ASSERT_TRUE(CreateDirectoryW(wide(winForm(outside)).c_str(), nullptr));
    writeWholeFile((outside + "\\keep.txt").c_str(), "keep", 4, nullptr);
    ASSERT_TRUE(ensureDirectory((tree + "\\a\\b").c_str(), nullptr));
    writeWholeFile((tree + "\\a\\b\\f.txt").c_str(), "f", 1, nullptr);
    writeWholeFile((tree + "\\ro.txt").c_str(), "r", 1, nullptr);
    setAttributes((tree + "\\ro.txt").c_str(), kAttrReadOnly, nullptr);
    bool linked = CreateSymbolicLinkW(wide(winForm(tree + "/link")).c_str(), wide(winForm(outside)).c_str(),
                                      SYMBOLIC_LINK_FLAG_DIRECTORY) != 0;
    PlatformFolder held = platformOpenFolder(tree.c_str());
    EXPECT_TRUE(platformDeleteFolderContent(held));
    platformCloseFolder(held);
    EXPECT_FALSE(exists(tree + "/a"));
    EXPECT_FALSE(exists(tree + "/link"));
    EXPECT_TRUE(exists(outside + "/keep.txt")) << (linked ? "followed the link" : "no link made");
}

TEST(PlatformWin, SelfExecutableAndProgramStart) {
    int self = platformOpenSelfExe();
    ASSERT_GE(self, 0);
    std::int64_t size = 0;
    EXPECT_TRUE(platformFileSize(self, size));
    EXPECT_GT(size, 0);
    platformCloseFile(self);

    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring w = system;
    PlatformFolder folder = platformOpenFolder(std::string(w.begin(), w.end()).c_str());
    long pid = platformStartProgramIn(folder, "hostname.exe", "hostname.exe");
    ASSERT_GT(pid, 0);
    platformWaitProgram(pid);  // returns once it has ended
    EXPECT_EQ(WaitForSingleObject(LongToHandle(pid), 0), WAIT_OBJECT_0);
    platformReleaseProgram(pid);
    EXPECT_LT(platformStartProgramIn(folder, "no-such-program.exe", "x"), 0);
    platformWaitProgram(-1);  // returns at once
    platformCloseFolder(folder);
}

// The launcher's pieces that need no run: names and stamps, the private-creation and tree
// services, the stub stamp and linkage, the installed stub, and quillet-pack's refusals.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "LauncherProcess.h"
#include "TempFolder.h"
#include "base/PlatformShell.h"
#include "launcher/LauncherNames.h"
#include "launcher/StubLength.h"
#include "tools/StubStamp.h"

using namespace launchertest;

namespace {

SystemTime at(int year, int month, int day, int hour, int minute, int second) {
    SystemTime t;
    t.year = std::uint16_t(year), t.month = std::uint16_t(month), t.day = std::uint16_t(day);
    t.hour = std::uint16_t(hour), t.minute = std::uint16_t(minute), t.second = std::uint16_t(second);
    return t;
}

TEST(LauncherNames, StampRunsTheFieldsTogetherUnpadded) {
    EXPECT_EQ(launcherStamp(at(2012, 2, 3, 4, 5, 6)), "11223456");
    EXPECT_EQ(launcherStamp(at(2025, 12, 25, 13, 7, 9)), "12512251379");
    // Different days, one stamp: the exclusive creation of archive and folder must cope.
    EXPECT_EQ(launcherStamp(at(2026, 1, 11, 5, 6, 7)), launcherStamp(at(2026, 11, 1, 5, 6, 7)));
}

TEST(LauncherNames, OneTrailingSeparatorIsRemoved) {
    struct Case {
        const char* reported;
        const char* used;
    } cases[] = {{"/tmp/", "/tmp"}, {"/tmp//", "/tmp/"}, {"/tmp", "/tmp"}, {"", ""}, {"C:\\Temp\\", "C:\\Temp"}};
    for (const Case& c : cases) EXPECT_EQ(launcherTempDirectory(c.reported), c.used) << c.reported;
}

TEST(PlatformShell, PrivateCreationIsExclusive) {
    TempFolder t;
    ASSERT_TRUE(platformCreatePrivateDirectory((t / "d").c_str()));
    struct stat st;
    ASSERT_EQ(stat((t / "d").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_FALSE(platformCreatePrivateDirectory((t / "d").c_str()));
    fs::create_directory_symlink(t.path(), t / "link");
    EXPECT_FALSE(platformCreatePrivateDirectory((t / "link").c_str()));

    int fd = platformCreatePrivateFile((t / "f.zip").c_str());
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_EQ(stat((t / "f.zip").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_LT(platformCreatePrivateFile((t / "f.zip").c_str()), 0);
    // A planted link is not followed to its target.
    fs::create_symlink(t / "target.zip", t / "planted.zip");
    EXPECT_LT(platformCreatePrivateFile((t / "planted.zip").c_str()), 0);
    EXPECT_FALSE(fs::exists(t / "target.zip"));
}

TEST(PlatformShell, DeleteTreeRemovesReadOnlyPartsAndNeverFollowsLinks) {
    TempFolder t;
    fs::create_directories(t / "outside");
    t.write("outside/precious.txt", "keep");
    fs::create_directories(t / "tree/sub/locked");
    t.write("tree/sub/locked/f.txt", "x");
    t.write("tree/a.txt", "a");
    fs::create_directory_symlink(t / "outside", t / "tree/sub/to-outside");
    fs::create_symlink(t / "outside/precious.txt", t / "tree/file-link");
    chmod((t / "tree/sub/locked").c_str(), 0500);
    EXPECT_TRUE(platformDeleteTree((t / "tree/").c_str()));
    EXPECT_FALSE(fs::exists(t / "tree"));
    EXPECT_EQ(readAll(t / "outside/precious.txt"), "keep");
    EXPECT_TRUE(platformDeleteTree((t / "tree").c_str())) << "nothing there counts as deleted";
}

TEST(LauncherStub, StampedLengthIsTheBuiltSize) {
    std::string image, error;
    ASSERT_TRUE(StubStamp::readFile(TN_QUILLET_OFFLINE, image, error)) << error;
    EXPECT_TRUE(StubStamp::check(image, error)) << error;
    EXPECT_FALSE(StubStamp::check(image + "x", error));
    EXPECT_NE(error.find("stamped stub length"), std::string::npos) << error;
}

TEST(LauncherStub, SlotMustBeFoundExactlyOnce) {
    const std::string tag(QUILLET_STUB_TAG, 16);
    const std::string length8 = std::string("\x07\0\0\0\0\0\0\0", 8);
    struct Case {
        std::string image;
        bool found;
        const char* message;
    } cases[] = {
        {"xx" + tag + length8 + "yy", true, ""},
        {"no slot here", false, "no stub-length slot"},
        {tag + length8 + tag + length8, false, "more than once"},
        {"x" + tag + "1234567", false, "cut off"},
    };
    for (const Case& c : cases) {
        std::uint64_t length = 0;
        std::string error;
        EXPECT_EQ(StubStamp::readStamp(c.image, length, error), c.found) << c.message;
        if (c.found) {
            EXPECT_EQ(length, 7u);
        } else {
            EXPECT_NE(error.find(c.message), std::string::npos) << error;
        }
    }
}

#ifndef TN_SANITIZED_BUILD
TEST(LauncherStub, LinksOnlyLibrariesEveryDesktopHas) {
    TempFolder t;
    std::string cmd = "readelf -d " TN_QUILLET_OFFLINE " > '" + (t / "dyn") + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::istringstream in(readAll(t / "dyn"));
    const char* allowed[] = {"libc.so", "libm.so", "ld-linux", "libgtk-3", "libgdk-3", "libglib-2.0", "libgobject-2.0",
                             "libgio-2.0", "libgdk_pixbuf-2.0", "libcairo", "libpango", "libatk", "libharfbuzz",
                             "libz.so", "libbz2", "libgcrypt", "libgpg-error", "libpthread"};
    int needed = 0;
    for (std::string line; std::getline(in, line);) {
        std::size_t open = line.find("Shared library: [");
        if (open == std::string::npos) continue;
        std::string lib = line.substr(open + 17, line.find(']') - open - 17);
        ++needed;
        bool ok = false;
        for (const char* a : allowed) ok = ok || lib.rfind(a, 0) == 0;
        EXPECT_TRUE(ok) << "unexpected dependency " << lib;
    }
    EXPECT_GT(needed, 0);
}

TEST(LauncherStub, InstalledStubKeepsItsStamp) {
    TempFolder t;
    std::string cmd = "cmake --install " TN_BINARY_DIR " --prefix '" + t.path() + "' > /dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string image, error;
    ASSERT_TRUE(StubStamp::readFile(t / "bin/quillet-offline", image, error)) << error;
    EXPECT_TRUE(StubStamp::check(image, error)) << error;
    EXPECT_TRUE(fs::exists(t / "bin/quillet-pack"));
    EXPECT_TRUE(fs::exists(t / "bin/tnzip"));
}
#endif

TEST(QuilletPack, RefusesBadInputWithAMessage) {
    TempFolder t;
    fs::create_directories(t / "noviewer");
    t.write("noviewer/page.txt", "p");
    fs::create_directories(t / "good");
    t.write("good/offline.exe", "viewer");
    std::string badStub = t / "bad-stub";
    fs::copy_file(TN_QUILLET_OFFLINE, badStub);
    std::ofstream(badStub, std::ios::app) << "extra";
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{t / "noviewer", "-o", t / "out"}, 1, "no offline.exe"},
        {{t / "good", "-o", t / "out", "--stub", badStub}, 1, "stamped stub length"},
        {{t / "good", "-o", t / "out", "--stub", t / "missing"}, 1, "cannot open"},
        {{t / "good", "-o", t / "out", "--level", "10"}, 2, "usage"},
        {{t / "good"}, 2, "usage"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {TN_QUILLET_PACK};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        Finished f = finish(spawn(argv, {}, t / "o", t / "e"), t / "o", t / "e");
        EXPECT_EQ(f.status, c.status) << f.err;
        EXPECT_NE(f.err.find(c.message), std::string::npos) << f.err;
        EXPECT_FALSE(fs::exists(t / "out"));
    }
    std::vector<std::string> argv = {TN_QUILLET_PACK, t / "good", "-o", t / "out", "--stub", TN_QUILLET_OFFLINE};
    Finished f = finish(spawn(argv, {}, t / "o", t / "e"), t / "o", t / "e");
    ASSERT_EQ(f.status, 0) << f.err;
    std::string stub = readAll(TN_QUILLET_OFFLINE);
    EXPECT_EQ(readAll(t / "out").substr(0, stub.size()), stub);
    EXPECT_NE(fs::status(t / "out").permissions() & fs::perms::owner_exec, fs::perms::none);
    std::string list = "unzip -Z1 '" + (t / "out") + "' > '" + (t / "names") + "' 2>/dev/null";
    std::system(list.c_str());
    EXPECT_EQ(readAll(t / "names"), "offline.exe\n");
}

}  // namespace

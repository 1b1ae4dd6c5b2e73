// The launcher's pieces that need no run: names and stamps, usable folders, the private-creation
// and tree services, the workspace held by handles, the stub stamp and linkage, the installed
// stub, and quillet-pack's refusals and output.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <set>

#include "LauncherProcess.h"
#include "TempFolder.h"
#include "base/PlatformShell.h"
#include "launcher/LauncherNames.h"
#include "launcher/LauncherWorkspace.h"
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

TEST(LauncherNames, StampIsPaddedSoDifferentTimesNeverMeet) {
    EXPECT_EQ(launcherStamp(at(2012, 2, 3, 4, 5, 6)), "1120203040506");
    EXPECT_EQ(launcherStamp(at(2025, 12, 25, 13, 7, 9)), "1251225130709");
    // Unpadded, each pair would read alike.
    EXPECT_NE(launcherStamp(at(2026, 1, 11, 5, 6, 7)), launcherStamp(at(2026, 11, 1, 5, 6, 7)));
    EXPECT_NE(launcherStamp(at(2026, 3, 4, 12, 25, 1)), launcherStamp(at(2026, 3, 4, 12, 2, 51)));
}

TEST(LauncherNames, UniqueNamesStartWithTheStampAndCannotBeForetold) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        std::string name = launcherUniqueName("1260304122501");
        ASSERT_EQ(name.size(), 13u + 1 + 16) << name;
        EXPECT_EQ(name.substr(0, 14), "1260304122501-");
        EXPECT_EQ(name.find_first_not_of("abcdefghijklmnopqrstuvwxyz234567", 14), std::string::npos) << name;
        seen.insert(name);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(LauncherNames, OneTrailingSeparatorIsRemoved) {
    struct Case {
        const char* reported;
        const char* used;
    } cases[] = {{"/tmp/", "/tmp"}, {"/tmp//", "/tmp/"}, {"/tmp", "/tmp"}, {"", ""}, {"C:\\Temp\\", "C:\\Temp"}};
    for (const Case& c : cases) EXPECT_EQ(launcherTempDirectory(c.reported), c.used) << c.reported;
}

// Only folders that the user can write and that nobody else can rearrange are worked in.
TEST(LauncherNames, UsableFolders) {
    TempFolder t;
    fs::create_directories(t / "mine");
    fs::create_directories(t / "shared-open");
    fs::create_directories(t / "shared-sticky");
    fs::create_directories(t / "own-open");
    chmod((t / "shared-open").c_str(), 0777);
    chmod((t / "shared-sticky").c_str(), 01777);
    chmod((t / "own-open").c_str(), 0777);
    bool other = runningAsRoot() && chown((t / "shared-open").c_str(), 65534, 65534) == 0 &&
                 chown((t / "shared-sticky").c_str(), 65534, 65534) == 0;
    EXPECT_TRUE(launcherUsableFolder(t / "mine"));
    EXPECT_TRUE(launcherUsableFolder(t / "own-open")) << "the user's own folder, however open";
    EXPECT_FALSE(launcherUsableFolder(t / "missing"));
    if (other) {
        EXPECT_FALSE(launcherUsableFolder(t / "shared-open")) << "others could swap what we create";
        EXPECT_TRUE(launcherUsableFolder(t / "shared-sticky")) << "like /tmp";
    }
    if (!runningAsRoot()) {
        fs::create_directories(t / "locked");
        chmod((t / "locked").c_str(), 0555);
        EXPECT_FALSE(launcherUsableFolder(t / "locked"));
    }
}

TEST(PlatformShell, PrivateCreationIsExclusive) {
    TempFolder t;
    PlatformFolder dir = platformOpenFolder(t.path().c_str());
    ASSERT_NE(dir, kNoFolder);
    bool exists = true;
    PlatformFolder made = platformCreatePrivateFolderIn(dir, "d", exists);
    ASSERT_NE(made, kNoFolder);
    EXPECT_FALSE(exists);
    struct stat st;
    ASSERT_EQ(stat((t / "d").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(platformCreatePrivateFolderIn(dir, "d", exists), kNoFolder);
    EXPECT_TRUE(exists);

    int fd = platformCreatePrivateFileIn(dir, "f.zip", exists);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(stat((t / "f.zip").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_LT(platformCreatePrivateFileIn(dir, "f.zip", exists), 0);
    EXPECT_TRUE(exists);
    // Neither creation follows a planted link to its target.
    fs::create_symlink(t / "target", t / "planted");
    EXPECT_LT(platformCreatePrivateFileIn(dir, "planted", exists), 0);
    EXPECT_TRUE(exists);
    EXPECT_EQ(platformCreatePrivateFolderIn(dir, "planted", exists), kNoFolder);
    EXPECT_TRUE(exists);
    EXPECT_FALSE(fs::exists(t / "target"));
    // Something other than "already there" is not worth another name.
    EXPECT_LT(platformCreatePrivateFileIn(dir, "no-such/f", exists), 0);
    EXPECT_FALSE(exists);
    close(fd);
    platformCloseFolder(made);
    platformCloseFolder(dir);
}

TEST(PlatformShell, DeleteFolderContentRemovesReadOnlyPartsAndNeverFollowsLinks) {
    TempFolder t;
    fs::create_directories(t / "outside");
    t.write("outside/precious.txt", "keep");
    fs::create_directories(t / "tree/sub/locked");
    t.write("tree/sub/locked/f.txt", "x");
    t.write("tree/a.txt", "a");
    fs::create_directory_symlink(t / "outside", t / "tree/sub/to-outside");
    fs::create_symlink(t / "outside/precious.txt", t / "tree/file-link");
    chmod((t / "tree/sub/locked").c_str(), 0500);
    PlatformFolder tree = platformOpenFolder((t / "tree").c_str());
    EXPECT_TRUE(platformDeleteFolderContent(tree));
    EXPECT_TRUE(listNames(t / "tree").empty());
    EXPECT_EQ(readAll(t / "outside/precious.txt"), "keep");
    EXPECT_TRUE(platformDeleteFolderContent(tree)) << "an empty folder is done at once";
    platformCloseFolder(tree);
}

// A tree deeper than the process may hold descriptors goes all the same: the walk keeps one
// folder open at a time.
TEST(PlatformShell, DeleteFolderContentRemovesTreesDeeperThanTheDescriptorLimit) {
    TempFolder t;
    fs::create_directories(t / "tree");
    int fd = open((t / "tree").c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < 1500 && fd >= 0; ++level) {
        mkdirat(fd, "d", 0700);
        if (level % 100 == 0) close(openat(fd, "f.txt", O_CREAT | O_WRONLY, 0400));
        int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
    }
    ASSERT_GE(fd, 0);
    fchmod(fd, 0500);
    close(fd);
    pid_t child = fork();
    if (child == 0) {
        struct rlimit few = {64, 64};
        setrlimit(RLIMIT_NOFILE, &few);
        PlatformFolder tree = platformOpenFolder((t / "tree").c_str());
        _exit(tree != kNoFolder && platformDeleteFolderContent(tree) ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(listNames(t / "tree").empty());
}

// The workspace names come from a script: each planted kind of entry takes the first name, and
// creation must pass over it to the second without touching it.
TEST(LauncherWorkspace, TakenNamesArePassedOverUntouched) {
    struct Case {
        const char* kind;
        std::function<void(const std::string& path, const std::string& outside)> plant;
    } cases[] = {
        {"file", [](const std::string& p, const std::string&) { std::ofstream(p) << "theirs"; }},
        {"folder", [](const std::string& p, const std::string&) { fs::create_directory(p); }},
        {"link to a file", [](const std::string& p, const std::string& o) { fs::create_symlink(o + "/file", p); }},
        {"dangling link", [](const std::string& p, const std::string& o) { fs::create_symlink(o + "/new", p); }},
        {"link to a folder", [](const std::string& p, const std::string& o) { fs::create_directory_symlink(o, p); }},
    };
    for (const Case& c : cases) {
        TempFolder t;
        fs::create_directories(t / "work");
        fs::create_directories(t / "outside");
        t.write("outside/file", "precious");
        c.plant(t / "work/S-taken.zip", t / "outside");
        c.plant(t / "work/S-taken", t / "outside");
        std::vector<std::string> script = {"S-taken", "S-free", "S-taken", "S-free"};
        std::size_t next = 0;
        LauncherWorkspace work;
        work.setNameSource([&](const std::string& stamp) { return stamp + "-" + script[next++].substr(2); });
        ASSERT_TRUE(work.open(t / "work"));
        ASSERT_TRUE(work.createArchive("S")) << c.kind;
        ASSERT_TRUE(work.createFolder("S")) << c.kind;
        EXPECT_EQ(work.archiveName(), "S-free.zip") << c.kind;
        EXPECT_EQ(work.folderName(), "S-free") << c.kind;
        EXPECT_EQ(listNames(t / "outside"), std::vector<std::string>{"file"}) << c.kind;
        EXPECT_EQ(readAll(t / "outside/file"), "precious") << c.kind;
        work.removeArchive();
        work.removeFolder();
        EXPECT_EQ(listNames(t / "work"), (std::vector<std::string>{"S-taken", "S-taken.zip"})) << c.kind;
    }
}

// Another user moves the fresh folder and the archive away and puts their own in their place
// (a shared folder without the sticky bit allows that): the workspace notices, still starts and
// deletes only its own, and leaves theirs alone.
TEST(LauncherWorkspace, SwappedNamesLeadNowhere) {
    TempFolder t;
    fs::create_directories(t / "work");
    LauncherWorkspace work;
    ASSERT_TRUE(work.open(t / "work"));
    ASSERT_TRUE(work.createArchive("S"));
    ASSERT_TRUE(work.createFolder("S"));
    ASSERT_TRUE(work.folderInPlace());
    std::ofstream(work.folderAccessPath() + "/offline.exe") << "#!/bin/sh\necho ours > '" << (t / "ran") << "'\n";
    std::string archive = t / ("work/" + work.archiveName()), folder = t / ("work/" + work.folderName());
    std::ofstream(archive) << "our archive";

    fs::rename(folder, t / "moved-folder");
    fs::rename(archive, t / "moved-archive");
    fs::create_directory(folder);
    std::ofstream(folder + "/offline.exe") << "#!/bin/sh\necho theirs > '" << (t / "ran") << "'\n";
    chmod((folder + "/offline.exe").c_str(), 0755);
    std::ofstream(archive) << "their archive";

    EXPECT_FALSE(work.folderInPlace());
    EXPECT_EQ(readAll(work.archiveAccessPath()), "our archive");
    long pid = work.startViewer();
    ASSERT_GT(pid, 0);
    platformWaitProgram(pid);
    platformReleaseProgram(pid);
    EXPECT_EQ(readAll(t / "ran"), "ours\n");

    work.removeArchive();
    work.removeFolder();
    EXPECT_EQ(readAll(archive), "their archive");
    EXPECT_EQ(listNames(folder), std::vector<std::string>{"offline.exe"});
    EXPECT_TRUE(listNames(t / "moved-folder").empty()) << "our own content is deleted wherever it went";
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
    // The length, then the payload's length and digest.
    const std::string length8 = std::string("\x07\0\0\0\0\0\0\0", 8) + std::string(40, '\0');
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
    const char* allowed[] = {"libc.so",     "libm.so",        "ld-linux",    "libgtk-3",          "libgdk-3",
                             "libglib-2.0", "libgobject-2.0", "libgio-2.0",  "libgdk_pixbuf-2.0", "libcairo",
                             "libpango",    "libatk",         "libharfbuzz", "libz.so",           "libbz2",
                             "libgcrypt",   "libgpg-error",   "libpthread"};
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

// Every publication carries the stub: its debug information lives beside it, not in it.
TEST(LauncherStub, CarriesNoDebugInformation) {
    TempFolder t;
    std::string cmd = "readelf -S " TN_QUILLET_OFFLINE " > '" + (t / "sections") + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string sections = readAll(t / "sections");
    EXPECT_EQ(sections.find(".debug_info"), std::string::npos);
    EXPECT_NE(sections.find(".gnu_debuglink"), std::string::npos);
    EXPECT_TRUE(fs::exists(TN_QUILLET_OFFLINE ".debug"));
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
        {{t / "good", "-o", t / "good/out"}, 1, "lies inside the folder being packed"},
        {{t / "good", "-o", t / "good/sub/../out"}, 1, "lies inside the folder being packed"},
        {{t / "good", "-o", t / "good/offline.exe"}, 1, "lies inside the folder being packed"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {TN_QUILLET_PACK};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        Finished f = finish(spawn(argv, {}, t / "o", t / "e"), t / "o", t / "e");
        EXPECT_EQ(f.status, c.status) << f.err;
        EXPECT_NE(f.err.find(c.message), std::string::npos) << f.err;
        EXPECT_FALSE(fs::exists(t / "out"));
        EXPECT_EQ(listNames(t / "good"), std::vector<std::string>{"offline.exe"});
    }
    std::vector<std::string> argv = {TN_QUILLET_PACK, t / "good", "-o", t / "out", "--stub", TN_QUILLET_OFFLINE};
    Finished f = finish(spawn(argv, {}, t / "o", t / "e"), t / "o", t / "e");
    ASSERT_EQ(f.status, 0) << f.err;
    // The stub as built, but for the payload's length and digest in its slot.
    std::string stub = readAll(TN_QUILLET_OFFLINE), out = readAll(t / "out");
    std::size_t slot = 0;
    std::string error;
    ASSERT_TRUE(StubStamp::findSlot(stub, slot, error)) << error;
    EXPECT_EQ(out.substr(0, slot + 8), stub.substr(0, slot + 8));
    EXPECT_EQ(out.substr(slot + 56, stub.size() - slot - 56), stub.substr(slot + 56));
    std::uint64_t payload = 0;
    for (int i = 7; i >= 0; --i) payload = payload << 8 | std::uint8_t(out[slot + 8 + i]);
    EXPECT_EQ(payload, out.size() - stub.size());
    EXPECT_NE(fs::status(t / "out").permissions() & fs::perms::owner_exec, fs::perms::none);
    std::string list = "unzip -Z1 '" + (t / "out") + "' > '" + (t / "names") + "' 2>/dev/null";
    std::system(list.c_str());
    EXPECT_EQ(readAll(t / "names"), "offline.exe\n");
}

// Links planted at the names a packer might use beside its output lead nowhere: the output is
// written under a fresh private name and renamed into place.
TEST(QuilletPack, PlantedLinksBesideTheOutputAreNotFollowed) {
    TempFolder t;
    fs::create_directories(t / "pub");
    t.write("pub/offline.exe", "viewer");
    fs::create_directories(t / "dist");
    for (const char* name : {"out.part", "out.zip.part", ".out.part", "out.tmp"})
        fs::create_symlink(t / (std::string("target-") + name), t / ("dist/" + std::string(name)));
    std::vector<std::string> before = listNames(t / "dist");
    std::vector<std::string> argv = {TN_QUILLET_PACK, t / "pub", "-o", t / "dist/out", "--stub", TN_QUILLET_OFFLINE};
    Finished f = finish(spawn(argv, {}, t / "o", t / "e"), t / "o", t / "e");
    ASSERT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(listNames(t.path()), (std::vector<std::string>{"dist", "e", "o", "pub"})) << "a link was followed";
    before.push_back("out");
    std::sort(before.begin(), before.end());
    EXPECT_EQ(listNames(t / "dist"), before) << "work files left beside the output";
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(t / "dist/out")));
    std::string list = "unzip -Z1 '" + (t / "dist/out") + "' > '" + (t / "names") + "' 2>/dev/null";
    std::system(list.c_str());
    EXPECT_EQ(readAll(t / "names"), "offline.exe\n");
}

Finished runPack(const TempFolder& t, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env = {}) {
    std::vector<std::string> argv = {TN_QUILLET_PACK};
    argv.insert(argv.end(), args.begin(), args.end());
    return finish(spawn(argv, env, t / "o", t / "e"), t / "o", t / "e");
}

TEST(QuilletPack, HelpVersionQuietAndSummary) {
    TempFolder t;
    fs::create_directories(t / "pub/pages");
    t.write("pub/offline.exe", std::string(4000, 'v'));
    t.write("pub/pages/one.txt", std::string(6000, 'p'));
    struct Case {
        std::vector<std::string> args;
        const char* out;
    } cases[] = {
        {{"--help"}, "usage: quillet-pack"},
        {{"--version"}, "quillet-pack "},
        {{t / "pub", "-o", t / "out1", "--stub", TN_QUILLET_OFFLINE},
         "quillet-pack: 2 files, 1 folders, 10000 bytes in, "},
    };
    for (const Case& c : cases) {
        Finished f = runPack(t, c.args);
        EXPECT_EQ(f.status, 0) << f.err;
        EXPECT_EQ(f.out.rfind(c.out, 0), 0u) << f.out;
    }
    Finished quiet = runPack(t, {"-q", t / "pub", "-o", t / "out2", "--stub", TN_QUILLET_OFFLINE});
    EXPECT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.out, "");
}

// Names in byte order and no time of packing: the same folder gives the same bytes, and
// SOURCE_DATE_EPOCH caps every stored time.
TEST(QuilletPack, SameFolderSameBytesAndTimesCapped) {
    TempFolder t;
    for (const char* name : {"pub/offline.exe", "pub/b/z.txt", "pub/a/y.txt", "pub/B.txt", "pub/caf\xe9.txt"}) {
        fs::create_directories(fs::path(t / name).parent_path());
        t.write(name, name);
    }
    std::map<std::string, std::string> epoch = {{"SOURCE_DATE_EPOCH", "1000000000"}, {"TZ", "UTC"}};
    ASSERT_EQ(runPack(t, {t / "pub", "-o", t / "one", "--stub", TN_QUILLET_OFFLINE}).status, 0);
    sleep(2);
    ASSERT_EQ(runPack(t, {t / "pub", "-o", t / "two", "--stub", TN_QUILLET_OFFLINE}).status, 0);
    ASSERT_EQ(runPack(t, {t / "pub", "-o", t / "capped", "--stub", TN_QUILLET_OFFLINE}, epoch).status, 0);
    EXPECT_EQ(readAll(t / "one"), readAll(t / "two"));
    std::string cmd = "unzip -Z -T '" + (t / "capped") + "' 2>/dev/null > '" + (t / "listing") + "'";
    std::system(cmd.c_str());
    std::istringstream listing(readAll(t / "listing"));
    std::vector<std::string> names;
    for (std::string line; std::getline(listing, line);) {
        // "-rw-r--r--  3.0 unx  8 tx defN 20010909.014640 offline.exe": 2001-09-09 01:46:40 UTC
        std::istringstream fields(line);
        std::vector<std::string> f(7);
        for (std::string& field : f) fields >> field;
        if (f[6].size() != 15 || f[6][8] != '.') continue;
        EXPECT_LE(f[6], "20010909.014640") << line;
        names.push_back(line.substr(line.find(f[6]) + 16));
    }
    EXPECT_EQ(names.size(), 7u);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end())) << "not in byte order";
    EXPECT_EQ(names.front(), "B.txt");
}

// A name with a control character is shown escaped, never sent to the terminal as it is.
TEST(QuilletPack, NamesInMessagesAreEscaped) {
    TempFolder t;
    fs::create_directories(t / "pub");
    t.write("pub/offline.exe", "viewer");
    ASSERT_EQ(mkfifo((t / "pub/bell\aname").c_str(), 0600), 0);
    Finished f = runPack(t, {t / "pub", "-o", t / "out", "--stub", TN_QUILLET_OFFLINE});
    EXPECT_EQ(f.status, 1);
    EXPECT_NE(f.err.find("bell\\x07name: not a regular file"), std::string::npos) << f.err;
    EXPECT_EQ(f.err.find('\a'), std::string::npos);
}

// Interrupted while it writes, the packer leaves neither its work folder nor a partial output.
TEST(QuilletPack, InterruptLeavesNothingBesideTheOutput) {
    TempFolder t;
    fs::create_directories(t / "pub");
    fs::create_directories(t / "dist");
    t.write("pub/offline.exe", "viewer");
    {
        std::ofstream big(t / "pub/big.bin", std::ios::binary);
        std::mt19937_64 random(3);
        std::vector<std::uint64_t> block(1 << 17);
        for (int i = 0; i < 48; ++i) {
            for (auto& v : block) v = random();
            big.write(reinterpret_cast<const char*>(block.data()), std::streamsize(block.size() * 8));
        }
    }
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        std::vector<std::string> argv = {TN_QUILLET_PACK, t / "pub", "-o",
                                         t / "dist/out",  "--stub",  TN_QUILLET_OFFLINE};
        Spawned s = spawn(argv, {}, t / "o", t / "e");
        bool seen = false;
        for (int i = 0; i < 20000 && !seen; ++i) {
            seen = !listNames(t / "dist").empty();
            if (!seen) usleep(500);
        }
        kill(s.pid, sig);
        Finished f = finish(s, t / "o", t / "e");
        if (f.signal != sig) {
            std::cout << "[ SKIPPED  ] signal " << sig << ": the packer finished first\n";
            fs::remove_all(t / "dist/out");
            continue;
        }
        EXPECT_EQ(listNames(t / "dist"), std::vector<std::string>{}) << sig;
    }
}

}  // namespace

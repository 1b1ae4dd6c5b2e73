// Directory handles: creation below an open directory never follows a link, replaces files and
// links instead of writing through them, and stays with the directory when its path changes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "TempFolder.h"
#include "base/PlatformFiles.h"
#include "base/TarnelDir.h"
#include "base/TarnelHandle.h"

namespace fs = std::filesystem;

namespace {

void writeThrough(TarnelHandle& h, const std::string& text) {
    std::uint64_t put = 0;
    ASSERT_TRUE(h.write(text.data(), text.size(), put, nullptr));
}

}  // namespace

TEST(TarnelDir, NamesAreSingleComponents) {
    for (const char* bad : {"", ".", "..", "a/b", "a\\b", "/x"}) EXPECT_FALSE(TarnelDir::isPlainName(bad)) << bad;
    for (const char* good : {"a", "..a", ". ", "a.."}) EXPECT_TRUE(TarnelDir::isPlainName(good)) << good;
    TempFolder box;
    TarnelDir dir, child;
    ASSERT_TRUE(dir.openPath(box.path().c_str()));
    EXPECT_FALSE(dir.openChild("..", true, child));
    TarnelHandle h;
    EXPECT_FALSE(dir.createFile("../x", h));
}

// A file or a link at the name is replaced; the link's target stays untouched.
TEST(TarnelDir, CreateReplacesFilesAndLinksNeverWritesThrough) {
    TempFolder box, outside;
    std::string victim = outside.write("victim", "keep me");
    chmod(victim.c_str(), 0644);
    TarnelDir dir;
    ASSERT_TRUE(dir.openPath(box.path().c_str()));
    ASSERT_EQ(symlink(victim.c_str(), (box / "link").c_str()), 0);
    ASSERT_EQ(symlink("/nonexistent/dangling", (box / "dangling").c_str()), 0);
    box.write("file", "old");
    for (const char* name : {"link", "dangling", "file"}) {
        TarnelHandle h;
        ASSERT_TRUE(dir.createFile(name, h)) << name;
        writeThrough(h, "new");
        ASSERT_TRUE(h.setPermissions(04755));
        h.close();
        struct stat st;
        ASSERT_EQ(lstat((box / name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << name;
        EXPECT_EQ(st.st_mode & 07777, 0755u) << name;  // setuid dropped
        EXPECT_EQ(readAll(box / name), "new");
    }
    EXPECT_EQ(readAll(victim), "keep me");
    struct stat st;
    ASSERT_EQ(stat(victim.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_FALSE(fs::exists("/nonexistent/dangling"));
    fs::create_directory(box / "sub");
    TarnelHandle h;
    EXPECT_FALSE(dir.createFile("sub", h));  // a directory is never replaced
    EXPECT_TRUE(fs::is_directory(box / "sub"));
}

TEST(TarnelDir, ChildDirectoriesRefuseLinksAndFollowTheHandle) {
    TempFolder box, outside;
    TarnelDir dir, child;
    ASSERT_TRUE(dir.openPath(box.path().c_str()));
    ASSERT_EQ(symlink(outside.path().c_str(), (box / "up").c_str()), 0);
    EXPECT_FALSE(dir.openChild("up", true, child));
    EXPECT_EQ(dir.kindOf("up"), TarnelDir::Kind::Link);
    box.write("plain", "x");
    EXPECT_FALSE(dir.openChild("plain", true, child));
    EXPECT_EQ(dir.kindOf("none"), TarnelDir::Kind::Missing);
    ASSERT_TRUE(dir.openChild("made", true, child));
    EXPECT_EQ(dir.kindOf("made"), TarnelDir::Kind::Directory);
    // The path is swapped for a link to elsewhere: the held directory is still where files go.
    fs::rename(box / "made", box / "moved");
    ASSERT_EQ(symlink(outside.path().c_str(), (box / "made").c_str()), 0);
    TarnelHandle h;
    ASSERT_TRUE(child.createFile("f", h));
    EXPECT_TRUE(fs::exists(box / "moved/f"));
    EXPECT_TRUE(fs::is_empty(outside.path()));
}

TEST(TarnelDir, LinksTimesAndRemoval) {
    TempFolder box, outside;
    std::string target = outside.write("t", "x");
    TarnelDir dir;
    ASSERT_TRUE(dir.openPath(box.path().c_str()));
    box.write("l", "a file to replace");
    ASSERT_TRUE(dir.createLink("l", target.c_str()));
    EXPECT_EQ(fs::read_symlink(box / "l"), target);
    struct stat before;
    ASSERT_EQ(stat(target.c_str(), &before), 0);
    FileTime t;
    t.setValue((11644473600ULL + 1000000000ULL) * 10000000ULL);  // 2001-09-09
    ASSERT_TRUE(dir.setTimesOf("l", t));
    struct stat link, after;
    ASSERT_EQ(lstat((box / "l").c_str(), &link), 0);
    ASSERT_EQ(stat(target.c_str(), &after), 0);
    EXPECT_EQ(link.st_mtime, 1000000000);
    EXPECT_EQ(after.st_mtime, before.st_mtime);  // the target keeps its time
    EXPECT_TRUE(dir.removeFile("l"));
    EXPECT_TRUE(dir.removeFile("l"));  // already gone
    EXPECT_TRUE(fs::exists(target));
    ASSERT_TRUE(dir.setTimes(t));
    ASSERT_TRUE(dir.setPermissions(0750));
    struct stat self;
    ASSERT_EQ(stat(box.path().c_str(), &self), 0);
    EXPECT_EQ(self.st_mtime, 1000000000);
    EXPECT_EQ(self.st_mode & 0777, 0750u);
}

// A file without a name takes its name only when published: until then the name keeps what it
// had, a discarded file leaves nothing, and publishing replaces a link, never its target.
TEST(TarnelDir, UnnamedFilesArePublishedWhole) {
    TempFolder box, outside;
    std::string victim = outside.write("victim", "keep me");
    TarnelDir dir;
    ASSERT_TRUE(dir.openPath(box.path().c_str()));
    box.write("existing", "old");
    ASSERT_EQ(symlink(victim.c_str(), (box / "link").c_str()), 0);
    for (const char* name : {"existing", "link", "fresh"}) {
        TarnelHandle h;
        std::string pending;
        ASSERT_TRUE(dir.createUnnamedFile(h, pending)) << name;
        writeThrough(h, "new");
        if (std::string(name) == "existing") {
            EXPECT_EQ(readAll(box / name), "old");  // not yet
        }
        ASSERT_TRUE(dir.publishFile(h, pending, name)) << name;
        h.close();
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(box / name))) << name;
        EXPECT_EQ(readAll(box / name), "new") << name;
    }
    EXPECT_EQ(readAll(victim), "keep me");
    TarnelHandle h;
    std::string pending;
    ASSERT_TRUE(dir.createUnnamedFile(h, pending));
    writeThrough(h, "dropped");
    dir.discardFile(h, pending);
    fs::create_directory(box / "sub");
    ASSERT_TRUE(dir.createUnnamedFile(h, pending));
    EXPECT_FALSE(dir.publishFile(h, pending, "sub"));  // a directory is never replaced
    dir.discardFile(h, pending);
    std::string names;
    for (auto& e : fs::directory_iterator(box.path())) names += e.path().filename().string() + " ";
    EXPECT_EQ(names.size(), std::string("existing link fresh sub ").size()) << names;
}

namespace {

// Forces a construction of files without a name for one scope.
class UnnamedFilesAs {
public:
    explicit UnnamedFilesAs(TarnelDir::UnnamedFiles how) { TarnelDir::setUnnamedFiles(how); }
    ~UnnamedFilesAs() { TarnelDir::setUnnamedFiles(TarnelDir::UnnamedFiles::Automatic); }
};

unsigned modeOf(const fs::path& p) {
    struct stat st {};
    return lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

}  // namespace

// Where the system cannot make a file without a name (no O_TMPFILE, no /proc), the file is
// made owner-only under a private name, and goes as it came: published by rename, or removed.
TEST(TarnelDir, PrivateNamesAreOwnerOnlyAndLeaveNothing) {
    for (auto how : {TarnelDir::UnnamedFiles::NoTmpFile, TarnelDir::UnnamedFiles::NoProc}) {
        UnnamedFilesAs forced(how);
        TempFolder box;
        TarnelDir dir;
        ASSERT_TRUE(dir.openPath(box.path().c_str()));
        TarnelHandle h;
        std::string pending;
        ASSERT_TRUE(dir.createUnnamedFile(h, pending));
        ASSERT_FALSE(pending.empty());
        EXPECT_EQ(modeOf(box / pending), 0600u);
        writeThrough(h, "new");
        ASSERT_TRUE(dir.publishFile(h, pending, "done"));
        EXPECT_FALSE(fs::exists(box / pending));
        EXPECT_EQ(readAll(box / "done"), "new");
        ASSERT_TRUE(dir.createUnnamedFile(h, pending));
        dir.discardFile(h, pending);
        EXPECT_EQ(std::distance(fs::directory_iterator(box.path()), fs::directory_iterator()), 1);
    }
}

// Without replace the name must be free at the moment of publication, with either construction;
// what was there stays, and the private name is gone.
TEST(TarnelDir, PublishingWithoutReplaceKeepsWhatIsThere) {
    for (auto how : {TarnelDir::UnnamedFiles::Automatic, TarnelDir::UnnamedFiles::NoTmpFile}) {
        UnnamedFilesAs forced(how);
        TempFolder box;
        TarnelDir dir;
        ASSERT_TRUE(dir.openPath(box.path().c_str()));
        box.write("taken", "old");
        for (const char* name : {"taken", "free"}) {
            TarnelHandle h;
            std::string pending;
            ASSERT_TRUE(dir.createUnnamedFile(h, pending));
            writeThrough(h, "new");
            const bool published = dir.publishFile(h, pending, name, false);
            const int err = platformLastErrno();
            dir.discardFile(h, pending);
            EXPECT_EQ(published, std::string(name) == "free") << name;
            if (!published) {
                EXPECT_TRUE(TarnelDir::isNameTaken(err)) << err;
            }
        }
        EXPECT_EQ(readAll(box / "taken"), "old");
        EXPECT_EQ(readAll(box / "free"), "new");
        EXPECT_FALSE(dir.createLink("taken", "x", false));
        EXPECT_TRUE(TarnelDir::isNameTaken(platformLastErrno()));
        EXPECT_EQ(std::distance(fs::directory_iterator(box.path()), fs::directory_iterator()), 2);
    }
}

// An interrupt ends the process as it would have, but first removes the private name of a file
// still being written; a handler the process had of its own still runs.
TEST(TarnelDir, InterruptRemovesPrivateNames) {
    struct Case {
        int signal;
        bool ownHandler;
    };
    for (const Case c : {Case{SIGINT, false}, Case{SIGTERM, false}, Case{SIGHUP, false}, Case{SIGTERM, true}}) {
        TempFolder box;
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (c.ownHandler) signal(c.signal, [](int) { _exit(7); });
            TarnelDir::setUnnamedFiles(TarnelDir::UnnamedFiles::NoTmpFile);
            TarnelDir dir;
            TarnelHandle h;
            std::string pending;
            const bool made = dir.openPath(box.path().c_str()) && dir.createUnnamedFile(h, pending);
            if (write(ready[1], made ? "y" : "n", 1) != 1) _exit(2);
            for (;;) pause();
        }
        close(ready[1]);
        char made = 0;
        ASSERT_EQ(read(ready[0], &made, 1), 1);
        close(ready[0]);
        EXPECT_EQ(made, 'y');
        EXPECT_EQ(std::distance(fs::directory_iterator(box.path()), fs::directory_iterator()), 1);
        kill(child, c.signal);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        if (c.ownHandler) EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << status;
        else EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
        EXPECT_TRUE(fs::is_empty(box.path())) << c.signal;
    }
}

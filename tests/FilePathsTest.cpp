// Path texts: root stripping, joining and lexical full paths.
#include <gtest/gtest.h>

#include <cstdlib>

#include "base/FilePaths.h"

TEST(FilePaths, StripPathRoot) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"C:\\\\dir\\file.txt", "dir\\file.txt"},
        {"c:file", "file"},
#ifdef _WIN32
        {"\\\\server\\share\\a\\b", "a\\b"},
        {"\\\\server", ""},
        {"\\\\server\\share", ""},
        {"\\\\\\lead", ""},  // an empty server name, then the share "lead" and nothing after it
        {"\\\\?\\UNC\\srv\\shr\\p", "p"},
#else
        // No network roots: "//host/x" from a Unix archive is the relative "host/x".
        {"\\\\server\\share\\a\\b", "server\\share\\a\\b"},
        {"//host/x", "host\\x"},
        {"\\\\\\lead", "lead"},
        {"\\\\?\\UNC\\srv\\shr\\p", "srv\\shr\\p"},
#endif
        {"\\\\?\\C:\\x\\y", "x\\y"},
        {"/etc/passwd", "etc\\passwd"},
        {"  rel/dir\\f  ", "rel\\dir\\f"},
        {"relative", "relative"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(stripPathRoot(std::string(c.in)), c.out) << c.in;
}

TEST(FilePaths, JoinPathAndJoinDirAndFileName) {
    EXPECT_EQ(joinPath(" /out/dir ", "C:\\a/b.txt"), "\\out\\dir\\a\\b.txt");
#ifdef _WIN32
    EXPECT_EQ(joinPath("\\out\\", "\\\\srv\\shr\\x"), "\\out\\x");
#else
    EXPECT_EQ(joinPath("\\out\\", "\\\\srv\\shr\\x"), "\\out\\srv\\shr\\x");
#endif
    // Without a base the path keeps its root: only the separators change.
    EXPECT_EQ(joinPath("", "/abs/x"), "\\abs\\x");
    EXPECT_EQ(joinDirAndFileName("/tmp", "sub/name.dat"), "\\tmp\\name.dat");
    EXPECT_EQ(joinDirAndFileName("", "sub/name.dat"), "name.dat");
    EXPECT_EQ(joinDirAndFileName("d\\", "name/"), "d\\");
}

TEST(FilePaths, FullPathIsLexical) {
    std::string cwd = getCurrentDir();
    ASSERT_FALSE(cwd.empty());
    EXPECT_EQ(getFullPath("\\a\\.\\b\\..\\c"), "/a/c");
    EXPECT_EQ(getFullPath("/a/b/"), "/a/b/");
    EXPECT_EQ(getFullPath("/.."), "/");
    EXPECT_EQ(getFullPath("x\\y"), (cwd == "/" ? "" : cwd) + "/x/y");
    EXPECT_EQ(getFileNamePart("\\a\\b\\c.txt"), "c.txt");
    EXPECT_EQ(getFileNamePart("/a/b/"), "");
}

TEST(FilePaths, TempDirFollowsTmpdir) {
    setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_EQ(getTempDir(), "/var/tmp/");
    setenv("TMPDIR", "", 1);
    EXPECT_EQ(getTempDir(), "/tmp/");
    unsetenv("TMPDIR");
    EXPECT_EQ(getTempDir(), "/tmp/");
}

// File times, permission bits and symbolic links of extracted entries, against archives made by
// Info-ZIP zip and by hand: the precise time fields first, DOS time as local time of its own
// date, Unix permission bits without setuid/setgid/sticky, links only when they stay inside.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>

#include "ExtractFixture.h"
#include "TempFolder.h"

using namespace extractfix;
using zipfix::Archive;
using zipfix::Member;

namespace {

long long lmtime(const fs::path& p) {
    struct stat st {};
    return lstat(p.c_str(), &st) == 0 ? static_cast<long long>(st.st_mtime) : -1;
}

unsigned modeOf(const fs::path& p) {
    struct stat st {};
    return lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0xFFFF;
}

// The process's time zone for one test, the previous one restored afterwards.
class ZoneForTest {
public:
    explicit ZoneForTest(const char* zone) {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (old) m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneForTest() {
        if (m_had) setenv("TZ", m_old.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    bool m_had = false;
    std::string m_old;
};

std::string sh(const std::string& command) {
    int rc = -1;
    std::string out = zipfix::run(command + " 2>&1", &rc);
    EXPECT_EQ(rc, 0) << command << "\n" << out;
    return out;
}

// Files dated in summer, in winter and before 1980, zipped with and without the extended
// timestamp field (-X leaves only the DOS time), extracted in a daylight-saving zone.
TEST(ExtractTimes, ExtendedFieldThenDosTimeOfItsOwnDate) {
    if (!zipfix::haveTool("zip")) GTEST_SKIP();
    ZoneForTest zone("Europe/Berlin");
    TempFolder scratch;
    const fs::path dir = scratch.path();
    fs::create_directories(dir / "src");
    struct Dated {
        const char* name;
        const char* when;
        bool dosCanHoldIt;
    } files[] = {{"summer.txt", "2021-07-01 12:00:00", true},
                 {"winter.txt", "2021-01-15 12:00:00", true},
                 {"old.txt", "1975-05-05 05:05:06", false}};
    for (const Dated& f : files) {
        zipfix::writeFile(dir / "src" / f.name, f.name);
        sh("TZ=Europe/Berlin touch -d '" + std::string(f.when) + "' '" + (dir / "src" / f.name).string() + "'");
    }
    const std::string src = (dir / "src").string();
    sh("cd '" + src + "' && TZ=Europe/Berlin zip -q ../ut.zip *.txt && TZ=Europe/Berlin zip -q -X ../dos.zip *.txt");
    for (const char* archive : {"ut.zip", "dos.zip"}) {
        Extracted r = extract((dir / archive).string(), dir / (std::string(archive) + ".out"));
        ASSERT_EQ(r.count, 3) << r.log;
        for (const Dated& f : files) {
            if (std::string(archive) == "dos.zip" && !f.dosCanHoldIt) continue;
            EXPECT_EQ(lmtime(dir / (std::string(archive) + ".out") / f.name), lmtime(dir / "src" / f.name))
                << archive << " " << f.name;
        }
    }
}

// The NTFS field's modification time (UTC) wins over the Unix fields and the DOS time; the
// extended field wins over all. Its seconds are unsigned, as every peer reads them: past 2038.
TEST(ExtractTimes, NtfsAndExtendedFieldsByHand) {
    ZoneForTest zone("UTC");
    TempFolder scratch;
    const fs::path dir = scratch.path();
    const std::uint64_t ntfs = (11644473600ULL + 1000000000ULL) * 10000000ULL;  // 2001-09-09 01:46:40 UTC
    std::string field(4, '\0');
    zipfix::put16(field, 1);
    zipfix::put16(field, 24);
    zipfix::put64(field, ntfs);
    zipfix::put64(field, ntfs);
    zipfix::put64(field, ntfs);
    std::string ut = "\x01";
    zipfix::put32(ut, static_cast<std::uint32_t>(-86400));  // 2106-02-06 06:28:16 UTC
    std::string pkUnix;
    zipfix::put32(pkUnix, 1);           // access time
    zipfix::put32(pkUnix, 1300668680);  // 2011-03-21 00:51:20 UTC
    zipfix::put16(pkUnix, 0);
    zipfix::put16(pkUnix, 0);
    Archive a;
    a.members.push_back(Member{.name = "ntfs.txt", .centralExtra = zipfix::block(0x000A, field)});
    a.members.push_back(
        Member{.name = "both.txt", .centralExtra = zipfix::block(0x000A, field) + zipfix::block(0x5455, ut)});
    a.members.push_back(Member{.name = "dos.txt"});
    a.members.push_back(Member{.name = "pkunix.txt", .centralExtra = zipfix::block(0x000D, pkUnix)});
    a.members.push_back(Member{.name = "ux.txt", .centralExtra = zipfix::block(0x5855, pkUnix.substr(0, 8))});
    a.members.push_back(Member{.name = "ntfs-pkunix.txt",
                               .centralExtra = zipfix::block(0x000D, pkUnix) + zipfix::block(0x000A, field)});
    Extracted r = extract(zipfix::writeFile(dir / "t.zip", a.build()), dir / "out");
    ASSERT_EQ(r.count, 6) << r.log;
    EXPECT_EQ(lmtime(dir / "out/ntfs.txt"), 1000000000);
    EXPECT_EQ(lmtime(dir / "out/both.txt"), 4294967296LL - 86400);
    EXPECT_EQ(lmtime(dir / "out/pkunix.txt"), 1300668680);
    EXPECT_EQ(lmtime(dir / "out/ux.txt"), 1300668680);
    EXPECT_EQ(lmtime(dir / "out/ntfs-pkunix.txt"), 1000000000);
    EXPECT_EQ(lmtime(dir / "out/dos.txt"), 1735732800);  // 2025-01-01 12:00:00 UTC
}

// Permission bits as Info-ZIP unzip restores them by default; directories get theirs (and
// their times) after their content, so a read-only folder still receives its files.
TEST(ExtractModes, UnixPermissionsWithoutSpecialBits) {
    if (!zipfix::haveTool("zip")) GTEST_SKIP();
    TempFolder scratch;
    const fs::path dir = scratch.path();
    const std::string src = (dir / "src").string();
    fs::create_directories(dir / "src/ro");
    fs::create_directories(dir / "src/priv");
    zipfix::writeFile(dir / "src/run.sh", "#!/bin/sh\n");
    zipfix::writeFile(dir / "src/secret.txt", "s");
    zipfix::writeFile(dir / "src/suid", "u");
    zipfix::writeFile(dir / "src/ro/inside.txt", "i");
    zipfix::writeFile(dir / "src/priv/p.txt", "p");
    chmod((dir / "src/run.sh").c_str(), 0755);
    chmod((dir / "src/secret.txt").c_str(), 0640);
    chmod((dir / "src/suid").c_str(), 06755);
    chmod((dir / "src/priv").c_str(), 0700);
    sh("cd '" + src + "' && touch -d '2019-03-03 03:03:04' ro && chmod 0555 ro && zip -q -r ../m.zip .");
    Extracted r = extract((dir / "m.zip").string(), dir / "out");
    EXPECT_EQ(r.count, 5) << r.log;
    EXPECT_EQ(modeOf(dir / "out/run.sh"), 0755u);
    EXPECT_EQ(modeOf(dir / "out/secret.txt"), 0640u);
    EXPECT_EQ(modeOf(dir / "out/suid"), 0755u);
    EXPECT_EQ(modeOf(dir / "out/priv"), 0700u);
    EXPECT_EQ(modeOf(dir / "out/ro"), 0555u);
    EXPECT_EQ(zipfix::readFile(dir / "out/ro/inside.txt"), "i");
    EXPECT_EQ(lmtime(dir / "out/ro"), lmtime(dir / "src/ro"));
    chmod((dir / "out/ro").c_str(), 0755);
    chmod((dir / "src/ro").c_str(), 0755);
}

// Links stored by zip --symlinks: kept when they stay inside, refused when they leave.
TEST(ExtractModes, SymbolicLinksFromZip) {
    if (!zipfix::haveTool("zip")) GTEST_SKIP();
    TempFolder scratch;
    const fs::path dir = scratch.path();
    fs::create_directories(dir / "src/docs");
    zipfix::writeFile(dir / "src/docs/a.txt", "a");
    fs::create_symlink("docs/a.txt", dir / "src/inside");
    fs::create_symlink("../a.txt", dir / "src/docs/up");
    fs::create_symlink("../../etc", dir / "src/docs/away");
    fs::create_symlink("/etc/passwd", dir / "src/absolute");
    sh("cd '" + (dir / "src").string() + "' && zip -q -r --symlinks ../l.zip .");
    Extracted r = extract((dir / "l.zip").string(), dir / "out");
    EXPECT_EQ(r.count, -1) << r.log;  // the two links that leave fail
    EXPECT_EQ(fs::read_symlink(dir / "out/inside"), "docs/a.txt");
    EXPECT_EQ(fs::read_symlink(dir / "out/docs/up"), "../a.txt");
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "out/docs/away")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "out/absolute")));
    EXPECT_NE(r.log.find("Symbolic link not created"), std::string::npos) << r.log;
    EXPECT_EQ(zipfix::readFile(dir / "out/inside"), "a");
}

}  // namespace

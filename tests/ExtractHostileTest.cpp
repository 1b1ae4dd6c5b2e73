// Hostile archives against the extraction, through TnZip and through tnzip: whatever the names,
// the links already in the target and the links in the archive, nothing outside the target
// folder is created, changed or read, and each case ends the way the table says.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <functional>

#include "ExtractFixture.h"
#include "TempFolder.h"
#include "codecs/ZipCRC.h"

using namespace extractfix;
using zipfix::Archive;
using zipfix::Member;

namespace {

std::uint32_t crcOf(const std::string& s) {
    ZipCRC crc;
    crc.update(s.data(), static_cast<std::int32_t>(s.size()));
    return crc.finalValue();
}

Member file(const std::string& name, const std::string& data, std::uint32_t mode = 0) {
    Member m{.name = name, .data = data};
    m.crc = crcOf(data);
    m.externalAttributes = mode << 16;
    return m;
}

Member link(const std::string& name, const std::string& target) { return file(name, target, 0120777); }

// A name for listings, one line per path below root, links not followed: "d/", "f", "l -> t".
std::string listing(const fs::path& root) {
    std::string out;
    std::error_code ec;
    std::map<std::string, std::string> lines;
    for (auto& e : fs::recursive_directory_iterator(root, ec)) {
        std::string rel = e.path().lexically_relative(root).generic_string();
        if (e.is_symlink()) {
            lines[rel] = rel + " -> " + fs::read_symlink(e.path()).string();
        } else {
            lines[rel] = e.is_directory() ? rel + "/" : rel;
        }
    }
    for (auto& [name, line] : lines) out += line + "\n";
    return out;
}

// Everything in the box outside the target, without reading it: kind and mode, size, and the
// change, modification and access times (a write, a chmod or a read of a file all show).
std::string snapshot(const fs::path& box) {
    std::string out;
    for (auto& e : fs::recursive_directory_iterator(box)) {
        if (e.path().filename() == "inner" || e.path().string().find("/inner/") != std::string::npos) continue;
        struct stat st {};
        lstat(e.path().c_str(), &st);
        for (long long v : {(long long)st.st_ino, (long long)st.st_mode, (long long)st.st_size,
                            (long long)st.st_ctim.tv_sec, (long long)st.st_ctim.tv_nsec, (long long)st.st_mtim.tv_sec,
                            S_ISDIR(st.st_mode) ? 0LL : (long long)st.st_atim.tv_sec})  // listing reads folders
            out += std::to_string(v) + " ";
        out += e.path().string() + "\n";
    }
    return out;
}

struct Case {
    const char* label;
    std::vector<Member> members;
    std::function<void(const fs::path& inner)> plant;  // links placed in the target beforehand
    bool ok;                                           // Unzip reports success
    const char* tree;                                  // the target afterwards
    const char* logPart;                               // a line the log must hold ("" for none)
    const char* peers;  // which peer tools end the same way (Info-ZIP unzip 6.00, 7-Zip 26.02, bsdtar 3.6.2)
};

// The box: inner/ is the target, outside/ holds a victim file that must stay as it is.
fs::path makeBox(const fs::path& dir, const Case& c) {
    fs::path box = dir / c.label;
    fs::create_directories(box / "inner");
    fs::create_directories(box / "outside");
    zipfix::writeFile(box / "outside/victim.txt", "original");
    chmod((box / "outside/victim.txt").c_str(), 0644);
    // Reading is part of the property: an access time older than now shows any read.
    std::system(("touch -d '2020-01-01 00:00:00' '" + (box / "outside/victim.txt").string() + "'").c_str());
    if (c.plant) c.plant(box / "inner");
    return box;
}

std::vector<Case> cases() {
    // clang-format off
    return {
        {"absolute", {file("/tmp/../abs.txt", "a"), file("/etc/abs2.txt", "b")}, nullptr, true,
         "etc/\netc/abs2.txt\ntmp/\ntmp/abs.txt\n", "",
         "unzip and 7z the same; bsdtar refuses the \"..\" name"},
        {"drive", {file("C:\\x\\y.txt", "y"), file("D:/z.txt", "z")}, nullptr, true, "x/\nx/y.txt\nz.txt\n", "",
         "bsdtar the same; unzip and 7z keep \"C:\\x\\y.txt\" and a folder \"D:\" as literal names"},
        {"drive_chain", {file("C:C:C:C:C:C:C:C:C:C:C:C:../x.txt", "x"), file("C:C:C:C:C:C:C:C:C:C:..\\..\\w.txt", "w")},
         nullptr, true, "w.txt\nx.txt\n", "",
         "none: unzip and 7z keep the literal names (a folder \"C:C:...:..\"), bsdtar refuses them"},
        {"dotdot", {file("../../up.txt", "1"), file("a/../../b/../../up2.txt", "2"), file("..\\..\\bs.txt", "3")},
         nullptr, true, "a/\na/b/\na/b/up2.txt\nbs.txt\nup.txt\n", "",
         "unzip and 7z the same for '/' names (they keep '\\' literal); bsdtar refuses the archive"},
        {"nul_in_name", {file(std::string("n\0/../../x.txt", 14), "n")}, nullptr, true, "n\n", "",
         "unzip and bsdtar the same; 7z fails"},
        {"unicode_path_field",
         {[] {
             Member m = file("harmless.txt", "u");
             std::string field = "\x01";
             zipfix::put32(field, crcOf("harmless.txt"));
             field += "C:C:C:C:C:C:C:C:C:C:../../uni.txt";
             m.centralExtra = m.localExtra = zipfix::block(0x7075, field);
             return m;
         }()},
         nullptr, true, "uni.txt\n", "",
         "none: unzip and 7z keep the literal Unicode name, bsdtar refuses it"},
        {"link_in_target_file", {file("readme.txt", "new content", 0100600)},
         [](const fs::path& inner) { fs::create_symlink("../outside/victim.txt", inner / "readme.txt"); }, true,
         "readme.txt\n", "",
         "all three the same"},
        {"dangling_link_in_target", {file("planted", "p")},
         [](const fs::path& inner) { fs::create_symlink("../outside/created.txt", inner / "planted"); }, true,
         "planted\n", "",
         "all three the same"},
        {"link_in_target_dir", {file("dir/x.txt", "x"), file("dir/sub/y.txt", "y"), file("ok.txt", "k")},
         [](const fs::path& inner) { fs::create_symlink("../outside", inner / "dir"); }, false,
         "dir -> ../outside\nok.txt\n", "A symbolic link stands where a folder is needed",
         "bsdtar the same; unzip and 7z write x.txt and sub/y.txt through the link, outside"},
        {"archive_link_outside",
         {link("esc", "../outside"), link("abs", "/etc/passwd"), link("deep/up", "../../outside"),
          file("esc/x.txt", "x")},
         nullptr, false, "deep/\nesc/\nesc/x.txt\n", "Symbolic link not created",
         "none: unzip and bsdtar create the three links, 7z stores two of them as files"},
        {"archive_link_then_write_through",
         {link("here", "."), file("here/f.txt", "f"), link("sub/up", ".."), file("sub/up/g.txt", "g")}, nullptr,
         false, "here -> .\nsub/\nsub/up -> ..\n", "A symbolic link stands where a folder is needed",
         "unzip and bsdtar the same; 7z stores the links as files"},
        {"archive_link_inside", {file("t/target.txt", "t"), link("t/l", "target.txt"), link("m", "t/../t")},
         nullptr, false, "t/\nt/l -> target.txt\nt/target.txt\n", "Symbolic link not created",
         "t/l as all three; unzip and bsdtar also create m (it resolves inside, but only lexically)"},
        {"archive_link_replaced_by_file", {link("x", "t.txt"), file("x", "plain")}, nullptr, true, "x\n", "",
         "all three the same"},
        {"overlong_name", {file(std::string(300, 'n') + ".txt", "n"), file("fine.txt", "f")}, nullptr, false,
         "fine.txt\n", "UnzipFailedFilename",
         "all three the same"},
    };
    // clang-format on
}

void expectCase(const Case& c, const fs::path& box, bool ok, const std::string& log, const std::string& before) {
    EXPECT_EQ(ok, c.ok) << c.label << "\n" << log;
    EXPECT_EQ(listing(box / "inner"), c.tree) << c.label;
    EXPECT_EQ(snapshot(box), before) << c.label << ": something outside the target changed";
    if (*c.logPart) {
        EXPECT_NE(log.find(c.logPart), std::string::npos) << c.label << "\n" << log;
    }
}

// Runs every case through one extraction road: (archive, target) -> (success, log or output).
using Road = std::function<std::pair<bool, std::string>(const std::string&, const fs::path&)>;

void runCases(const Road& road) {
    TempFolder scratch;
    const fs::path dir = scratch.path();
    for (const Case& c : cases()) {
        fs::path box = makeBox(dir, c);
        Archive a;
        a.members = c.members;
        std::string archive = zipfix::writeFile(dir / (std::string(c.label) + ".zip"), a.build());
        const std::string before = snapshot(box);
        auto [ok, log] = road(archive, box / "inner");
        expectCase(c, box, ok, log, before);
    }
}

TEST(ExtractHostile, ThroughTnZip) {
    runCases([](const std::string& archive, const fs::path& target) {
        Extracted r = extract(archive, target);
        return std::make_pair(r.count >= 0, r.log);
    });
}

TEST(ExtractHostile, ThroughTnzip) {
    runCases([](const std::string& archive, const fs::path& target) {
        int rc = -1;
        std::string out = zipfix::run(
            std::string(TN_BINARY_DIR) + "/tools/tnzip x -v '" + archive + "' -d '" + target.string() + "' 2>&1", &rc);
        return std::make_pair(rc == 0, out);
    });
}

// Deeper than the system's longest path: created level by level, all of it inside.
TEST(ExtractHostile, DeepNameBeyondThePathLimit) {
    TempFolder scratch;
    const fs::path dir = scratch.path();
    std::string name;
    for (int i = 0; i < 1500; ++i) name += "ab/";
    Archive a;
    a.members.push_back(file(name + "f.txt", "deep"));
    std::string archive = zipfix::writeFile(dir / "deep.zip", a.build());
    Extracted r = extract(archive, dir / "inner");
    EXPECT_EQ(r.count, 1) << r.log;
    int rc = -1;
    std::string found = zipfix::run("cd '" + (dir / "inner").string() + "' && find . -name f.txt -type f | wc -l", &rc);
    EXPECT_EQ(found, "1\n");
    zipfix::run("rm -rf '" + (dir / "inner").string() + "'");
}

// The same classes as written by other tools: Python's zipfile (names and a link chosen freely)
// and 7-Zip storing a link that leaves its folder.
TEST(ExtractHostile, ArchivesFromPythonAnd7z) {
    if (!zipfix::haveTool("python3") || !zipfix::haveTool("7z")) GTEST_SKIP();
    TempFolder scratch;
    const fs::path dir = scratch.path();
    const std::string py =
        "import zipfile\n"
        "z = zipfile.ZipFile('" +
        (dir / "py.zip").string() +
        "', 'w')\n"
        "z.writestr('../py.txt', 'p')\n"
        "z.writestr('/abs/py2.txt', 'q')\n"
        "i = zipfile.ZipInfo('pl'); i.create_system = 3; i.external_attr = 0o120777 << 16\n"
        "z.writestr(i, '../../outside')\n"
        "z.close()\n";
    zipfix::writeFile(dir / "make.py", py);
    fs::create_directories(dir / "src");
    fs::create_symlink("../../outside", dir / "src/away");
    zipfix::writeFile(dir / "src/plain.txt", "x");
    int rc = -1;
    zipfix::run("python3 '" + (dir / "make.py").string() + "' && cd '" + (dir / "src").string() +
                    "' && 7z a -tzip -snl ../7z.zip away plain.txt >/dev/null",
                &rc);
    ASSERT_EQ(rc, 0);
    Case c{"peers", {}, nullptr, false, "", "", ""};
    struct {
        const char* archive;
        const char* box;
        const char* tree;
    } runs[] = {{"py.zip", "py", "abs/\nabs/py2.txt\npy.txt\n"}, {"7z.zip", "7z", "plain.txt\n"}};
    for (auto& run : runs) {
        c.label = run.box;
        c.tree = run.tree;
        fs::path box = makeBox(dir, c);
        const std::string before = snapshot(box);
        Extracted r = extract((dir / run.archive).string(), box / "inner");
        expectCase(c, box, r.count >= 0, r.log, before);
        EXPECT_NE(r.log.find("Symbolic link not created"), std::string::npos) << r.log;
    }
}

// A failing entry (bad CRC, wrong password) leaves the file already at its name byte for byte
// as it was, and nothing partial beside it.
TEST(ExtractHostile, FailedEntryLeavesExistingFileAlone) {
    TempFolder scratch;
    const fs::path dir = scratch.path();
    Archive a;
    Member bad = file("keep.txt", "replacement");
    bad.crc ^= 1;
    a.members.push_back(bad);
    std::string archive = zipfix::writeFile(dir / "bad.zip", a.build());
    fs::create_directories(dir / "inner");
    zipfix::writeFile(dir / "inner/keep.txt", "old content");
    Extracted r = extract(archive, dir / "inner");
    EXPECT_EQ(r.count, -1);
    EXPECT_EQ(zipfix::readFile(dir / "inner/keep.txt"), "old content");
    EXPECT_EQ(listing(dir / "inner"), "keep.txt\n");
}

// Names reach the log and the terminal with their control characters escaped.
TEST(ExtractHostile, ControlCharactersInNamesAreEscaped) {
    TempFolder scratch;
    const fs::path dir = scratch.path();
    Archive a;
    Member bad = file("evil\x1b]0;title\x07\r\nUnzip ok\x1b[2J.txt", "x");
    bad.crc ^= 1;  // fails, so the name is logged
    a.members.push_back(bad);
    std::string archive = zipfix::writeFile(dir / "ctl.zip", a.build());
    Extracted r = extract(archive, dir / "inner");
    EXPECT_EQ(r.count, -1);
    // A long value is logged quoted-printable: soft line breaks and =XX bytes fall wherever the
    // length of the scratch path puts them.
    std::string flat;
    for (size_t i = 0; i < r.log.size(); ++i) {
        if (r.log[i] != '=') {
            flat += r.log[i];
        } else if (r.log.compare(i + 1, 2, "\r\n") == 0) {
            i += 2;
        } else if (r.log.compare(i + 1, 1, "\n") == 0) {
            i += 1;
        } else if (i + 2 < r.log.size() && std::isxdigit(static_cast<unsigned char>(r.log[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(r.log[i + 2]))) {
            flat += static_cast<char>(std::stoi(r.log.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            flat += '=';
        }
    }
    // The name the file would get has its control characters dropped.
    EXPECT_NE(flat.find("evil]0;titleUnzip ok[2J.txt"), std::string::npos) << r.log;
    EXPECT_EQ(r.log.find('\x1b'), std::string::npos);

    // The walk logs a central name that matches no local header (by name or by offset): a CR LF
    // in it must not start a forged log line.
    Archive unmatched;
    Member orphan = file("a.txt", "x");
    orphan.centralName = "b\r\nUnzip ok.txt";
    unmatched.members.push_back(orphan);
    std::string orphanBytes = unmatched.build();
    orphanBytes[orphanBytes.rfind(std::string("PK\x01\x02", 4)) + 42] = 3;
    Extracted u = extract(zipfix::writeFile(dir / "orphan.zip", orphanBytes), dir / "inner3");
    EXPECT_NE(u.log.find("b\\x0D\\x0AUnzip ok.txt"), std::string::npos) << u.log;
    EXPECT_EQ(u.log.find("\r\nUnzip ok"), std::string::npos) << u.log;
    int rc = -1;
    std::string out = zipfix::run(
        std::string(TN_BINARY_DIR) + "/tools/tnzip x -v '" + archive + "' -d '" + (dir / "inner2").string() + "' 2>&1",
        &rc);
    EXPECT_EQ(rc, 2);  // damaged entry data
    EXPECT_EQ(out.find('\x1b'), std::string::npos) << out;
    EXPECT_EQ(out.find('\x07'), std::string::npos) << out;
}

}  // namespace

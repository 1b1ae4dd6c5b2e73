// Result codes and one-line messages of the public object: every code a small crafted archive
// can reach, the per-entry failure event, and the message's entry name and system reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "CrcReference.h"
#include "ExtractFixture.h"
#include "TempFolder.h"
#include "ZlibRaw.h"
#include "base/PlatformFiles.h"
#include "crypto/PwdProtect.h"

using namespace extractfix;
using zipfix::Archive;
using zipfix::Member;

namespace {

Member file(const std::string& name, const std::string& data, std::uint32_t mode = 0100644) {
    Member m{.name = name, .data = data};
    m.crc = bitwiseCrc32(data);
    m.externalAttributes = mode << 16;
    return m;
}

Member deflated(const std::string& name, const std::string& content) {
    auto packed = zlibDeflateRaw(reinterpret_cast<const std::uint8_t*>(content.data()), content.size(), 6);
    Member m = file(name, std::string(packed.begin(), packed.end()));
    m.method = 8;
    m.crc = bitwiseCrc32(content);
    m.localUncompressed = m.centralUncompressed = static_cast<std::int64_t>(content.size());
    return m;
}

// A traditionally encrypted member whose 12-byte header fits no password tried here.
Member encrypted(const std::string& name) {
    Member m = file(name, std::string("\x11\x22\x33\x44\x55\x66\x77\x88\x99\xAA\xBB\xCC"
                                      "abcdef",
                                      18));
    m.flags = 0x01;
    m.crc = 0x12345678;
    return m;
}

// A traditionally encrypted member whose header the empty password passes (as one random header
// in 256 does) while its content then fails the CRC: what it lacks is still the password.
Member encryptedPassingEmptyPassword(const std::string& name) {
    Member m = encrypted(name);
    std::uint8_t header[12];
    std::copy(m.data.begin(), m.data.begin() + 12, header);
    PwdProtect empty;
    empty.setPassword("");
    empty.initKeys();
    empty.decryptBytes(header, 12);
    m.crc = (std::uint32_t(header[11]) << 24) | 0x345678;
    return m;
}

// Events of the per-entry failure operation, with the other events' order kept.
class FailureRecorder : public RecordingProgress {
public:
    void EntryFailed(const char* name, TnZipResult result, const char* message) override {
        events += "x";
        failures.push_back({name, result, message});
    }
    struct Failure {
        std::string name;
        TnZipResult result;
        std::string message;
    };
    std::vector<Failure> failures;
};

struct EntryCase {
    const char* label;
    Member (*member)();
    TnZipResult result;
    const char* password;
    const char* reason;  // part of the message after the entry's name
};

const EntryCase kEntryCases[] = {
    {"crc",
     [] {
         auto m = file("d/e.txt", "content");
         m.crc ^= 1;
         return m;
     },
     TnZipResult::kCrcMismatch, nullptr, "CRC-32"},
    {"size",
     [] {
         auto m = deflated("d/e.txt", std::string(5000, 'z'));
         m.localUncompressed = m.centralUncompressed = 10;
         return m;
     },
     TnZipResult::kSizeMismatch, nullptr, "longer than"},
    {"damaged",
     [] {
         auto m = file("d/e.txt", std::string(200, '\xFF'));
         m.method = 8;
         return m;
     },
     TnZipResult::kDamaged, nullptr, "damaged"},
    {"method",
     [] {
         auto m = file("d/e.txt", "xyz");
         m.method = 97;
         return m;
     },
     TnZipResult::kUnsupportedMethod, nullptr, "method 97"},
    {"strong",
     [] {
         auto m = file("d/e.txt", "xyz");
         m.flags = 0x41;
         return m;
     },
     TnZipResult::kUnsupportedEncryption, nullptr, "strong encryption"},
    {"no_password", [] { return encrypted("d/e.txt"); }, TnZipResult::kPasswordNeeded, nullptr, "password"},
    {"no_password_check_byte_passes", [] { return encryptedPassingEmptyPassword("d/e.txt"); },
     TnZipResult::kPasswordNeeded, nullptr, "password"},
    {"wrong_password", [] { return encrypted("d/e.txt"); }, TnZipResult::kWrongPassword, "guess", "password"},
    {"link_outside", [] { return file("d/e.txt", "../../../etc/passwd", 0120777); }, TnZipResult::kUnsafeEntry, nullptr,
     "leaves"},
};

TEST(TnZipResult, EachEntryFailureHasItsCode) {
    TempFolder scratch;
    for (const EntryCase& c : kEntryCases) {
        SCOPED_TRACE(c.label);
        Archive a;
        a.members.push_back(file("first.txt", "fine"));
        a.members.push_back(c.member());
        const fs::path dir = scratch / c.label;
        fs::create_directories(dir);
        TnZip zip;
        zip.SetUtf8(true);
        if (c.password) zip.SetPassword(c.password);
        ASSERT_TRUE(zip.OpenZip(zipfix::writeFile(dir / "a.zip", a.build()).c_str()));
        EXPECT_EQ(zip.LastResult(), TnZipResult::kOk);
        FailureRecorder p;
        EXPECT_EQ(zip.Unzip((dir / "out").string().c_str(), &p), -1);
        EXPECT_EQ(zip.LastResult(), c.result) << zip.LastErrorText();
        const std::string message = zip.LastMessage();
        EXPECT_EQ(message.rfind("d/e.txt: ", 0), 0u) << message;
        EXPECT_NE(message.find(c.reason), std::string::npos) << message;
        ASSERT_EQ(p.failures.size(), 1u);
        EXPECT_EQ(p.failures[0].name, "d/e.txt");
        EXPECT_EQ(p.failures[0].result, c.result);
        EXPECT_EQ(p.failures[0].message, message);
        EXPECT_EQ(std::count(p.events.begin(), p.events.end(), 'x'), 1);
        EXPECT_EQ(p.events.back(), 'E');
        EXPECT_TRUE(fs::exists(dir / "out/first.txt"));
    }
}

// A folder that cannot be made carries the system's reason; a second failure is counted on.
TEST(TnZipResult, CannotCreateNamesTheSystemReason) {
    TempFolder scratch;
    Archive a;
    a.members.push_back(file("a.txt", "file"));
    a.members.push_back(file("a.txt/b.txt", "below a file"));
    a.members.push_back(file("a.txt/c.txt", "below a file"));
    TnZip zip;
    ASSERT_TRUE(zip.OpenZip(zipfix::writeFile(scratch / "a.zip", a.build()).c_str()));
    EXPECT_EQ(zip.Unzip((scratch / "out").c_str()), -1);
    EXPECT_EQ(zip.LastResult(), TnZipResult::kCannotCreate);
    const std::string message = zip.LastMessage();
    EXPECT_EQ(message.rfind("a.txt/b.txt: cannot create the folder", 0), 0u) << message;
    EXPECT_NE(message.find(platformErrorText(ENOTDIR)), std::string::npos) << message;
    EXPECT_NE(message.find("(and 1 more failed entries)"), std::string::npos) << message;
}

TEST(TnZipResult, AbortIsReportedAsAborted) {
    TempFolder scratch;
    Archive a;
    a.members.push_back(file("a.txt", std::string(100, 'a')));
    a.members.push_back(file("b.txt", std::string(100, 'b')));
    TnZip zip;
    ASSERT_TRUE(zip.OpenZip(zipfix::writeFile(scratch / "a.zip", a.build()).c_str()));
    FailureRecorder p;
    p.abortAtPercent = 1;
    EXPECT_EQ(zip.Unzip((scratch / "out").c_str(), &p), -1);
    EXPECT_EQ(zip.LastResult(), TnZipResult::kAborted);
    ASSERT_EQ(p.failures.size(), 1u);
    EXPECT_EQ(p.failures[0].result, TnZipResult::kAborted);
    EXPECT_EQ(p.events.substr(p.events.find('!')), "!xE");
}

TEST(TnZipResult, OpenFailuresAreToldApart) {
    TempFolder scratch;
    zipfix::writeFile(scratch / "text.zip", std::string(1000, 't'));
    Archive a;
    a.members.push_back(file("a.txt", "a"));
    std::string broken = a.build();
    broken.replace(broken.find("PK\x01\x02"), 4, "XXXX");  // the central record's signature
    zipfix::writeFile(scratch / "broken.zip", broken);
    fs::create_directories(scratch / "folder.zip");
    struct {
        const char* name;
        TnZipResult result;
        std::string reason;
    } cases[] = {
        {"missing.zip", TnZipResult::kNotFound, platformErrorText(ENOENT)},
        {"folder.zip", TnZipResult::kCannotRead, ""},
        {"text.zip", TnZipResult::kNotZip, "not a ZIP archive"},
        {"broken.zip", TnZipResult::kDamaged, "damaged"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TnZip zip;
        const std::string path = (scratch / c.name);
        EXPECT_FALSE(zip.OpenZip(path.c_str()));
        EXPECT_EQ(zip.LastResult(), c.result);
        const std::string message = zip.LastMessage();
        EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << message;
        EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    }
    TnZip zip;
    EXPECT_FALSE(zip.OpenZip(""));
    EXPECT_EQ(zip.LastResult(), TnZipResult::kBadArgument);
    const std::string text(1000, 't');
    EXPECT_FALSE(zip.OpenZipFromMemory(text.data(), text.size()));
    EXPECT_EQ(zip.LastResult(), TnZipResult::kNotZip);
    EXPECT_FALSE(zip.OpenZipFromMemory(broken.data(), broken.size()));
    EXPECT_EQ(zip.LastResult(), TnZipResult::kDamaged);
    EXPECT_FALSE(zip.OpenZipFromMemory(nullptr, 10));
    EXPECT_EQ(zip.LastResult(), TnZipResult::kBadArgument);
}

TEST(TnZipResult, SuccessClearsTheResult) {
    TempFolder scratch;
    Archive a;
    a.members.push_back(file("a.txt", "a"));
    TnZip zip;
    EXPECT_FALSE(zip.OpenZip((scratch / "missing.zip").c_str()));
    ASSERT_TRUE(zip.OpenZip(zipfix::writeFile(scratch / "a.zip", a.build()).c_str()));
    EXPECT_EQ(zip.LastResult(), TnZipResult::kOk);
    EXPECT_STREQ(zip.LastMessage(), "");
    EXPECT_STREQ(TnZipResultName(TnZipResult::kWrongPassword), "wrong password");
}

}  // namespace

// Traditional decryption against archives that Info-ZIP zip and 7-Zip encrypt at test time, and
// the header check's failure path on a fixed archive.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "TestData.h"
#include "ZipEntryScan.h"
#include "crypto/PwdProtect.h"
#include "log/LogBase.h"
#include "log/LogNull.h"

namespace {
constexpr int kHeader = 12;

// Keeps every key/value the decryption logs.
class ItemLog : public LogBase {
public:
    bool logData(const char* key, const char* value) override {
        items[key] = value ? value : "";
        return true;
    }
    bool logDataLong(const char* key, std::int32_t v) override { return logData(key, std::to_string(v).c_str()); }
    bool logDataHex(const char* key, std::uint32_t v) override { return logData(key, std::to_string(v).c_str()); }
    std::map<std::string, std::string> items;
};

std::string inflateRaw(const std::vector<std::uint8_t>& in) {
    z_stream z{};
    inflateInit2(&z, -15);
    std::string out(1 << 20, '\0');
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&z, Z_FINISH);
    out.resize(rc == Z_STREAM_END ? z.total_out : 0);
    inflateEnd(&z);
    return out;
}

// The header check, then the rest decrypted in one call and again in two uneven calls.
std::vector<std::uint8_t> decryptEntry(const std::vector<std::uint8_t>& zip, const ScannedEntry& e,
                                       const char* password, std::uint32_t crc) {
    const std::uint8_t* data = zip.data() + e.dataOffset;
    std::vector<std::uint8_t> whole(data + kHeader, data + e.compressedSize);
    std::vector<std::uint8_t> split = whole;
    LogNull log;
    PwdProtect one, two;
    for (PwdProtect* p : {&one, &two}) {
        p->setPassword(password);
        p->initKeys();
        EXPECT_TRUE(p->checkHeader(data, e.dosTime, crc, (e.flags & 8) != 0, log)) << e.name;
    }
    one.decryptBytes(whole.data(), static_cast<std::uint32_t>(whole.size()));
    std::uint32_t half = static_cast<std::uint32_t>(split.size() / 2 + 1) & ~1u;
    half = std::min<std::uint32_t>(half, static_cast<std::uint32_t>(split.size()));
    two.decryptBytes(split.data(), half);
    two.decryptBytes(split.data() + half, static_cast<std::uint32_t>(split.size()) - half);
    EXPECT_EQ(split, whole) << e.name;
    return whole;
}
}  // namespace

TEST(PwdProtect, DecryptsWhatZipAndSevenZipEncrypt) {
    TempFolder dir;
    std::map<std::string, std::string> files = {{"text.txt", ""}, {"noise.bin", ""}, {"empty", ""}};
    for (int i = 0; i < 300; ++i) files["text.txt"] += "line " + std::to_string(i) + " of the traditional test\n";
    for (std::uint32_t i = 0, x = 1; i < 7000; ++i, x = x * 1103515245u + 12345u)
        files["noise.bin"] += static_cast<char>(x >> 23);
    for (const auto& [name, content] : files) dir.write(name, content);
    files["-"] = files["text.txt"];

    // Info-ZIP always sets the data-descriptor flag for encrypted members (check byte from the
    // time); 7-Zip does not (check byte from the CRC). Read from a pipe, zip names the member "-"
    // and leaves the local CRC at 0: the check must pass with the time alone.
    struct Maker {
        const char* name;
        const char* command;
        bool crcUnknown;
    } makers[] = {
        {"zip stored", "zip -q -0 -P 'pa ss' out.zip text.txt noise.bin empty", false},
        {"zip deflated", "zip -q -P 'pa ss' out.zip text.txt noise.bin empty", false},
        {"zip from a pipe", "cat text.txt | zip -q -P 'pa ss' out.zip -", true},
        {"7z stored", "7z a -tzip -mx=0 -mem=ZipCrypto '-ppa ss' out.zip text.txt noise.bin empty > /dev/null", false},
        {"7z deflated", "7z a -tzip -mem=ZipCrypto '-ppa ss' out.zip text.txt noise.bin empty > /dev/null", false},
    };
    for (const Maker& m : makers) {
        std::string zipPath = dir / "out.zip";
        std::remove(zipPath.c_str());
        ASSERT_EQ(std::system(("cd '" + dir.path() + "' && " + m.command).c_str()), 0) << m.name;
        std::vector<std::uint8_t> zip = readWholeFile(zipPath);
        std::vector<ScannedEntry> entries = scanZipEntries(zip);
        ASSERT_FALSE(entries.empty()) << m.name;
        for (const ScannedEntry& e : entries) {
            ASSERT_EQ(e.flags & 1, 1) << m.name << " " << e.name;
            ASSERT_GE(e.compressedSize, static_cast<std::uint32_t>(kHeader)) << m.name << " " << e.name;
            std::vector<std::uint8_t> plain = decryptEntry(zip, e, "pa ss", m.crcUnknown ? 0 : e.crc);
            std::string content = e.method == 8 ? inflateRaw(plain) : std::string(plain.begin(), plain.end());
            EXPECT_TRUE(e.method == 8 || e.method == 0) << m.name << " " << e.name;
            EXPECT_EQ(content, files[e.name]) << m.name << " " << e.name;
        }
    }
}

// A fixed archive (data descriptors, password "pass1"): a wrong password fails the check, logs the
// flag, the CRC and the raw header, and leaves the caller's header bytes as they were.
TEST(PwdProtect, WrongPasswordFailsTheHeaderCheck) {
    std::vector<std::uint8_t> zip = readWholeFile(testdata::path("libarchive/bsdcpio_test_option_passphrase.zip"));
    std::vector<ScannedEntry> entries = scanZipEntries(zip);
    ASSERT_EQ(entries.size(), 2u);
    for (const ScannedEntry& e : entries) {
        std::vector<std::uint8_t> header(zip.begin() + e.dataOffset, zip.begin() + e.dataOffset + kHeader);
        const std::vector<std::uint8_t> original = header;
        ItemLog log;
        PwdProtect p;
        p.setPassword("pass1");
        p.initKeys();
        EXPECT_TRUE(p.checkHeader(header.data(), e.dosTime, e.crc, true, log)) << e.name;
        EXPECT_TRUE(log.items.empty());

        p.setPassword("pass2");
        p.initKeys();
        EXPECT_FALSE(p.checkHeader(header.data(), e.dosTime, e.crc, true, log)) << e.name;
        EXPECT_EQ(header, original);
        EXPECT_EQ(log.items["isDataDescriptor"], "1");
        EXPECT_EQ(log.items["crc32"], std::to_string(e.crc));
        char raw[5];
        std::snprintf(raw, sizeof raw, "%02X%02X", original[0], original[1]);
        EXPECT_EQ(log.items["PwdProtectData"].substr(0, 4), raw) << "the raw bytes, not decrypted ones";
    }
}

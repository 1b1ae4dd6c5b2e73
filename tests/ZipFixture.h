// Test helpers for the archive-reading tests: a tiny archive writer for hand-made cases, temp
// files, running the peer tools, and opening an archive through the locked layer.
#pragma once
// Test cases build members with designated initializers that name only the fields they change.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/ZipDn.h"
#include "base/StringBuffer.h"
#include "base/XString.h"
#include "zip/ClsZip2.h"
#include "zip/ClsZipEntry2.h"
#include "zip/ZipWalkEntry.h"

namespace zipfix {

inline void put16(std::string& s, std::uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
inline void put32(std::string& s, std::uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}
inline void put64(std::string& s, std::uint64_t v) {
    put32(s, static_cast<std::uint32_t>(v));
    put32(s, static_cast<std::uint32_t>(v >> 32));
}
// CRC-32 of the bytes, computed bit by bit: an independent reference for stored members.
inline std::uint32_t crcOf(const std::string& s) {
    std::uint32_t c = 0xFFFFFFFF;
    for (unsigned char b : s) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320 & (0 - (c & 1)));
    }
    return ~c;
}

inline std::string block(std::uint16_t id, const std::string& data) {
    std::string s;
    put16(s, id);
    put16(s, static_cast<std::uint32_t>(data.size()));
    return s + data;
}

// One member of a hand-made archive. Data is stored as given; sizes default to its length.
struct Member {
    std::string name;
    std::string data;
    std::string centralName;  // empty: same as name
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t version = 20;
    std::uint32_t crc = 0;
    std::uint32_t externalAttributes = 0;
    std::string localExtra;
    std::string centralExtra;
    std::string comment;
    bool descriptor = false;        // sizes 0 in the local header, descriptor behind the data
    bool descriptorSigned = true;   // the descriptor starts with its optional signature
    bool descriptor64 = false;      // the descriptor's sizes are 8 bytes wide
    bool omitFromCentral = false;   // a local header that no central record names
    std::uint16_t madeBy = 0x031E;  // host 3 (Unix), version 3.0
    std::int64_t localCompressed = -1, localUncompressed = -1;      // override the local 32-bit sizes
    std::int64_t centralCompressed = -1, centralUncompressed = -1;  // override the central ones
};

struct Archive {
    std::vector<Member> members;
    std::string prefix;   // bytes in front (a stub)
    std::string comment;  // archive comment
    bool reverseCentral = false;
    bool omitCentral = false;
    bool omitEnd = false;

    std::string build() const;
};

inline std::string Archive::build() const {
    std::string out = prefix;
    std::vector<std::uint32_t> offsets;
    for (const Member& m : members) {
        offsets.push_back(static_cast<std::uint32_t>(out.size()));
        const auto size = static_cast<std::uint32_t>(m.data.size());
        put32(out, 0x04034B50);
        put16(out, m.version);
        put16(out, m.flags | (m.descriptor ? 0x08 : 0));
        put16(out, m.method);
        put16(out, 0x6000);  // 12:00:00
        put16(out, 0x5A21);  // 2025-01-01
        put32(out, m.descriptor ? 0 : m.crc);
        put32(out, m.localCompressed >= 0 ? static_cast<std::uint32_t>(m.localCompressed) : m.descriptor ? 0 : size);
        put32(out, m.localUncompressed >= 0 ? static_cast<std::uint32_t>(m.localUncompressed)
                   : m.descriptor           ? 0
                                            : size);
        put16(out, static_cast<std::uint32_t>(m.name.size()));
        put16(out, static_cast<std::uint32_t>(m.localExtra.size()));
        out += m.name + m.localExtra + m.data;
        if (m.descriptor) {
            if (m.descriptorSigned) put32(out, 0x08074B50);
            put32(out, m.crc);
            if (m.descriptor64) {
                put64(out, size);
                put64(out, size);
            } else {
                put32(out, size);
                put32(out, size);
            }
        }
    }
    const auto cdStart = static_cast<std::uint32_t>(out.size());
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < members.size(); ++i) order.push_back(reverseCentral ? members.size() - 1 - i : i);
    for (std::size_t i : omitCentral ? std::vector<std::size_t>{} : order) {
        const Member& m = members[i];
        if (m.omitFromCentral) continue;
        const std::string& name = m.centralName.empty() ? m.name : m.centralName;
        const auto size = static_cast<std::uint32_t>(m.data.size());
        put32(out, 0x02014B50);
        put16(out, m.madeBy);
        put16(out, m.version);
        put16(out, m.flags | (m.descriptor ? 0x08 : 0));
        put16(out, m.method);
        put16(out, 0x6000);
        put16(out, 0x5A21);
        put32(out, m.crc);
        put32(out, m.centralCompressed >= 0 ? static_cast<std::uint32_t>(m.centralCompressed) : size);
        put32(out, m.centralUncompressed >= 0 ? static_cast<std::uint32_t>(m.centralUncompressed) : size);
        put16(out, static_cast<std::uint32_t>(name.size()));
        put16(out, static_cast<std::uint32_t>(m.centralExtra.size()));
        put16(out, static_cast<std::uint32_t>(m.comment.size()));
        put16(out, 0);
        put16(out, 0);
        put32(out, m.externalAttributes);
        put32(out, offsets[i]);
        out += name + m.centralExtra + m.comment;
    }
    if (omitEnd) return out;
    const auto cdSize = static_cast<std::uint32_t>(out.size()) - cdStart;
    put32(out, 0x06054B50);
    put16(out, 0);
    put16(out, 0);
    std::uint32_t listed = 0;
    for (const Member& m : members) listed += omitCentral || m.omitFromCentral ? 0 : 1;
    put16(out, listed);
    put16(out, listed);
    put32(out, cdSize);
    put32(out, cdStart);
    put16(out, static_cast<std::uint32_t>(comment.size()));
    return out + comment;
}

inline std::string writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs a shell command; returns its standard output, and its exit status through rc.
inline std::string run(const std::string& command, int* rc = nullptr) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return out;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int status = pclose(p);
    if (rc != nullptr) *rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

// Replaces every `token` in a command template, left to right. Inserted text is never searched
// again: a scratch folder's random name may itself hold the token ("...-4OUTzi").
inline std::string substitute(const std::string& text, const std::string& token, const std::string& with) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(token, from)) != std::string::npos; from = at + token.size())
        out.append(text, from, at - from).append(with);
    return out.append(text, from, std::string::npos);
}

inline bool haveTool(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// An archive handle for tests: the locked layer with direct access to the archive object.
struct Opened {
    ZipDn dn;
    bool ok = false;

    explicit Opened(const std::string& path, bool verbose = false, int oemCodePage = 437) {
        dn.archive()->setVerboseLogging(verbose);
        dn.archive()->setOemCodePage(oemCodePage);
        XString p;
        p.setUtf8(path.c_str());
        ok = dn.open(p);
    }
    ClsZip2& zip() { return *dn.archive(); }
    std::string log() {
        StringBuffer s;
        dn.getLog(ZipDn::LogFormat::kText, s);
        return s.text();
    }
    const ZipWalkEntry& record(int i) { return *zip().entryAt(i)->walkEntry(); }
    std::string name(int i) { return record(i).decodedName.text(); }
};

}  // namespace zipfix

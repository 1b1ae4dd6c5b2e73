// Test helpers: bytes as hexadecimal text (lower case, an optional separator between bytes) and
// hexadecimal text back to bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline std::string toHex(const void* bytes, std::size_t n, const char* separator = "") {
    static const char kDigits[] = "0123456789abcdef";
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) out += separator;
        out += {kDigits[p[i] >> 4], kDigits[p[i] & 15]};
    }
    return out;
}

inline std::string toHex(const std::string& bytes, const char* separator = "") {
    return toHex(bytes.data(), bytes.size(), separator);
}

// Pairs of hexadecimal digits; a trailing odd digit is ignored.
inline std::vector<std::uint8_t> fromHex(const std::string& hex) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// The property shared by the two WinZip AES fuzz targets, over one decrypt function
// (stored bytes, password, strength) -> result with both flags and the plaintext.
//  byte 0 even: the rest is stored data as found in an archive: any outcome but a crash, the
//               flags consistent with the result, no plaintext handed out on failure in memory;
//  byte 0 odd:  byte 1 picks strength and password length, byte 2 a byte to damage (0: none);
//               the rest is content that the test encoder encrypts. Undamaged, it must decrypt to
//               the content; damaged, it must fail, as a wrong password or a failed
//               authentication, and as the latter when the damage lies after the verifier.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/WinZipAesEncoder.h"

struct AesFuzzResult {
    bool ok = false;
    bool wrongPassword = false;
    bool authFailed = false;
    std::vector<std::uint8_t> plain;
};

template <typename Decrypt>
void fuzzWinZipAes(const std::uint8_t* data, std::size_t size, bool plainEmptyOnFailure, Decrypt decrypt) {
    if (size < 3) return;
    const int strengths[] = {1, 2, 3, 128, 192, 256};
    const int strength = strengths[data[1] % 6];
    if (data[0] % 2 == 0) {
        const AesFuzzResult r = decrypt(std::vector<std::uint8_t>(data + 1, data + size), "fuzz", strength);
        if (r.ok && (r.wrongPassword || r.authFailed)) std::abort();
        if (r.wrongPassword && r.authFailed) std::abort();
        if (!r.ok && plainEmptyOnFailure && !r.plain.empty()) std::abort();
        return;
    }
    const std::string password(data[1] / 6 % 3 == 2 ? 129 : data[1] % 40, 'k');
    const int keyBytes = 8 + 8 * (data[1] % 3 + 1);  // strengths[i] and strengths[i + 3] are alike
    const std::vector<std::uint8_t> content(data + 3, data + size);
    std::vector<std::uint8_t> stored = winZipAesEncrypt(password, keyBytes, content, data[2]);
    const std::size_t damage = data[2] == 0 ? stored.size() : data[2] % stored.size();
    if (damage < stored.size()) stored[damage] ^= 0x5A;
    const AesFuzzResult r = decrypt(stored, password, strength);
    if (password.size() > 128) {
        if (r.ok || r.wrongPassword || r.authFailed) std::abort();
    } else if (damage == stored.size()) {
        if (!r.ok || r.plain != content) std::abort();
    } else if (r.ok || (damage >= std::size_t(keyBytes / 2 + 2) && !r.authFailed) || r.wrongPassword == r.authFailed) {
        std::abort();
    }
}

// WinZip AES (AE-1 and AE-2) decryption and authentication of one entry's stored data: salt,
// 2-byte password verifier, ciphertext, 10-byte authentication code. Both versions decrypt alike;
// the caller decides about the CRC and decompresses with the entry's actual method.
//
// The strength is 1, 2 or 3, or the key length 128, 192 or 256. The password is used as its
// bytes, without a terminator. On failure wrongPassword tells a mismatched verifier apart from
// authFailed, a mismatched authentication code; both are cleared at the start of each call.
#pragma once
#include <cstdint>
#include <memory>

class DataBuffer;
class DataSource;
class LogBase;
class Output;
class StringBuffer;
class WinZipAesContext;

class WinZipAes {
public:
    // The streaming path decrypts and writes this many bytes per step.
    static constexpr std::uint32_t kStreamStep = 256 * 1024;

    // Streams from source (positioned at the stored data and limited to it) into output. On an
    // authentication failure the plaintext already written must be discarded by the caller.
    static bool decryptFromSource(DataSource& source, const StringBuffer& password, int strength, Output& output,
                                  bool& wrongPassword, bool& authFailed, LogBase& log);
    // Decrypts stored (size bytes) into plain, which is replaced. Empty stored data gives an empty
    // plaintext. plain is left empty on every failure, so unauthenticated bytes never escape.
    // The first steps of decryptFromSource: reads the salt and the verifier and derives the keys.
    // Null, logged, on a short read, a bad strength or password, or a wrong password (flagged).
    // The source then stands at the ciphertext.
    static std::unique_ptr<WinZipAesContext> startFromSource(DataSource& source, const StringBuffer& password,
                                                             int strength, bool& wrongPassword, LogBase& log);
    // Reads until n bytes have arrived or the source has nothing more; false on a failed read.
    static bool readUpTo(DataSource& source, std::uint8_t* buffer, std::uint32_t n, std::uint32_t& got, LogBase& log);

    static bool decryptInMemory(const std::uint8_t* stored, std::uint32_t size, const StringBuffer& password,
                                int strength, DataBuffer& plain, bool& wrongPassword, bool& authFailed, LogBase& log);
};

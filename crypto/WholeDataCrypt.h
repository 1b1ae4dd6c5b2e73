// Decryption of the library's own whole-data encryption (ciphers and keys: WholeDataCipher).
//
// An entry's data is encrypted as a whole and padded with n bytes of value n (a whole block when
// already aligned). Data encrypted in memory is padded twice, to 16 bytes and then by the cipher
// to its block; data encrypted as a file once, by the cipher. decryptData undoes the first form,
// decryptFile the second. A wrong password shows as a padding (or later decompression) failure;
// archives carry a check text in their comment so that it is caught at open:
//   comment = marker text, then "[" base64(decryptData form of kCheckText under Blowfish) "]"
// with either marker: kMarkerSentence (ours, naming the library and its web address) or
// kShortMarker. docs/whole-data-encryption.md describes the format.
#pragma once
#include <cstdint>

class DataBuffer;
class LogBase;
class ProgressMonitor;
class TarnelHandle;

class WholeDataCrypt {
public:
    static constexpr const char* kMarkerSentence =
        "This Zip has been encrypted with Tarnel Zip (https://tarnel.invalid/zip).";
    static constexpr const char* kShortMarker = ";*.AZ-\r\n-#_#;";
    static constexpr const char* kCheckText = "A3F1C8E2904B6D57A3F1C8E2904B6D57";
    // Files are decrypted in pieces of this size, a multiple of both block sizes.
    static constexpr std::uint32_t kFilePiece = 800000;

    // algorithm 0 copies; 1, 2, 3 as WholeDataCipher. Whole blocks of the input are decrypted, then
    // both paddings removed; plain is replaced by the result. An empty input gives an empty
    // output and true.
    static bool decryptData(int algorithm, int keyBits, const char* password, const std::uint8_t* bytes,
                            std::uint32_t length, DataBuffer& plain, LogBase& log);
    // Decrypts the file at encryptedPath into a new file at plainPath (replacing what is there),
    // removing only the cipher's padding. monitor (may be null) is given the bytes read. On
    // failure the plaintext file may be incomplete; the caller deletes it.
    static bool decryptFile(int algorithm, int keyBits, const char* password, const char* encryptedPath,
                            const char* plainPath, ProgressMonitor* monitor, LogBase& log);
    // The same from one open file to another: all of encrypted from its start, written to plain
    // at its current position.
    static bool decryptHandle(int algorithm, int keyBits, const char* password, TarnelHandle& encrypted,
                              TarnelHandle& plain, ProgressMonitor* monitor, LogBase& log);
    // True when encrypted (the bytes from the comment's brackets) decrypts under Blowfish with
    // keyBits to the check text: the password is right. Failed attempts are not logged.
    static bool checkTextMatches(const char* password, const std::uint8_t* encrypted, std::uint32_t length,
                                 int keyBits);
};

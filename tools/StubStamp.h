// The stub slot of a built quillet-offline: found by its tag, its length written once after the
// link, checked by anyone who appends a publication to the stub, and its payload fields (length
// and SHA-256 of what follows the stub) written by the packer into its copy of the stub.
#pragma once
#include <cstdint>
#include <string>

class StubStamp {
public:
    // Offset of the 8-byte length in the image; false (with a message) unless the tag occurs
    // exactly once with room for the whole slot after it.
    static bool findSlot(const std::string& image, std::size_t& offset, std::string& error);
    // The stamped length in the image.
    static bool readStamp(const std::string& image, std::uint64_t& length, std::string& error);
    // True when the stamped length of the image equals the image's size.
    static bool check(const std::string& image, std::string& error);
    // Writes the file's size into its slot and reads it back.
    static bool stampFile(const std::string& path, std::string& error);

    // Writes the payload's length and digest into the slot of a stub image held in memory.
    static bool stampPayload(std::string& stub, std::uint64_t payloadLength, const std::uint8_t sha256[32],
                             std::string& error);
    // For a file that is a stub followed by a payload: stamps that payload's length and digest.
    static bool stampPublicationFile(const std::string& path, std::string& error);

    static bool readFile(const std::string& path, std::string& bytes, std::string& error);
};

// Finding, writing and checking the stub slot.
#include "tools/StubStamp.h"

#include <cstddef>
#include <fstream>

#include "base/LittleEndian.h"
#include "crypto/Sha256.h"
#include "launcher/StubLength.h"

namespace {

constexpr std::size_t kTagSize = sizeof(StubLengthSlot::tag);
constexpr std::size_t kAfterTag = sizeof(StubLengthSlot) - kTagSize;
constexpr std::size_t kPayloadLength = offsetof(StubLengthSlot, payloadLength) - kTagSize;
constexpr std::size_t kPayloadSha256 = offsetof(StubLengthSlot, payloadSha256) - kTagSize;

std::uint8_t* bytesAt(std::string& image, std::size_t offset) {
    return reinterpret_cast<std::uint8_t*>(image.data() + offset);
}

bool writeFile(const std::string& path, const std::string& image, std::string& error) {
    std::ofstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.write(image.data(), std::streamsize(image.size()));
    file.close();
    return file ? true : (error = "cannot write " + path, false);
}

}  // namespace

bool StubStamp::readFile(const std::string& path, std::string& bytes, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return error = "cannot open " + path, false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return error = "cannot read " + path, false;
    return true;
}

bool StubStamp::findSlot(const std::string& image, std::size_t& offset, std::string& error) {
    const std::string tag(QUILLET_STUB_TAG, kTagSize);
    std::size_t first = image.find(tag);
    if (first == std::string::npos) return error = "no stub-length slot (not a quillet-offline stub)", false;
    if (image.find(tag, first + 1) != std::string::npos) return error = "stub-length tag occurs more than once", false;
    if (first + kTagSize + kAfterTag > image.size()) return error = "stub-length slot cut off", false;
    offset = first + kTagSize;
    return true;
}

bool StubStamp::readStamp(const std::string& image, std::uint64_t& length, std::string& error) {
    std::size_t offset = 0;
    if (!findSlot(image, offset, error)) return false;
    length = loadLe64(reinterpret_cast<const std::uint8_t*>(image.data() + offset));
    return true;
}

bool StubStamp::check(const std::string& image, std::string& error) {
    std::uint64_t length = 0;
    if (!readStamp(image, length, error)) return false;
    if (length == image.size()) return true;
    error = "stamped stub length " + std::to_string(length) + " is not the stub's size " + std::to_string(image.size());
    return false;
}

bool StubStamp::stampFile(const std::string& path, std::string& error) {
    std::string image;
    std::size_t offset = 0;
    if (!readFile(path, image, error) || !findSlot(image, offset, error)) return false;
    storeLe64(bytesAt(image, offset), image.size());
    return writeFile(path, image, error) && readFile(path, image, error) && check(image, error);
}

bool StubStamp::stampPayload(std::string& stub, std::uint64_t payloadLength, const std::uint8_t sha256[32],
                             std::string& error) {
    std::size_t offset = 0;
    if (!findSlot(stub, offset, error)) return false;
    storeLe64(bytesAt(stub, offset + kPayloadLength), payloadLength);
    for (std::size_t i = 0; i < Sha256::kSize; ++i) bytesAt(stub, offset + kPayloadSha256)[i] = sha256[i];
    return true;
}

bool StubStamp::stampPublicationFile(const std::string& path, std::string& error) {
    std::string image;
    std::uint64_t length = 0;
    if (!readFile(path, image, error)) return false;
    // The payload may carry a stub of its own: only the first slot is this file's.
    const std::size_t first = image.find(std::string(QUILLET_STUB_TAG, kTagSize));
    if (first == std::string::npos || !readStamp(image.substr(0, first + sizeof(StubLengthSlot)), length, error))
        return error.empty() ? (error = "no stub-length slot (not a quillet-offline stub)", false) : false;
    if (length > image.size()) return error = "shorter than its stamped stub length", false;
    Sha256 hash;
    std::uint8_t digest[Sha256::kSize];
    hash.update(image.data() + length, image.size() - length);
    if (!hash.finish(digest)) return error = "cannot compute SHA-256", false;
    std::string stub = image.substr(0, length);
    if (!stampPayload(stub, image.size() - length, digest, error)) return false;
    return writeFile(path, stub, error);
}

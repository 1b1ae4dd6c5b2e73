// Finding, writing and checking the stub-length slot.
#include "tools/StubStamp.h"

#include <cstring>
#include <fstream>

#include "base/LittleEndian.h"
#include "launcher/StubLength.h"

namespace {

constexpr std::size_t kTagSize = sizeof(StubLengthSlot::tag);

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
    if (first + kTagSize + 8 > image.size()) return error = "stub-length slot cut off", false;
    offset = first + kTagSize;
    return true;
}

bool StubStamp::readStamp(const std::string& image, std::uint64_t& length, std::string& error) {
    std::size_t offset = 0;
    if (!findSlot(image, offset, error)) return false;
    length = loadLe64(reinterpret_cast<const std::uint8_t*>(image.data()) + offset);
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
    std::uint8_t slot[8];
    storeLe64(slot, image.size());
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(std::streamoff(offset));
    file.write(reinterpret_cast<const char*>(slot), sizeof slot);
    file.close();
    if (!file) return error = "cannot write " + path, false;
    return readFile(path, image, error) && check(image, error);
}

#include "base/RandomHex.h"

#include <vector>

#include "base/PlatformShell.h"

bool randomHex(std::size_t bytes, std::string& out) {
    out.clear();
    std::vector<unsigned char> random(bytes);
    if (!platformRandomBytes(random.data(), random.size())) return false;
    static const char kHex[] = "0123456789abcdef";
    for (unsigned char b : random) out += {kHex[b >> 4], kHex[b & 15]};
    return true;
}

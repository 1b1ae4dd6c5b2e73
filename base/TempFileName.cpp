// Temporary names: random candidates tested for existence.
#include "base/TempFileName.h"

#include <random>

#include "base/FileSystem.h"
#include "base/TickCount.h"

namespace {

constexpr int kMaxCandidates = 201;

std::string randomCharacters(std::minstd_rand& random) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::uniform_int_distribution<int> index(0, 35);
    std::string out;
    for (int i = 0; i < 4; ++i) out += kAlphabet[index(random)];
    return out;
}

}  // namespace

bool makeTempFileName(const std::string& base, const std::string& dir, std::string& out) {
    std::string name = base.empty() ? "x" : base;
    if (name.find('.') == std::string::npos) name += ".tmp";
    std::size_t dot = name.rfind('.');
    std::string stem = name.substr(0, dot), extension = name.substr(dot);
    std::minstd_rand random(tickCountMs());
    for (int i = 0; i < kMaxCandidates; ++i) {
        out = joinDirAndFileName(dir, stem + "_" + randomCharacters(random) + extension);
        if (!fileExists(out.c_str(), nullptr)) return true;
    }
    out.clear();
    return false;
}

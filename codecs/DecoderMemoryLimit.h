// The most memory one entry's decoder may take for what its stream asks for: a zstd window, an
// LZMA or xz dictionary, a PPMd model. A stream that asks for more fails before anything is
// allocated, with a message that names the need and the limit.
#pragma once
#include <cstdint>
#include <string>

struct DecoderMemoryLimit {
    // Everything the common tools write at their highest settings fits: 7-Zip's ultra PPMd
    // model takes 256 MiB (the format's largest), zstd --ultra -22 a 128 MiB window, xz -9 a
    // 64 MiB dictionary.
    static constexpr std::uint64_t kDefault = std::uint64_t(256) << 20;

    // "1 GiB", "128 MiB", "1.5 MiB", "900 KiB", "100 bytes".
    static std::string sizeText(std::uint64_t bytes);
    // "zstd window of 1 GiB exceeds the memory limit of 128 MiB".
    static std::string refusal(const char* what, std::uint64_t need, std::uint64_t limit);
};

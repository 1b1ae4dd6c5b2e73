// The file attribute bits the library reads, stores in archives and sets.
#pragma once
#include <cstdint>

constexpr std::uint32_t kAttrReadOnly = 0x01;
constexpr std::uint32_t kAttrHidden = 0x02;
constexpr std::uint32_t kAttrDirectory = 0x10;
constexpr std::uint32_t kAttrArchive = 0x20;
constexpr std::uint32_t kAttrNormal = 0x80;

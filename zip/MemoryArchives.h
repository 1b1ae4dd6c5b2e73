// Archives that live in the caller's memory, opened by name: while a block is registered, its
// name opens it wherever the reader opens an archive file (the structure walk and the
// extraction's pool both go through MemoryData::openFile). The bytes are borrowed, never copied
// or freed here; the caller keeps them unchanged until the name is removed. Names are made here,
// one per registration.
#pragma once
#include <cstdint>
#include <string>

class MemoryArchives {
public:
    // The name the block opens under.
    static std::string add(const std::uint8_t* data, std::uint32_t size);
    static void remove(const std::string& name);
    // True when name is registered; data and size then describe its block.
    static bool find(const char* name, const std::uint8_t*& data, std::uint32_t& size);
};

// The process-wide register of memory archives.
#include "zip/MemoryArchives.h"

#include <map>
#include <mutex>

namespace {
struct Block {
    const std::uint8_t* data;
    std::uint32_t size;
};

std::mutex g_lock;
std::map<std::string, Block>& blocks() {
    static std::map<std::string, Block> registered;
    return registered;
}
std::uint64_t g_next = 0;
}  // namespace

std::string MemoryArchives::add(const std::uint8_t* data, std::uint32_t size) {
    std::lock_guard<std::mutex> hold(g_lock);
    const std::string name = "<memory archive " + std::to_string(++g_next) + ">";
    blocks()[name] = Block{data, size};
    return name;
}

void MemoryArchives::remove(const std::string& name) {
    std::lock_guard<std::mutex> hold(g_lock);
    blocks().erase(name);
}

bool MemoryArchives::find(const char* name, const std::uint8_t*& data, std::uint32_t& size) {
    if (name == nullptr || name[0] != '<') return false;
    std::lock_guard<std::mutex> hold(g_lock);
    auto it = blocks().find(name);
    if (it == blocks().end()) return false;
    data = it->second.data;
    size = it->second.size;
    return true;
}

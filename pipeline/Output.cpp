// The null behaviour of the Output base.
#include "pipeline/Output.h"

#include "base/StringBuffer.h"

std::uint32_t Output::write(const void* bytes, std::uint32_t itemSize, std::uint32_t count, LogBase*) {
    return bytes && itemSize ? count : 0;
}

std::uint32_t Output::write64(const void* bytes, std::uint64_t itemSize, std::uint32_t count, LogBase*) {
    return bytes && itemSize ? count : 0;
}

void Output::describe(StringBuffer& text) { text.append("unknown"); }

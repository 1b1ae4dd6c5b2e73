// Single-shot bzip2 unpacking of the library's own block format through libbz2.
#include "codecs/TarnelBzip2.h"

#include <bzlib.h>

#include <climits>

#include "base/DataBuffer.h"
#include "base/LittleEndian.h"

bool TarnelBzip2::decompress(const DataBuffer& in, DataBuffer& out) {
    if (in.size() == 0) return true;
    if (in.size() < kHeaderSize || loadLe32(in.data()) != kMagic) return false;
    std::uint32_t stated = loadLe32(in.data() + 4);
    if (stated > UINT_MAX - 20) return false;
    std::uint32_t room = stated + 20;
    if (!out.ensureCapacity(room)) return false;
    out.clear();
    out.setSize(room);
    unsigned int produced = room;
    char* dest = reinterpret_cast<char*>(out.data());
    char* source = const_cast<char*>(reinterpret_cast<const char*>(in.data() + kHeaderSize));
    int rc = BZ2_bzBuffToBuffDecompress(dest, &produced, source, in.size() - kHeaderSize, 0, 0);
    if (rc == BZ_OK) {
        out.setSize(produced);
        return true;
    }
    if (rc != BZ_OUTBUFF_FULL) out.clear();
    return false;
}

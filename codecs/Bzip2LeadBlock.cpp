// A chosen-CRC bzip2 block. Compiled only where libbz2 is used (TN_METHOD_BZIP2).
#if TN_METHOD_BZIP2
#include "codecs/Bzip2LeadBlock.h"

#include <bzlib.h>

namespace {

// libbz2's stream of `data` at level 1; empty when it fails.
std::size_t compressSmall(std::uint8_t* data, std::size_t size, std::uint8_t* out, std::size_t room) {
    bz_stream s{};
    if (BZ2_bzCompressInit(&s, 1, 0, 0) != BZ_OK) return 0;
    s.next_in = reinterpret_cast<char*>(data);
    s.avail_in = unsigned(size);
    s.next_out = reinterpret_cast<char*>(out);
    s.avail_out = unsigned(room);
    int rc = BZ_FINISH_OK;
    while (rc == BZ_FINISH_OK && s.avail_out > 0) rc = BZ2_bzCompress(&s, BZ_FINISH);
    const std::size_t made = room - s.avail_out;
    BZ2_bzCompressEnd(&s);
    return rc == BZ_STREAM_END ? made : 0;
}

}  // namespace

// Each attempt compresses a few leading bytes of its own and four more that bring the CRC to the
// wanted value; the block's length in bits varies with the content, and about one attempt in
// eight has the wanted remainder.
bool Bzip2LeadBlock::append(std::uint32_t blockCrc, unsigned bitsModulo8, Bzip2Bits::Writer& out,
                            std::size_t& contentSize) {
    for (std::uint32_t attempt = 0; attempt < 4096; ++attempt) {
        std::uint8_t data[8];
        const std::size_t lead = 1 + attempt % 4;
        for (std::size_t k = 0; k < lead; ++k) data[k] = std::uint8_t((attempt >> 2) * 151 + k * 71 + 'a');
        const std::uint32_t reg = Bzip2Bits::crcUpdate(0xFFFFFFFFu, data, lead);
        Bzip2Bits::crcBridge(reg, ~blockCrc, data + lead);
        const std::size_t size = lead + 4;
        std::uint8_t stream[512];
        const std::size_t made = compressSmall(data, size, stream, sizeof stream);
        if (made < 4 + 10 + 10) continue;
        // The stream: header (32 bits), the block, the end magic and the combined CRC (80 bits),
        // padding to the byte.
        std::uint64_t endAt = 0;
        for (unsigned pad = 0; pad < 8 && !endAt; ++pad) {
            const std::uint64_t at = std::uint64_t(made) * 8 - 80 - pad;
            if (Bzip2Bits::read(stream, at, 48) == Bzip2Bits::kEndMagic) endAt = at;
        }
        if (!endAt || Bzip2Bits::read(stream, 80, 32) != blockCrc) continue;
        const std::uint64_t blockBits = endAt - 32;
        if (blockBits % 8 != bitsModulo8) continue;
        out.copy(stream, 32, blockBits);
        contentSize = size;
        return true;
    }
    return false;
}
#endif  // TN_METHOD_BZIP2

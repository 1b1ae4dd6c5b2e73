// zlib as the reference for raw deflate (windowBits -15), shared by the inflate tests, benchmark
// and fuzz target.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <vector>

// Deflates `size` bytes into a raw deflate stream.
inline std::vector<std::uint8_t> zlibDeflateRaw(const std::uint8_t* bytes, std::size_t size, int level,
                                                int strategy = Z_DEFAULT_STRATEGY) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy);
    std::vector<std::uint8_t> out(deflateBound(&z, uLong(size)) + 16);
    z.next_in = const_cast<Bytef*>(bytes);
    z.avail_in = uInt(size);
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// zlib's reading of a raw stream, up to `limit` bytes of output; true when it reached the end.
inline bool zlibInflateRaw(const std::uint8_t* bytes, std::size_t size, std::vector<std::uint8_t>& out,
                           std::size_t limit = std::size_t(64) << 20) {
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef*>(bytes);
    z.avail_in = uInt(size);
    std::vector<std::uint8_t> buffer(1 << 16);
    int rc;
    out.clear();
    do {
        z.next_out = buffer.data();
        z.avail_out = uInt(buffer.size());
        rc = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), buffer.data(), buffer.data() + (buffer.size() - z.avail_out));
    } while (rc == Z_OK && out.size() < limit);
    inflateEnd(&z);
    return rc == Z_STREAM_END;
}

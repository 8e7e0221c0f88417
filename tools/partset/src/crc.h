// CRC-32 (zlib's) of data read in pieces.
#pragma once

#include <zlib.h>

#include <cstdint>

namespace partset {

inline uint32_t Crc32(uint32_t crc, const void* data, size_t size) {
    // zlib takes at most 4 GiB - 1 per call.
    const auto* p = static_cast<const Bytef*>(data);
    uLong c = crc;
    while (size > 0) {
        const uInt n = size > (1u << 30) ? (1u << 30) : static_cast<uInt>(size);
        c = crc32(c, p, n);
        p += n;
        size -= n;
    }
    return static_cast<uint32_t>(c);
}

// The CRC of A followed by B from the CRCs of both and B's length. zlib's
// offset type is 32 bits wide on Windows, so long lengths go in steps: a
// combine with an empty-data CRC of 0 shifts by that many zero bytes.
inline uint32_t Crc32Combine(uint32_t crc_a, uint32_t crc_b, uint64_t length_b) {
    const uint64_t kStep = 1u << 30;
    uLong c = crc_a;
    while (length_b > kStep) {
        c = crc32_combine(c, 0, static_cast<z_off_t>(kStep));
        length_b -= kStep;
    }
    return static_cast<uint32_t>(crc32_combine(c, crc_b, static_cast<z_off_t>(length_b)));
}

}  // namespace partset

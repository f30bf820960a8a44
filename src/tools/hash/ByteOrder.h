// Unaligned little- and big-endian word access shared by the digest implementations.
#pragma once

#include <cstdint>
#include <cstring>

namespace Lumo::HashDetail {

inline uint32_t LoadLe32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;  // every supported target is little-endian
}

inline uint32_t LoadBe32(const uint8_t* p) { return __builtin_bswap32(LoadLe32(p)); }

inline uint64_t LoadBe64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}

inline void StoreLe32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

inline void StoreBe32(uint8_t* p, uint32_t v) { StoreLe32(p, __builtin_bswap32(v)); }

inline void StoreLe64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

inline void StoreBe64(uint8_t* p, uint64_t v) {
    v = __builtin_bswap64(v);
    std::memcpy(p, &v, 8);
}

inline constexpr uint32_t Rotl32(uint32_t v, int n) { return (v << n) | (v >> ((32 - n) & 31)); }

inline constexpr uint32_t Rotr32(uint32_t v, int n) { return (v >> n) | (v << ((32 - n) & 31)); }

inline constexpr uint64_t Rotr64(uint64_t v, int n) { return (v >> n) | (v << ((64 - n) & 63)); }

// Collects input into whole blocks for a block-oriented compression function. compress(data, blockCount)
// receives as many consecutive whole blocks as are available, so accelerated code keeps its state in
// registers across blocks.
template <size_t BlockSize>
struct BlockBuffer {
    uint8_t bytes[BlockSize];
    size_t used = 0;

    template <typename Compress>
    void Feed(const uint8_t* data, size_t size, Compress&& compress) {
        if (used != 0) {
            size_t take = BlockSize - used;
            if (take > size) take = size;
            std::memcpy(bytes + used, data, take);
            used += take;
            data += take;
            size -= take;
            if (used < BlockSize) return;
            compress(bytes, size_t{1});
            used = 0;
        }
        if (size >= BlockSize) {
            size_t blocks = size / BlockSize;
            compress(data, blocks);
            data += blocks * BlockSize;
            size -= blocks * BlockSize;
        }
        if (size != 0) {
            std::memcpy(bytes, data, size);
            used = size;
        }
    }

    // Ends the message with the padding MD4, MD5, SHA-1 and SHA-2 share: a 0x80 byte, zeros, and the length
    // field (already in the digest's byte order) closing the last block.
    template <size_t LengthSize, typename Compress>
    void FeedPadding(const uint8_t (&length)[LengthSize], Compress&& compress) {
        static_assert(LengthSize < BlockSize, "the length field fits in a block");
        uint8_t tail[2 * BlockSize] = {0x80};
        const size_t room = BlockSize - LengthSize;
        const size_t padding = (used < room ? room : room + BlockSize) - used;
        std::memcpy(tail + padding, length, LengthSize);
        Feed(tail, padding + LengthSize, compress);
    }
};

}  // namespace Lumo::HashDetail

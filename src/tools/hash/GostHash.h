// GOST R 34.11-94 hash function with the S-boxes of the standard's test parameter set, streaming
// context record.
#pragma once

#include <cstddef>
#include <cstdint>

struct GostHashContext {
    static constexpr size_t kDigestSize = 32;

    uint32_t sum[8];     // control sum: all message blocks added as 256-bit little-endian integers
    uint32_t hash[8];    // running hash value
    uint32_t length[8];  // message length in bits; the lowest two words count, with carry
    uint8_t buffer[32];  // partial block
    size_t buffered;     // bytes held in buffer, 0..31 between calls

    void Init();
    void Update(const void* data, size_t size);
    void Final(uint8_t digest[kDigestSize]);
};

// MD5 message digest (RFC 1321), streaming context record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tools/hash/ByteOrder.h"

struct Md5Context {
    static constexpr size_t kDigestSize = 16;

    uint32_t state[4];
    uint32_t bitCount[2];  // message length in bits: low word, high word
    Lumo::HashDetail::BlockBuffer<64> buffer;

    void Init();
    void Update(const void* data, size_t size);
    void Final(uint8_t digest[kDigestSize]);
};

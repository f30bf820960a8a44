// MD4 message digest (RFC 1320), streaming context record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tools/hash/ByteOrder.h"

struct Md4Context {
    static constexpr size_t kDigestSize = 16;

    uint32_t state[4];
    uint64_t byteCount;
    Lumo::HashDetail::BlockBuffer<64> buffer;

    void Init();
    void Update(const void* data, size_t size);
    void Final(uint8_t digest[kDigestSize]);
};

// SHA-1 (FIPS 180-2), streaming context record; uses the SHA instructions when the processor has them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tools/hash/ByteOrder.h"

struct Sha1Context {
    static constexpr size_t kDigestSize = 20;

    uint32_t state[5];
    uint64_t byteCount;
    Lumo::HashDetail::BlockBuffer<64> buffer;

    void Init();
    void Update(const void* data, size_t size);
    void Final(uint8_t digest[kDigestSize]);
};

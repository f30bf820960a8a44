// SHA-256, SHA-384 and SHA-512 (FIPS 180-2) behind one streaming context record: Begin picks the digest by
// its length (32 or 256 for SHA-256, 48 or 384 for SHA-384, 64 or 512 for SHA-512).
#pragma once

#include <cstddef>
#include <cstdint>

#include "tools/hash/ByteOrder.h"

struct Sha2Context {
    static constexpr size_t kMaxDigestSize = 64;

    size_t digestSize = 0;  // 32, 48 or 64 once begun
    uint32_t state256[8];
    uint64_t state512[8];
    uint64_t byteCount;
    Lumo::HashDetail::BlockBuffer<64> buffer256;
    Lumo::HashDetail::BlockBuffer<128> buffer512;

    // False (and the context unusable) for any other length.
    bool Begin(int digestLength);
    void Update(const void* data, size_t size);
    // Writes digestSize bytes.
    void Final(uint8_t* digest);
};

#if defined(__x86_64__)
// SHA-512 compression of `count` 128-byte blocks with AVX2 and BMI2 (Sha512Avx2.S), for processors on which
// Lumo::HashAcceleration::UseAvx2() holds. k2 is the table of round constants with each pair of constants
// twice.
extern "C" void QvSha512BlocksAvx2(uint64_t state[8], const uint8_t* blocks, size_t count,
                                   const uint64_t* k2);
#endif

// CRC-32 with three interchangeable register updates: carry-less multiply folding (PCLMULQDQ) for long
// runs, slicing-by-16 tables as the portable path, and the classic byte table for the tails.
#include "tools/hash/Crc32.h"

#include "tools/hash/ByteOrder.h"
#include "tools/hash/HashAcceleration.h"

#if defined(QV_HASH_X86_INTRINSICS)
#include <immintrin.h>
#endif

namespace {

constexpr uint32_t kReflectedPolynomial = 0xEDB88320u;

struct SlicingTables {
    uint32_t t[16][256];

    constexpr SlicingTables() : t{} {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ kReflectedPolynomial : c >> 1;
            t[0][i] = c;
        }
        for (int k = 1; k < 16; ++k) {
            for (int i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
        }
    }
};

constexpr SlicingTables kTables;

uint32_t UpdateSliced(uint32_t crc, const uint8_t* p, size_t n) {
    const auto& t = kTables.t;
    while (n >= 16) {
        const uint32_t a = Lumo::HashDetail::LoadLe32(p) ^ crc;
        const uint32_t b = Lumo::HashDetail::LoadLe32(p + 4);
        const uint32_t c = Lumo::HashDetail::LoadLe32(p + 8);
        const uint32_t d = Lumo::HashDetail::LoadLe32(p + 12);
        crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
              t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
              t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
              t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
        p += 16;
        n -= 16;
    }
    return CCrc32Static::UpdateBytewise(crc, p, n);
}

#if defined(QV_HASH_X86_INTRINSICS)
#define QV_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

QV_CLMUL_TARGET inline __m128i Load(const uint8_t* q) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

// Moves x forward over 128 (or 4 x 128) bits of message and adds the next block.
QV_CLMUL_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)),
                         next);
}

// Folding constants for the reflected polynomial: x^(4*128+32), x^(4*128-32), x^(128+32), x^(128-32) and
// x^64 modulo P (bit-reflected, shifted left by one), then the Barrett constants floor(x^64 / P) and P.
QV_CLMUL_TARGET uint32_t UpdateFolded(uint32_t crc, const uint8_t* p, size_t n) {
    // n is a multiple of 16 and at least 64.
    const __m128i fold4 = _mm_set_epi64x(0x1c6e41596LL, 0x154442bd4LL);
    const __m128i fold1 = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);
    const __m128i fold64 = _mm_set_epi64x(0, 0x163cd6124LL);
    const __m128i barrett = _mm_set_epi64x(0x1F7011641LL, 0x1DB710641LL);
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);

    __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x1 = Load(p + 16);
    __m128i x2 = Load(p + 32);
    __m128i x3 = Load(p + 48);
    p += 64;
    n -= 64;
    while (n >= 64) {
        x0 = Fold(x0, fold4, Load(p));
        x1 = Fold(x1, fold4, Load(p + 16));
        x2 = Fold(x2, fold4, Load(p + 32));
        x3 = Fold(x3, fold4, Load(p + 48));
        p += 64;
        n -= 64;
    }
    __m128i x = Fold(x0, fold1, x1);
    x = Fold(x, fold1, x2);
    x = Fold(x, fold1, x3);
    while (n >= 16) {
        x = Fold(x, fold1, Load(p));
        p += 16;
        n -= 16;
    }
    // 128 -> 64 bits, then 64 -> 32 bits by Barrett reduction.
    x = _mm_xor_si128(_mm_srli_si128(x, 8), _mm_clmulepi64_si128(x, fold1, 0x10));
    x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), fold64, 0x00), _mm_srli_si128(x, 4));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), barrett, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
    x = _mm_xor_si128(x, t);
    return static_cast<uint32_t>(_mm_extract_epi32(x, 1));
}
#endif

}  // namespace

const uint32_t* CCrc32Static::Table() { return kTables.t[0]; }

uint32_t CCrc32Static::UpdateBytewise(uint32_t crc, const uint8_t* data, size_t size) {
    const uint32_t* table = kTables.t[0];
    for (size_t i = 0; i < size; ++i) crc = (crc >> 8) ^ table[(crc ^ data[i]) & 0xFF];
    return crc;
}

void CCrc32Static::Update(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
#if defined(QV_HASH_X86_INTRINSICS)
    if (size >= 64 && Lumo::HashAcceleration::UseCarryLessMultiply()) {
        const size_t folded = size & ~size_t{15};
        register_ = UpdateFolded(register_, p, folded);
        p += folded;
        size -= folded;
        register_ = UpdateBytewise(register_, p, size);
        return;
    }
#endif
    register_ = UpdateSliced(register_, p, size);
}

// SHA-1 (FIPS 180-2): portable compression plus a SHA-NI version selected at run time.
#include "tools/hash/Sha1.h"

#include <utility>

#include "tools/hash/HashAcceleration.h"

#if defined(QV_HASH_X86_INTRINSICS)
#include <immintrin.h>
#endif

using Lumo::HashDetail::LoadBe32;
using Lumo::HashDetail::Rotl32;

namespace {

void CompressPortable(uint32_t state[5], const uint8_t* p, size_t blocks) {
    for (; blocks != 0; --blocks, p += 64) {
        uint32_t w[16];
        for (int i = 0; i < 16; ++i) w[i] = LoadBe32(p + 4 * i);
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
// The schedule is kept as a rolling window of sixteen words.
#define QV_SHA1_W(t) \
    (w[(t)&15] = Rotl32(w[((t) + 13) & 15] ^ w[((t) + 8) & 15] ^ w[((t) + 2) & 15] ^ w[(t)&15], 1))
#define QV_SHA1_ROUND(a, b, c, d, e, f, k, x) \
    e += Rotl32(a, 5) + (f) + (k) + (x);      \
    b = Rotl32(b, 30)
#define QV_SHA1_CH(b, c, d) ((d) ^ ((b) & ((c) ^ (d))))
#define QV_SHA1_PARITY(b, c, d) ((b) ^ (c) ^ (d))
#define QV_SHA1_MAJ(b, c, d) (((b) & (c)) + ((d) & ((b) ^ (c))))
#define QV_SHA1_FIVE(t, F, k, X)                           \
    QV_SHA1_ROUND(a, b, c, d, e, F(b, c, d), k, X(t));     \
    QV_SHA1_ROUND(e, a, b, c, d, F(a, b, c), k, X(t + 1)); \
    QV_SHA1_ROUND(d, e, a, b, c, F(e, a, b), k, X(t + 2)); \
    QV_SHA1_ROUND(c, d, e, a, b, F(d, e, a), k, X(t + 3)); \
    QV_SHA1_ROUND(b, c, d, e, a, F(c, d, e), k, X(t + 4))
#define QV_SHA1_INPUT(t) w[t]
        QV_SHA1_FIVE(0, QV_SHA1_CH, 0x5A827999u, QV_SHA1_INPUT);
        QV_SHA1_FIVE(5, QV_SHA1_CH, 0x5A827999u, QV_SHA1_INPUT);
        QV_SHA1_FIVE(10, QV_SHA1_CH, 0x5A827999u, QV_SHA1_INPUT);
        QV_SHA1_ROUND(a, b, c, d, e, QV_SHA1_CH(b, c, d), 0x5A827999u, w[15]);
        QV_SHA1_ROUND(e, a, b, c, d, QV_SHA1_CH(a, b, c), 0x5A827999u, QV_SHA1_W(16));
        QV_SHA1_ROUND(d, e, a, b, c, QV_SHA1_CH(e, a, b), 0x5A827999u, QV_SHA1_W(17));
        QV_SHA1_ROUND(c, d, e, a, b, QV_SHA1_CH(d, e, a), 0x5A827999u, QV_SHA1_W(18));
        QV_SHA1_ROUND(b, c, d, e, a, QV_SHA1_CH(c, d, e), 0x5A827999u, QV_SHA1_W(19));
        QV_SHA1_FIVE(20, QV_SHA1_PARITY, 0x6ED9EBA1u, QV_SHA1_W);
        QV_SHA1_FIVE(25, QV_SHA1_PARITY, 0x6ED9EBA1u, QV_SHA1_W);
        QV_SHA1_FIVE(30, QV_SHA1_PARITY, 0x6ED9EBA1u, QV_SHA1_W);
        QV_SHA1_FIVE(35, QV_SHA1_PARITY, 0x6ED9EBA1u, QV_SHA1_W);
        QV_SHA1_FIVE(40, QV_SHA1_MAJ, 0x8F1BBCDCu, QV_SHA1_W);
        QV_SHA1_FIVE(45, QV_SHA1_MAJ, 0x8F1BBCDCu, QV_SHA1_W);
        QV_SHA1_FIVE(50, QV_SHA1_MAJ, 0x8F1BBCDCu, QV_SHA1_W);
        QV_SHA1_FIVE(55, QV_SHA1_MAJ, 0x8F1BBCDCu, QV_SHA1_W);
        QV_SHA1_FIVE(60, QV_SHA1_PARITY, 0xCA62C1D6u, QV_SHA1_W);
        QV_SHA1_FIVE(65, QV_SHA1_PARITY, 0xCA62C1D6u, QV_SHA1_W);
        QV_SHA1_FIVE(70, QV_SHA1_PARITY, 0xCA62C1D6u, QV_SHA1_W);
        QV_SHA1_FIVE(75, QV_SHA1_PARITY, 0xCA62C1D6u, QV_SHA1_W);
#undef QV_SHA1_INPUT
#undef QV_SHA1_FIVE
#undef QV_SHA1_MAJ
#undef QV_SHA1_PARITY
#undef QV_SHA1_CH
#undef QV_SHA1_ROUND
#undef QV_SHA1_W
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
    }
}

#if defined(QV_HASH_X86_INTRINSICS)
#define QV_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// One group of four rounds; G selects the round function and the message words of rounds 4G..4G+3.
template <int G>
QV_SHA_TARGET inline void Sha1Group(__m128i& abcd, __m128i& previousAbcd, __m128i& e0, __m128i (&w)[4],
                                    const uint8_t* p, __m128i byteSwap) {
    if constexpr (G < 4) {
        w[G] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * G)), byteSwap);
    } else {
        w[G & 3] = _mm_sha1msg2_epu32(
            _mm_xor_si128(_mm_sha1msg1_epu32(w[G & 3], w[(G + 1) & 3]), w[(G + 2) & 3]), w[(G + 3) & 3]);
    }
    __m128i e;
    if constexpr (G == 0) {
        e = _mm_add_epi32(e0, w[0]);
    } else {
        e = _mm_sha1nexte_epu32(previousAbcd, w[G & 3]);
    }
    previousAbcd = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, G / 5);
}

template <size_t... G>
QV_SHA_TARGET inline void Sha1AllGroups(__m128i& abcd, __m128i& previousAbcd, __m128i& e0, __m128i (&w)[4],
                                        const uint8_t* p, __m128i byteSwap, std::index_sequence<G...>) {
    (Sha1Group<static_cast<int>(G)>(abcd, previousAbcd, e0, w, p, byteSwap), ...);
}

QV_SHA_TARGET void CompressShaNi(uint32_t state[5], const uint8_t* p, size_t blocks) {
    const __m128i byteSwap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
    __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
    for (; blocks != 0; --blocks, p += 64) {
        const __m128i abcdSaved = abcd;
        const __m128i eSaved = e0;
        __m128i w[4];
        __m128i previousAbcd = abcd;
        Sha1AllGroups(abcd, previousAbcd, e0, w, p, byteSwap, std::make_index_sequence<20>{});
        e0 = _mm_sha1nexte_epu32(previousAbcd, eSaved);
        abcd = _mm_add_epi32(abcd, abcdSaved);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = static_cast<uint32_t>(_mm_extract_epi32(e0, 3));
}
#endif

void CompressBlocks(uint32_t state[5], const uint8_t* p, size_t blocks) {
#if defined(QV_HASH_X86_INTRINSICS)
    if (Lumo::HashAcceleration::UseShaInstructions()) {
        CompressShaNi(state, p, blocks);
        return;
    }
#endif
    CompressPortable(state, p, blocks);
}

}  // namespace

void Sha1Context::Init() {
    state[0] = 0x67452301u;
    state[1] = 0xEFCDAB89u;
    state[2] = 0x98BADCFEu;
    state[3] = 0x10325476u;
    state[4] = 0xC3D2E1F0u;
    byteCount = 0;
    buffer.used = 0;
}

void Sha1Context::Update(const void* data, size_t size) {
    byteCount += size;
    buffer.Feed(static_cast<const uint8_t*>(data), size,
                [this](const uint8_t* p, size_t blocks) { CompressBlocks(state, p, blocks); });
}

void Sha1Context::Final(uint8_t digest[kDigestSize]) {
    uint8_t length[8];
    Lumo::HashDetail::StoreBe64(length, byteCount << 3);
    buffer.FeedPadding(length, [this](const uint8_t* p, size_t blocks) { CompressBlocks(state, p, blocks); });
    for (int i = 0; i < 5; ++i) Lumo::HashDetail::StoreBe32(digest + 4 * i, state[i]);
}

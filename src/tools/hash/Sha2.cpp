// SHA-2 family (FIPS 180-2): one portable compression for SHA-256 and SHA-512, SHA-256 with the SHA
// instructions and SHA-512 with AVX2 and BMI2 when the processor has them. SHA-384 is SHA-512 with its own
// initial value, truncated.
#include "tools/hash/Sha2.h"

#include <utility>

#include "tools/hash/HashAcceleration.h"

#if defined(QV_HASH_X86_INTRINSICS)
#include <immintrin.h>
#endif

using Lumo::HashDetail::LoadBe32;
using Lumo::HashDetail::LoadBe64;
using Lumo::HashDetail::Rotr32;
using Lumo::HashDetail::Rotr64;

namespace {

alignas(16) constexpr uint32_t kK256[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr uint64_t kK512[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc, 0x3956c25bf348b538,
    0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118, 0xd807aa98a3030242, 0x12835b0145706fbe,
    0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2, 0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235,
    0xc19bf174cf692694, 0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5, 0x983e5152ee66dfab,
    0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4, 0xc6e00bf33da88fc2, 0xd5a79147930aa725,
    0x06ca6351e003826f, 0x142929670a0e6e70, 0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed,
    0x53380d139d95b3df, 0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30, 0xd192e819d6ef5218,
    0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8, 0x19a4c116b8d2d0c8, 0x1e376c085141ab53,
    0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8, 0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373,
    0x682e6ff3d6b2b8a3, 0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b, 0xca273eceea26619c,
    0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178, 0x06f067aa72176fba, 0x0a637dc5a2c898a6,
    0x113f9804bef90dae, 0x1b710b35131c471b, 0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc,
    0x431d67c49c100d4c, 0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817,
};

constexpr uint32_t kInitial256[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
constexpr uint64_t kInitial384[8] = {0xcbbb9d5dc1059ed8, 0x629a292a367cd507, 0x9159015a3070dd17,
                                     0x152fecd8f70e5939, 0x67332667ffc00b31, 0x8eb44a8768581511,
                                     0xdb0c2e0d64f98fa7, 0x47b5481dbefa4fa4};
constexpr uint64_t kInitial512[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b,
                                     0xa54ff53a5f1d36f1, 0x510e527fade682d1, 0x9b05688c2b3e6c1f,
                                     0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};

// Shared round shape of both widths; the schedule is a rolling window of sixteen words, and the eight
// working variables rotate by renaming instead of moving.
#define QV_SHA2_ROUND(a, b, c, d, e, f, g, h, k, x)              \
    h += QV_SIGMA1(e) + ((g) ^ ((e) & ((f) ^ (g)))) + (k) + (x); \
    d += h;                                                      \
    h += QV_SIGMA0(a) + (((a) & (b)) | ((c) & ((a) | (b))))
#define QV_SHA2_EIGHT(i, K, X)                                     \
    QV_SHA2_ROUND(a, b, c, d, e, f, g, h, K[(i)], X(i));           \
    QV_SHA2_ROUND(h, a, b, c, d, e, f, g, K[(i) + 1], X((i) + 1)); \
    QV_SHA2_ROUND(g, h, a, b, c, d, e, f, K[(i) + 2], X((i) + 2)); \
    QV_SHA2_ROUND(f, g, h, a, b, c, d, e, K[(i) + 3], X((i) + 3)); \
    QV_SHA2_ROUND(e, f, g, h, a, b, c, d, K[(i) + 4], X((i) + 4)); \
    QV_SHA2_ROUND(d, e, f, g, h, a, b, c, K[(i) + 5], X((i) + 5)); \
    QV_SHA2_ROUND(c, d, e, f, g, h, a, b, K[(i) + 6], X((i) + 6)); \
    QV_SHA2_ROUND(b, c, d, e, f, g, h, a, K[(i) + 7], X((i) + 7))
#define QV_SHA2_INPUT(t) w[(t)]
#define QV_SHA2_SCHEDULE(t) \
    (w[(t)&15] += QV_s1(w[((t) + 14) & 15]) + w[((t) + 9) & 15] + QV_s0(w[((t) + 1) & 15]))

// The two word sizes of the portable compression: SHA-256 works on 32-bit words, SHA-384/512 on 64-bit ones.
struct Sha256Words {
    using Word = uint32_t;
    static constexpr int kRounds = 64;
    static constexpr const Word* kK = kK256;
    static Word Load(const uint8_t* p) { return LoadBe32(p); }
    static Word Sigma0(Word x) { return Rotr32(x, 2) ^ Rotr32(x, 13) ^ Rotr32(x, 22); }
    static Word Sigma1(Word x) { return Rotr32(x, 6) ^ Rotr32(x, 11) ^ Rotr32(x, 25); }
    static Word SmallSigma0(Word x) { return Rotr32(x, 7) ^ Rotr32(x, 18) ^ (x >> 3); }
    static Word SmallSigma1(Word x) { return Rotr32(x, 17) ^ Rotr32(x, 19) ^ (x >> 10); }
};

struct Sha512Words {
    using Word = uint64_t;
    static constexpr int kRounds = 80;
    static constexpr const Word* kK = kK512;
    static Word Load(const uint8_t* p) { return LoadBe64(p); }
    static Word Sigma0(Word x) { return Rotr64(x, 28) ^ Rotr64(x, 34) ^ Rotr64(x, 39); }
    static Word Sigma1(Word x) { return Rotr64(x, 14) ^ Rotr64(x, 18) ^ Rotr64(x, 41); }
    static Word SmallSigma0(Word x) { return Rotr64(x, 1) ^ Rotr64(x, 8) ^ (x >> 7); }
    static Word SmallSigma1(Word x) { return Rotr64(x, 19) ^ Rotr64(x, 61) ^ (x >> 6); }
};

template <typename Words>
void CompressPortable(typename Words::Word state[8], const uint8_t* p, size_t blocks) {
    using Word = typename Words::Word;
#define QV_SIGMA0(x) Words::Sigma0(x)
#define QV_SIGMA1(x) Words::Sigma1(x)
#define QV_s0(x) Words::SmallSigma0(x)
#define QV_s1(x) Words::SmallSigma1(x)
    for (; blocks != 0; --blocks, p += 16 * sizeof(Word)) {
        Word w[16];
        for (int i = 0; i < 16; ++i) w[i] = Words::Load(p + sizeof(Word) * i);
        Word a = state[0], b = state[1], c = state[2], d = state[3];
        Word e = state[4], f = state[5], g = state[6], h = state[7];
        QV_SHA2_EIGHT(0, Words::kK, QV_SHA2_INPUT);
        QV_SHA2_EIGHT(8, Words::kK, QV_SHA2_INPUT);
#pragma GCC unroll 4
        for (int i = 16; i < Words::kRounds; i += 16) {
            QV_SHA2_EIGHT(i, Words::kK, QV_SHA2_SCHEDULE);
            QV_SHA2_EIGHT(i + 8, Words::kK, QV_SHA2_SCHEDULE);
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
#undef QV_SIGMA0
#undef QV_SIGMA1
#undef QV_s0
#undef QV_s1
}

#if defined(__x86_64__)
// The round constants laid out like the schedule buffer of the AVX2 compression in Sha512Avx2.S: each pair
// of constants twice, once for each of the two blocks that share a 256-bit register.
struct K512ForTwoBlocks {
    alignas(32) uint64_t words[160];
};

constexpr K512ForTwoBlocks MakeK512ForTwoBlocks() {
    K512ForTwoBlocks table{};
    for (int j = 0; j < 40; ++j) {
        for (int lane = 0; lane < 2; ++lane) {
            table.words[4 * j + 2 * lane] = kK512[2 * j];
            table.words[4 * j + 2 * lane + 1] = kK512[2 * j + 1];
        }
    }
    return table;
}

constexpr K512ForTwoBlocks kK512ForTwoBlocks = MakeK512ForTwoBlocks();
#endif

#if defined(__i386__)
// SHA-512 for 32-bit code, which has no 64-bit general registers: every 64-bit word lives in the low lane
// of a vector register (SSE2 adds, shifts and logic on 64-bit lanes), and the message schedule is computed
// two words at a time.
#define QV_SSSE3_TARGET __attribute__((target("ssse3")))

QV_SSSE3_TARGET inline __m128i Rotr64(__m128i x, int n) {
    return _mm_or_si128(_mm_srli_epi64(x, n), _mm_slli_epi64(x, 64 - n));
}

QV_SSSE3_TARGET void Compress512Sse(uint64_t state[8], const uint8_t* p, size_t blocks) {
    // Byte order of two big-endian 64-bit words.
    const __m128i byteSwap = _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7);
    alignas(16) uint64_t w[80];
    alignas(16) uint64_t wk[80];
    __m128i v[8];
    for (int i = 0; i < 8; ++i) v[i] = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(state + i));
    for (; blocks != 0; --blocks, p += 128) {
        for (int t = 0; t < 16; t += 2) {
            const __m128i m =
                _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8 * t)), byteSwap);
            _mm_store_si128(reinterpret_cast<__m128i*>(w + t), m);
        }
        for (int t = 16; t < 80; t += 2) {
            const __m128i w2 = _mm_load_si128(reinterpret_cast<const __m128i*>(w + t - 2));
            const __m128i w15 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + t - 15));
            const __m128i s1 =
                _mm_xor_si128(_mm_xor_si128(Rotr64(w2, 19), Rotr64(w2, 61)), _mm_srli_epi64(w2, 6));
            const __m128i s0 =
                _mm_xor_si128(_mm_xor_si128(Rotr64(w15, 1), Rotr64(w15, 8)), _mm_srli_epi64(w15, 7));
            const __m128i sum = _mm_add_epi64(
                _mm_add_epi64(s1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + t - 7))),
                _mm_add_epi64(s0, _mm_load_si128(reinterpret_cast<const __m128i*>(w + t - 16))));
            _mm_store_si128(reinterpret_cast<__m128i*>(w + t), sum);
        }
        for (int t = 0; t < 80; t += 2) {
            const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kK512 + t));
            _mm_store_si128(reinterpret_cast<__m128i*>(wk + t),
                            _mm_add_epi64(_mm_load_si128(reinterpret_cast<const __m128i*>(w + t)), k));
        }
        __m128i a = v[0], b = v[1], c = v[2], d = v[3], e = v[4], f = v[5], g = v[6], h = v[7];
        for (int t = 0; t < 80; ++t) {
            const __m128i sigma1 = _mm_xor_si128(_mm_xor_si128(Rotr64(e, 14), Rotr64(e, 18)), Rotr64(e, 41));
            const __m128i choose = _mm_xor_si128(_mm_and_si128(e, f), _mm_andnot_si128(e, g));
            const __m128i t1 = _mm_add_epi64(
                _mm_add_epi64(h, sigma1),
                _mm_add_epi64(choose, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(wk + t))));
            const __m128i sigma0 = _mm_xor_si128(_mm_xor_si128(Rotr64(a, 28), Rotr64(a, 34)), Rotr64(a, 39));
            const __m128i majority = _mm_or_si128(_mm_and_si128(a, b), _mm_and_si128(c, _mm_or_si128(a, b)));
            h = g;
            g = f;
            f = e;
            e = _mm_add_epi64(d, t1);
            d = c;
            c = b;
            b = a;
            a = _mm_add_epi64(t1, _mm_add_epi64(sigma0, majority));
        }
        v[0] = _mm_add_epi64(v[0], a);
        v[1] = _mm_add_epi64(v[1], b);
        v[2] = _mm_add_epi64(v[2], c);
        v[3] = _mm_add_epi64(v[3], d);
        v[4] = _mm_add_epi64(v[4], e);
        v[5] = _mm_add_epi64(v[5], f);
        v[6] = _mm_add_epi64(v[6], g);
        v[7] = _mm_add_epi64(v[7], h);
    }
    for (int i = 0; i < 8; ++i) _mm_storel_epi64(reinterpret_cast<__m128i*>(state + i), v[i]);
}
#endif

void Compress512(uint64_t state[8], const uint8_t* p, size_t blocks) {
#if defined(__x86_64__)
    if (Lumo::HashAcceleration::UseAvx2()) {
        QvSha512BlocksAvx2(state, p, blocks, kK512ForTwoBlocks.words);
        return;
    }
#elif defined(__i386__)
    if (Lumo::HashAcceleration::UseSsse3()) {
        Compress512Sse(state, p, blocks);
        return;
    }
#endif
    CompressPortable<Sha512Words>(state, p, blocks);
}

#undef QV_SHA2_SCHEDULE
#undef QV_SHA2_INPUT
#undef QV_SHA2_EIGHT
#undef QV_SHA2_ROUND

#if defined(QV_HASH_X86_INTRINSICS)
#define QV_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// Four rounds (two rnds2 instructions) with message words 4G..4G+3.
template <int G>
QV_SHA_TARGET inline void Sha256Group(__m128i& abef, __m128i& cdgh, __m128i (&m)[4], const uint8_t* p,
                                      __m128i byteSwap) {
    if constexpr (G < 4) {
        m[G] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * G)), byteSwap);
    } else {
        __m128i x = _mm_sha256msg1_epu32(m[G & 3], m[(G + 1) & 3]);
        x = _mm_add_epi32(x, _mm_alignr_epi8(m[(G + 3) & 3], m[(G + 2) & 3], 4));
        m[G & 3] = _mm_sha256msg2_epu32(x, m[(G + 3) & 3]);
    }
    __m128i k = _mm_add_epi32(m[G & 3], _mm_load_si128(reinterpret_cast<const __m128i*>(kK256 + 4 * G)));
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, k);
    abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(k, 0x0E));
}

template <size_t... G>
QV_SHA_TARGET inline void Sha256AllGroups(__m128i& abef, __m128i& cdgh, __m128i (&m)[4], const uint8_t* p,
                                          __m128i byteSwap, std::index_sequence<G...>) {
    (Sha256Group<static_cast<int>(G)>(abef, cdgh, m, p, byteSwap), ...);
}

QV_SHA_TARGET void Compress256ShaNi(uint32_t state[8], const uint8_t* p, size_t blocks) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    // The instructions want the state as ABEF and CDGH.
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
    for (; blocks != 0; --blocks, p += 64) {
        const __m128i abefSaved = abef;
        const __m128i cdghSaved = cdgh;
        __m128i m[4];
        // Each group leaves the roles swapped twice, so after every group abef is again ABEF.
        Sha256AllGroups(abef, cdgh, m, p, byteSwap, std::make_index_sequence<16>{});
        abef = _mm_add_epi32(abef, abefSaved);
        cdgh = _mm_add_epi32(cdgh, cdghSaved);
    }
    __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}
#endif

void Compress256(uint32_t state[8], const uint8_t* p, size_t blocks) {
#if defined(QV_HASH_X86_INTRINSICS)
    if (Lumo::HashAcceleration::UseShaInstructions()) {
        Compress256ShaNi(state, p, blocks);
        return;
    }
#endif
    CompressPortable<Sha256Words>(state, p, blocks);
}

}  // namespace

bool Sha2Context::Begin(int digestLength) {
    byteCount = 0;
    buffer256.used = 0;
    buffer512.used = 0;
    switch (digestLength) {
        case 32:
        case 256:
            digestSize = 32;
            for (int i = 0; i < 8; ++i) state256[i] = kInitial256[i];
            return true;
        case 48:
        case 384:
            digestSize = 48;
            for (int i = 0; i < 8; ++i) state512[i] = kInitial384[i];
            return true;
        case 64:
        case 512:
            digestSize = 64;
            for (int i = 0; i < 8; ++i) state512[i] = kInitial512[i];
            return true;
        default:
            digestSize = 0;
            return false;
    }
}

void Sha2Context::Update(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    byteCount += size;
    if (digestSize == 32) {
        buffer256.Feed(p, size,
                       [this](const uint8_t* q, size_t blocks) { Compress256(state256, q, blocks); });
    } else if (digestSize != 0) {
        buffer512.Feed(p, size,
                       [this](const uint8_t* q, size_t blocks) { Compress512(state512, q, blocks); });
    }
}

void Sha2Context::Final(uint8_t* digest) {
    if (digestSize == 32) {
        uint8_t length[8];
        Lumo::HashDetail::StoreBe64(length, byteCount << 3);
        buffer256.FeedPadding(length,
                              [this](const uint8_t* q, size_t blocks) { Compress256(state256, q, blocks); });
        for (int i = 0; i < 8; ++i) Lumo::HashDetail::StoreBe32(digest + 4 * i, state256[i]);
    } else if (digestSize != 0) {
        uint8_t length[16];  // 128-bit length in bits
        Lumo::HashDetail::StoreBe64(length, byteCount >> 61);
        Lumo::HashDetail::StoreBe64(length + 8, byteCount << 3);
        buffer512.FeedPadding(length,
                              [this](const uint8_t* q, size_t blocks) { Compress512(state512, q, blocks); });
        for (size_t i = 0; i < digestSize / 8; ++i) Lumo::HashDetail::StoreBe64(digest + 8 * i, state512[i]);
    }
}

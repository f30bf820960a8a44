// SHA-2 family (FIPS 180-2): one portable compression for SHA-256 and SHA-512, SHA-256 with the SHA
// instructions and SHA-512 with AVX2 and BMI2 when the processor has them. SHA-384 is SHA-512 with its own
// initial value, truncated.
#include "tools/hash/Sha2.h"

#include <type_traits>
#include <utility>

#include "tools/hash/HashAcceleration.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

using HashDetail::LoadBe32;
using HashDetail::LoadBe64;
using HashDetail::Rotr32;
using HashDetail::Rotr64;

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
#define QV_AVX2_TARGET __attribute__((target("avx2,bmi2")))
#define QV_AVX2_INLINE QV_AVX2_TARGET __attribute__((always_inline)) inline
#define QV_AVX2_INLINE_LAMBDA __attribute__((target("avx2,bmi2"), always_inline))

// The round constants laid out like the vector schedule below: each pair of constants twice, once for
// each of the two blocks that share a 256-bit register.
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

QV_AVX2_INLINE __m256i Rotr64x4(__m256i x, int n) {
    return _mm256_or_si256(_mm256_srli_epi64(x, n), _mm256_slli_epi64(x, 64 - n));
}

// The message schedule of two blocks at once. The low 128-bit lane of each vector carries the first block
// and the high lane the second, so every per-lane instruction (alignr, shuffles) serves both. Step j
// yields the words 2j and 2j+1 of each block; the last eight steps live in eight vector registers (step j
// in w[j % 8]), and the words with the round constants added go to memory, where word t of the block in
// lane L sits at 4 * (t / 2) + 2 * L + t % 2.
QV_AVX2_INLINE __m256i Schedule512Load(const uint8_t* first, const uint8_t* second, int j) {
    const __m256i byteSwap = _mm256_set_epi64x(0x08090a0b0c0d0e0fLL, 0x0001020304050607LL,
                                               0x08090a0b0c0d0e0fLL, 0x0001020304050607LL);
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + 16 * j));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(second + 16 * j));
    return _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1), byteSwap);
}

// W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16] for t = 2j and 2j+1, from the steps j-8 .. j-1.
QV_AVX2_INLINE __m256i Schedule512Next(__m256i w16, __m256i w14, __m256i w8, __m256i w6, __m256i w2) {
    // Rotating each 64-bit word right by eight bits is a byte shuffle.
    const __m256i rotate8 = _mm256_set_epi64x(0x080f0e0d0c0b0a09LL, 0x0007060504030201LL,
                                              0x080f0e0d0c0b0a09LL, 0x0007060504030201LL);
    const __m256i w15 = _mm256_alignr_epi8(w14, w16, 8);
    const __m256i w7 = _mm256_alignr_epi8(w6, w8, 8);
    const __m256i s0 = _mm256_xor_si256(_mm256_xor_si256(Rotr64x4(w15, 1), _mm256_shuffle_epi8(w15, rotate8)),
                                        _mm256_srli_epi64(w15, 7));
    const __m256i s1 =
        _mm256_xor_si256(_mm256_xor_si256(Rotr64x4(w2, 19), Rotr64x4(w2, 61)), _mm256_srli_epi64(w2, 6));
    return _mm256_add_epi64(_mm256_add_epi64(w16, s0), _mm256_add_epi64(w7, s1));
}

QV_AVX2_INLINE void Schedule512Store(uint64_t* wk, int j, __m256i words) {
    const __m256i k = _mm256_load_si256(reinterpret_cast<const __m256i*>(kK512ForTwoBlocks.words + 4 * j));
    _mm256_store_si256(reinterpret_cast<__m256i*>(wk + 4 * j), _mm256_add_epi64(words, k));
}

// One round with BMI2 rotations. `bc` carries b ^ c in and leaves a ^ b, which is the next round's b ^ c,
// so the majority costs three operations: Maj(a, b, c) = b ^ ((a ^ b) & (b ^ c)); the choice is the sum of
// its two disjoint halves, (e & f) + (~e & g). The round is written out instruction by instruction because
// this order (the three rotations of e issued early, h collecting its terms as they come) ran faster than
// the compiler's own order of the same expression.
QV_AVX2_INLINE void Round512(uint64_t a, uint64_t b, uint64_t& d, uint64_t e, uint64_t f, uint64_t g,
                             uint64_t& h, uint64_t& bc, uint64_t wk) {
    uint64_t t0, t1, ab;
    __asm__(
        "add %[wk], %[h]\n\t"  // h += W[t] + K[t]
        "mov %[f], %[t0]\n\t"
        "and %[e], %[t0]\n\t"  // e & f
        "rorx $41, %[e], %[t1]\n\t"
        "rorx $18, %[e], %[ab]\n\t"
        "add %[t0], %[h]\n\t"
        "andn %[g], %[e], %[t0]\n\t"  // ~e & g
        "xor %[ab], %[t1]\n\t"
        "rorx $14, %[e], %[ab]\n\t"
        "add %[t0], %[h]\n\t"
        "xor %[ab], %[t1]\n\t"  // Sigma1(e)
        "mov %[a], %[ab]\n\t"
        "rorx $39, %[a], %[t0]\n\t"
        "add %[t1], %[h]\n\t"  // h = T1 = h + W + K + Ch + Sigma1(e)
        "xor %[b], %[ab]\n\t"  // a ^ b, the next round's b ^ c
        "rorx $34, %[a], %[t1]\n\t"
        "add %[h], %[d]\n\t"  // d += T1
        "and %[ab], %[bc]\n\t"
        "xor %[t0], %[t1]\n\t"
        "rorx $28, %[a], %[t0]\n\t"
        "xor %[b], %[bc]\n\t"   // Maj(a, b, c)
        "xor %[t0], %[t1]\n\t"  // Sigma0(a)
        "add %[bc], %[h]\n\t"
        "add %[t1], %[h]"  // h = T1 + Maj + Sigma0(a)
        : [h] "+r"(h), [d] "+r"(d), [bc] "+r"(bc), [t0] "=&r"(t0), [t1] "=&r"(t1), [ab] "=&r"(ab)
        : [a] "r"(a), [b] "r"(b), [e] "r"(e), [f] "r"(f), [g] "r"(g), [wk] "rm"(wk)
        : "cc");
    bc = ab;
}

struct Sha512Working {
    uint64_t a, b, c, d, e, f, g, h, bc;

    explicit Sha512Working(const uint64_t state[8])
        : a(state[0]),
          b(state[1]),
          c(state[2]),
          d(state[3]),
          e(state[4]),
          f(state[5]),
          g(state[6]),
          h(state[7]),
          bc(state[1] ^ state[2]) {}

    void AddTo(uint64_t state[8]) const {
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
};

// Eight rounds reading their words at x[0], x[1], x[4], x[5], ... (one lane of the stored schedule), calling
// between(std::integral_constant<int, k>) after every two rounds (k = 0 .. 3).
template <typename Between>
QV_AVX2_INLINE void Rounds512Eight(Sha512Working& s, const uint64_t* x, Between&& between) {
    Round512(s.a, s.b, s.d, s.e, s.f, s.g, s.h, s.bc, x[0]);
    Round512(s.h, s.a, s.c, s.d, s.e, s.f, s.g, s.bc, x[1]);
    between(std::integral_constant<int, 0>{});
    Round512(s.g, s.h, s.b, s.c, s.d, s.e, s.f, s.bc, x[4]);
    Round512(s.f, s.g, s.a, s.b, s.c, s.d, s.e, s.bc, x[5]);
    between(std::integral_constant<int, 1>{});
    Round512(s.e, s.f, s.h, s.a, s.b, s.c, s.d, s.bc, x[8]);
    Round512(s.d, s.e, s.g, s.h, s.a, s.b, s.c, s.bc, x[9]);
    between(std::integral_constant<int, 2>{});
    Round512(s.c, s.d, s.f, s.g, s.h, s.a, s.b, s.bc, x[12]);
    Round512(s.b, s.c, s.e, s.f, s.g, s.h, s.a, s.bc, x[13]);
    between(std::integral_constant<int, 3>{});
}

QV_AVX2_INLINE void Rounds512Eight(Sha512Working& s, const uint64_t* x) {
    Rounds512Eight(s, x, [](auto) {});
}

// Eight rounds with the four schedule steps j .. j+3 in between. r0 .. r7 is the ring of the eight most
// recent steps, oldest first; the new steps replace r0 .. r3.
QV_AVX2_INLINE void Rounds512EightWithSteps(Sha512Working& s, const uint64_t* x, uint64_t* wk, int j,
                                            __m256i& r0, __m256i& r1, __m256i& r2, __m256i& r3, __m256i& r4,
                                            __m256i& r5, __m256i& r6, __m256i& r7) {
    Rounds512Eight(s, x, [&](auto k) QV_AVX2_INLINE_LAMBDA {
        constexpr int step = decltype(k)::value;
        if constexpr (step == 0) {
            r0 = Schedule512Next(r0, r1, r4, r5, r7);
            Schedule512Store(wk, j, r0);
        } else if constexpr (step == 1) {
            r1 = Schedule512Next(r1, r2, r5, r6, r0);
            Schedule512Store(wk, j + 1, r1);
        } else if constexpr (step == 2) {
            r2 = Schedule512Next(r2, r3, r6, r7, r1);
            Schedule512Store(wk, j + 2, r2);
        } else {
            r3 = Schedule512Next(r3, r4, r7, r0, r2);
            Schedule512Store(wk, j + 3, r3);
        }
    });
}

// Two consecutive blocks (the same block twice when only one is left): the first block's rounds compute
// the whole schedule of both, two rounds per vector step, with the sixteen most recent words of each block
// held in registers; the second block's rounds then only read their stored words from wk (160 words,
// 32-byte aligned). The caller owns wk so that this function needs no aligned frame of its own, which
// leaves one more register to the rounds.
__attribute__((noinline)) QV_AVX2_TARGET void Pair512(uint64_t state[8], const uint8_t* first,
                                                      const uint8_t* second, bool both, uint64_t* wk) {
    __m256i w[8];
    for (int j = 0; j < 8; ++j) {
        w[j] = Schedule512Load(first, second, j);
        Schedule512Store(wk, j, w[j]);
    }

    Sha512Working s(state);
    // Sixteen rounds read steps j .. j+7 while steps j+8 .. j+15 are computed.
    for (int j = 0; j < 32; j += 8) {
        Rounds512EightWithSteps(s, wk + 4 * j, wk, j + 8, w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]);
        Rounds512EightWithSteps(s, wk + 4 * j + 16, wk, j + 12, w[4], w[5], w[6], w[7], w[0], w[1], w[2],
                                w[3]);
    }
    Rounds512Eight(s, wk + 128);
    Rounds512Eight(s, wk + 144);
    s.AddTo(state);
    if (!both) return;

    Sha512Working t(state);
    for (int j = 0; j < 40; j += 4) Rounds512Eight(t, wk + 2 + 4 * j);
    t.AddTo(state);
}

QV_AVX2_TARGET void Compress512Avx2(uint64_t state[8], const uint8_t* p, size_t blocks) {
    alignas(32) uint64_t wk[160];
    for (; blocks >= 2; blocks -= 2, p += 256) Pair512(state, p, p + 128, true, wk);
    if (blocks != 0) Pair512(state, p, p, false, wk);
}
#endif

void Compress512(uint64_t state[8], const uint8_t* p, size_t blocks) {
#if defined(__x86_64__)
    if (HashAcceleration::UseAvx2()) {
        Compress512Avx2(state, p, blocks);
        return;
    }
#endif
    CompressPortable<Sha512Words>(state, p, blocks);
}

#undef QV_SHA2_SCHEDULE
#undef QV_SHA2_INPUT
#undef QV_SHA2_EIGHT
#undef QV_SHA2_ROUND

#if defined(__x86_64__)
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
#if defined(__x86_64__)
    if (HashAcceleration::UseShaInstructions()) {
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
        HashDetail::StoreBe64(length, byteCount << 3);
        buffer256.FeedPadding(length,
                              [this](const uint8_t* q, size_t blocks) { Compress256(state256, q, blocks); });
        for (int i = 0; i < 8; ++i) HashDetail::StoreBe32(digest + 4 * i, state256[i]);
    } else if (digestSize != 0) {
        uint8_t length[16];  // 128-bit length in bits
        HashDetail::StoreBe64(length, byteCount >> 61);
        HashDetail::StoreBe64(length + 8, byteCount << 3);
        buffer512.FeedPadding(length,
                              [this](const uint8_t* q, size_t blocks) { Compress512(state512, q, blocks); });
        for (size_t i = 0; i < digestSize / 8; ++i) HashDetail::StoreBe64(digest + 8 * i, state512[i]);
    }
}

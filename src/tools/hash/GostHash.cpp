// GOST R 34.11-94: each 32-byte block enciphers the running hash with GOST 28147-89 under four keys
// derived from hash and block, then mixes the result through the linear shift-register map psi.
//
// The cipher's round function uses four 256-entry tables that combine two S-boxes each with the 11-bit
// rotation. The output transformation psi^61(H ^ psi(M ^ psi^12(S))) is linear over 16-bit words, so it
// is applied as three precomputed 16x16 word matrices (psi^61 on H, psi^62 on M, psi^74 on S).
#include "tools/hash/GostHash.h"

#include <cstring>

#include "tools/hash/ByteOrder.h"

namespace {

// S-boxes of the test parameter set; row 0 substitutes the least significant four bits.
constexpr uint8_t kSBoxes[8][16] = {
    {4, 10, 9, 2, 13, 8, 0, 14, 6, 11, 1, 12, 7, 15, 5, 3},
    {14, 11, 4, 12, 6, 13, 15, 10, 2, 3, 8, 1, 0, 7, 5, 9},
    {5, 8, 1, 13, 10, 3, 4, 2, 14, 15, 12, 7, 6, 0, 9, 11},
    {7, 13, 10, 1, 0, 8, 9, 15, 14, 4, 6, 12, 11, 2, 5, 3},
    {6, 12, 7, 1, 5, 15, 13, 8, 4, 10, 9, 14, 0, 3, 11, 2},
    {4, 11, 10, 0, 7, 2, 1, 13, 3, 6, 8, 5, 9, 12, 15, 14},
    {13, 11, 4, 1, 3, 15, 5, 9, 0, 10, 14, 7, 6, 8, 2, 12},
    {1, 15, 13, 0, 5, 7, 10, 4, 9, 2, 3, 14, 6, 11, 8, 12},
};

struct RoundTables {
    uint32_t t[4][256];

    constexpr RoundTables() : t{} {
        for (int k = 0; k < 4; ++k) {
            for (uint32_t b = 0; b < 256; ++b) {
                const uint32_t substituted =
                    (uint32_t{kSBoxes[2 * k][b & 15]} | (uint32_t{kSBoxes[2 * k + 1][b >> 4]} << 4))
                    << (8 * k);
                t[k][b] = Lumo::HashDetail::Rotl32(substituted, 11);
            }
        }
    }
};

// Word-level matrix of a power of psi: row j holds the set of input words whose XOR gives output word j,
// spread into 64-bit lane masks (lanes 4q..4q+3 of the output) for branch-free application.
struct PsiMatrix {
    uint64_t laneMask[16][4];

    constexpr explicit PsiMatrix(int power) : laneMask{} {
        uint32_t rows[16] = {};
        for (int i = 0; i < 16; ++i) rows[i] = 1u << i;
        for (int n = 0; n < power; ++n) {
            const uint32_t top = rows[0] ^ rows[1] ^ rows[2] ^ rows[3] ^ rows[12] ^ rows[15];
            for (int i = 0; i < 15; ++i) rows[i] = rows[i + 1];
            rows[15] = top;
        }
        for (int input = 0; input < 16; ++input) {
            for (int out = 0; out < 16; ++out) {
                if (rows[out] & (1u << input))
                    laneMask[input][out / 4] |= uint64_t{0xFFFF} << (16 * (out % 4));
            }
        }
    }
};

constexpr RoundTables kRound;
constexpr PsiMatrix kPsi61(61);
constexpr PsiMatrix kPsi62(62);
constexpr PsiMatrix kPsi74(74);

inline uint32_t F(uint32_t x) {
    return kRound.t[0][x & 0xFF] ^ kRound.t[1][(x >> 8) & 0xFF] ^ kRound.t[2][(x >> 16) & 0xFF] ^
           kRound.t[3][x >> 24];
}

// GOST 28147-89 encryption of the four 64-bit quarters of the running hash (words 2j low, 2j+1 high)
// under their four keys. The four round chains are independent, so they run interleaved and the
// processor overlaps their table lookups instead of waiting on one chain at a time.
inline void Encrypt4(const uint32_t key[4][8], const uint32_t in[8], uint32_t out[8]) {
    uint32_t r[4], l[4];
    for (int j = 0; j < 4; ++j) {
        r[j] = in[2 * j];
        l[j] = in[2 * j + 1];
    }
    // Key word order: three times k0..k7, then k7..k0.
    static constexpr int kOrder[32] = {0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7,
                                       0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0};
#pragma GCC unroll 16
    for (int round = 0; round < 32; round += 2) {
        for (int j = 0; j < 4; ++j) l[j] ^= F(r[j] + key[j][kOrder[round]]);
        for (int j = 0; j < 4; ++j) r[j] ^= F(l[j] + key[j][kOrder[round + 1]]);
    }
    for (int j = 0; j < 4; ++j) {
        out[2 * j] = l[j];
        out[2 * j + 1] = r[j];
    }
}

// Byte transposition P: key word j takes bytes j, 8+j, 16+j and 24+j of w.
inline void TransposeBytes(const uint32_t w[8], uint32_t key[8]) {
    const uint64_t q0 = w[0] | (uint64_t{w[1]} << 32);
    const uint64_t q1 = w[2] | (uint64_t{w[3]} << 32);
    const uint64_t q2 = w[4] | (uint64_t{w[5]} << 32);
    const uint64_t q3 = w[6] | (uint64_t{w[7]} << 32);
    for (int j = 0; j < 8; ++j) {
        const int s = 8 * j;
        key[j] = static_cast<uint32_t>(((q0 >> s) & 0xFF) | (((q1 >> s) & 0xFF) << 8) |
                                       (((q2 >> s) & 0xFF) << 16) | (((q3 >> s) & 0xFF) << 24));
    }
}

// A: (y4 || y3 || y2 || y1) -> (y1 ^ y2 || y4 || y3 || y2) over 64-bit quarters.
inline void ShiftA(uint32_t y[8]) {
    const uint32_t x0 = y[0] ^ y[2], x1 = y[1] ^ y[3];
    y[0] = y[2];
    y[1] = y[3];
    y[2] = y[4];
    y[3] = y[5];
    y[4] = y[6];
    y[5] = y[7];
    y[6] = x0;
    y[7] = x1;
}

inline void ApplyPsi(const PsiMatrix& matrix, const uint32_t in[8], uint64_t out[4]) {
    for (int i = 0; i < 16; ++i) {
        const uint64_t word = (in[i / 2] >> (16 * (i % 2))) & 0xFFFF;
        const uint64_t spread = word * 0x0001000100010001ull;
        out[0] ^= spread & matrix.laneMask[i][0];
        out[1] ^= spread & matrix.laneMask[i][1];
        out[2] ^= spread & matrix.laneMask[i][2];
        out[3] ^= spread & matrix.laneMask[i][3];
    }
}

// The step (compression) function: hash <- f(hash, m).
void Step(uint32_t hash[8], const uint32_t m[8]) {
    static constexpr uint32_t kC3[8] = {0xff00ff00, 0xff00ff00, 0x00ff00ff, 0x00ff00ff,
                                        0x00ffff00, 0xff0000ff, 0x000000ff, 0xff00ffff};
    uint32_t u[8], v[8], w[8], key[4][8], s[8];
    std::memcpy(u, hash, sizeof(u));
    std::memcpy(v, m, sizeof(v));
    for (int j = 0; j < 4; ++j) {
        if (j != 0) {
            ShiftA(u);
            if (j == 2) {
                for (int i = 0; i < 8; ++i) u[i] ^= kC3[i];
            }
            ShiftA(v);
            ShiftA(v);
        }
        for (int i = 0; i < 8; ++i) w[i] = u[i] ^ v[i];
        TransposeBytes(w, key[j]);
    }
    Encrypt4(key, hash, s);
    uint64_t out[4] = {0, 0, 0, 0};
    ApplyPsi(kPsi61, hash, out);
    ApplyPsi(kPsi62, m, out);
    ApplyPsi(kPsi74, s, out);
    for (int q = 0; q < 4; ++q) {
        hash[2 * q] = static_cast<uint32_t>(out[q]);
        hash[2 * q + 1] = static_cast<uint32_t>(out[q] >> 32);
    }
}

void ProcessBlock(GostHashContext& c, const uint8_t* block, uint32_t bits) {
    uint32_t m[8];
    uint64_t carry = 0;
    for (int i = 0; i < 8; ++i) {
        m[i] = Lumo::HashDetail::LoadLe32(block + 4 * i);
        carry += uint64_t{c.sum[i]} + m[i];
        c.sum[i] = static_cast<uint32_t>(carry);
        carry >>= 32;
    }
    Step(c.hash, m);
    const uint64_t length = (uint64_t{c.length[1]} << 32 | c.length[0]) + bits;
    c.length[0] = static_cast<uint32_t>(length);
    c.length[1] = static_cast<uint32_t>(length >> 32);
}

}  // namespace

void GostHashContext::Init() { std::memset(this, 0, sizeof(*this)); }

void GostHashContext::Update(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (buffered != 0) {
        size_t take = 32 - buffered;
        if (take > size) take = size;
        std::memcpy(buffer + buffered, p, take);
        buffered += take;
        p += take;
        size -= take;
        if (buffered < 32) return;
        ProcessBlock(*this, buffer, 256);
        buffered = 0;
    }
    for (; size >= 32; p += 32, size -= 32) ProcessBlock(*this, p, 256);
    std::memcpy(buffer, p, size);
    buffered = size;
}

void GostHashContext::Final(uint8_t digest[kDigestSize]) {
    if (buffered != 0) {
        std::memset(buffer + buffered, 0, 32 - buffered);
        ProcessBlock(*this, buffer, static_cast<uint32_t>(8 * buffered));
        buffered = 0;
    }
    Step(hash, length);
    Step(hash, sum);
    for (int i = 0; i < 8; ++i) Lumo::HashDetail::StoreLe32(digest + 4 * i, hash[i]);
}

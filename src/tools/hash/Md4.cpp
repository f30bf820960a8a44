// MD4 (RFC 1320): three rounds of sixteen steps over 512-bit little-endian blocks.
#include "tools/hash/Md4.h"

using Lumo::HashDetail::LoadLe32;
using Lumo::HashDetail::Rotl32;

namespace {

void CompressBlocks(uint32_t state[4], const uint8_t* p, size_t blocks) {
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (; blocks != 0; --blocks, p += 64) {
        uint32_t x[16];
        for (int i = 0; i < 16; ++i) x[i] = LoadLe32(p + 4 * i);
        const uint32_t aa = a, bb = b, cc = c, dd = d;
#define QV_MD4_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
// Each step adds what is ready early first and the part of the round function that waits for the newest
// word b last. H pairs y and z before x arrives; the majority of round 2 is written as two disjoint
// halves, (c & d) + (b & (c ^ d)), so that the half without b joins the early sum.
#define QV_MD4_H(x, y, z) ((x) ^ ((y) ^ (z)))
#define QV_MD4_STEP(f, a, b, c, d, k, s, t) a = Rotl32((a + x[k] + (t)) + f(b, c, d), s)
#define QV_MD4_STEP_G(a, b, c, d, k, s, t) a = Rotl32((a + x[k] + (t) + ((c) & (d))) + ((b) & ((c) ^ (d))), s)
        QV_MD4_STEP(QV_MD4_F, a, b, c, d, 0, 3, 0);
        QV_MD4_STEP(QV_MD4_F, d, a, b, c, 1, 7, 0);
        QV_MD4_STEP(QV_MD4_F, c, d, a, b, 2, 11, 0);
        QV_MD4_STEP(QV_MD4_F, b, c, d, a, 3, 19, 0);
        QV_MD4_STEP(QV_MD4_F, a, b, c, d, 4, 3, 0);
        QV_MD4_STEP(QV_MD4_F, d, a, b, c, 5, 7, 0);
        QV_MD4_STEP(QV_MD4_F, c, d, a, b, 6, 11, 0);
        QV_MD4_STEP(QV_MD4_F, b, c, d, a, 7, 19, 0);
        QV_MD4_STEP(QV_MD4_F, a, b, c, d, 8, 3, 0);
        QV_MD4_STEP(QV_MD4_F, d, a, b, c, 9, 7, 0);
        QV_MD4_STEP(QV_MD4_F, c, d, a, b, 10, 11, 0);
        QV_MD4_STEP(QV_MD4_F, b, c, d, a, 11, 19, 0);
        QV_MD4_STEP(QV_MD4_F, a, b, c, d, 12, 3, 0);
        QV_MD4_STEP(QV_MD4_F, d, a, b, c, 13, 7, 0);
        QV_MD4_STEP(QV_MD4_F, c, d, a, b, 14, 11, 0);
        QV_MD4_STEP(QV_MD4_F, b, c, d, a, 15, 19, 0);

        QV_MD4_STEP_G(a, b, c, d, 0, 3, 0x5A827999u);
        QV_MD4_STEP_G(d, a, b, c, 4, 5, 0x5A827999u);
        QV_MD4_STEP_G(c, d, a, b, 8, 9, 0x5A827999u);
        QV_MD4_STEP_G(b, c, d, a, 12, 13, 0x5A827999u);
        QV_MD4_STEP_G(a, b, c, d, 1, 3, 0x5A827999u);
        QV_MD4_STEP_G(d, a, b, c, 5, 5, 0x5A827999u);
        QV_MD4_STEP_G(c, d, a, b, 9, 9, 0x5A827999u);
        QV_MD4_STEP_G(b, c, d, a, 13, 13, 0x5A827999u);
        QV_MD4_STEP_G(a, b, c, d, 2, 3, 0x5A827999u);
        QV_MD4_STEP_G(d, a, b, c, 6, 5, 0x5A827999u);
        QV_MD4_STEP_G(c, d, a, b, 10, 9, 0x5A827999u);
        QV_MD4_STEP_G(b, c, d, a, 14, 13, 0x5A827999u);
        QV_MD4_STEP_G(a, b, c, d, 3, 3, 0x5A827999u);
        QV_MD4_STEP_G(d, a, b, c, 7, 5, 0x5A827999u);
        QV_MD4_STEP_G(c, d, a, b, 11, 9, 0x5A827999u);
        QV_MD4_STEP_G(b, c, d, a, 15, 13, 0x5A827999u);

        QV_MD4_STEP(QV_MD4_H, a, b, c, d, 0, 3, 0x6ED9EBA1u);
        QV_MD4_STEP(QV_MD4_H, d, a, b, c, 8, 9, 0x6ED9EBA1u);
        QV_MD4_STEP(QV_MD4_H, c, d, a, b, 4, 11, 0x6ED9EBA1u);
        QV_MD4_STEP(QV_MD4_H, b, c, d, a, 12, 15, 0x6ED9EBA1u);
        QV_MD4_STEP(QV_MD4_H, a, b, c, d, 2, 3, 0x6ED9EBA1u);
        QV_MD4_STEP(QV_MD4_H, d, a, b, c, 10, 9, 0x6ED9EBA1u);
        QV_MD4_STEP(QV_MD4_H, c, d, a, b, 6, 11, 0x6ED9EBA1u);
        QV_MD4_STEP(QV_MD4_H, b, c, d, a, 14, 15, 0x6ED9EBA1u);
        QV_MD4_STEP(QV_MD4_H, a, b, c, d, 1, 3, 0x6ED9EBA1u);
        QV_MD4_STEP(QV_MD4_H, d, a, b, c, 9, 9, 0x6ED9EBA1u);
        QV_MD4_STEP(QV_MD4_H, c, d, a, b, 5, 11, 0x6ED9EBA1u);
        QV_MD4_STEP(QV_MD4_H, b, c, d, a, 13, 15, 0x6ED9EBA1u);
        QV_MD4_STEP(QV_MD4_H, a, b, c, d, 3, 3, 0x6ED9EBA1u);
        QV_MD4_STEP(QV_MD4_H, d, a, b, c, 11, 9, 0x6ED9EBA1u);
        QV_MD4_STEP(QV_MD4_H, c, d, a, b, 7, 11, 0x6ED9EBA1u);
        QV_MD4_STEP(QV_MD4_H, b, c, d, a, 15, 15, 0x6ED9EBA1u);
#undef QV_MD4_STEP_G
#undef QV_MD4_STEP
#undef QV_MD4_H
#undef QV_MD4_F
        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

}  // namespace

void Md4Context::Init() {
    state[0] = 0x67452301u;
    state[1] = 0xEFCDAB89u;
    state[2] = 0x98BADCFEu;
    state[3] = 0x10325476u;
    byteCount = 0;
    buffer.used = 0;
}

void Md4Context::Update(const void* data, size_t size) {
    byteCount += size;
    buffer.Feed(static_cast<const uint8_t*>(data), size,
                [this](const uint8_t* p, size_t blocks) { CompressBlocks(state, p, blocks); });
}

void Md4Context::Final(uint8_t digest[kDigestSize]) {
    uint8_t length[8];
    Lumo::HashDetail::StoreLe64(length, byteCount << 3);
    buffer.FeedPadding(length, [this](const uint8_t* p, size_t blocks) { CompressBlocks(state, p, blocks); });
    for (int i = 0; i < 4; ++i) Lumo::HashDetail::StoreLe32(digest + 4 * i, state[i]);
}

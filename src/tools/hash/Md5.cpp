// MD5 (RFC 1321): four rounds of sixteen steps over 512-bit little-endian blocks. The round functions are
// written in their shortest dependency-chain forms, which compilers turn into the fastest scalar code.
#include "tools/hash/Md5.h"

using Lumo::HashDetail::LoadLe32;
using Lumo::HashDetail::Rotl32;

namespace {

void CompressBlocks(uint32_t state[4], const uint8_t* p, size_t blocks) {
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (; blocks != 0; --blocks, p += 64) {
        uint32_t x[16];
        for (int i = 0; i < 16; ++i) x[i] = LoadLe32(p + 4 * i);
        const uint32_t aa = a, bb = b, cc = c, dd = d;
// Each step first adds everything that is ready early (the word four steps old, the message word, the
// constant and any part of the round function that does not involve b), so that only the part that waits
// for the newest word b stays on the critical path. G splits into two disjoint halves for that reason, and
// H pairs c and d before b arrives.
#define QV_MD5_F(a, b, c, d, k, s, t)                   \
    a = (a + x[k] + (t)) + ((d) ^ ((b) & ((c) ^ (d)))); \
    a = Rotl32(a, s) + (b)
#define QV_MD5_G(a, b, c, d, k, s, t)                  \
    a = (a + x[k] + (t) + ((c) & ~(d))) + ((b) & (d)); \
    a = Rotl32(a, s) + (b)
#define QV_MD5_H(a, b, c, d, k, s, t)           \
    a = (a + x[k] + (t)) + ((b) ^ ((c) ^ (d))); \
    a = Rotl32(a, s) + (b)
#define QV_MD5_I(a, b, c, d, k, s, t)            \
    a = (a + x[k] + (t)) + ((c) ^ ((b) | ~(d))); \
    a = Rotl32(a, s) + (b)
        QV_MD5_F(a, b, c, d, 0, 7, 0xd76aa478u);
        QV_MD5_F(d, a, b, c, 1, 12, 0xe8c7b756u);
        QV_MD5_F(c, d, a, b, 2, 17, 0x242070dbu);
        QV_MD5_F(b, c, d, a, 3, 22, 0xc1bdceeeu);
        QV_MD5_F(a, b, c, d, 4, 7, 0xf57c0fafu);
        QV_MD5_F(d, a, b, c, 5, 12, 0x4787c62au);
        QV_MD5_F(c, d, a, b, 6, 17, 0xa8304613u);
        QV_MD5_F(b, c, d, a, 7, 22, 0xfd469501u);
        QV_MD5_F(a, b, c, d, 8, 7, 0x698098d8u);
        QV_MD5_F(d, a, b, c, 9, 12, 0x8b44f7afu);
        QV_MD5_F(c, d, a, b, 10, 17, 0xffff5bb1u);
        QV_MD5_F(b, c, d, a, 11, 22, 0x895cd7beu);
        QV_MD5_F(a, b, c, d, 12, 7, 0x6b901122u);
        QV_MD5_F(d, a, b, c, 13, 12, 0xfd987193u);
        QV_MD5_F(c, d, a, b, 14, 17, 0xa679438eu);
        QV_MD5_F(b, c, d, a, 15, 22, 0x49b40821u);

        QV_MD5_G(a, b, c, d, 1, 5, 0xf61e2562u);
        QV_MD5_G(d, a, b, c, 6, 9, 0xc040b340u);
        QV_MD5_G(c, d, a, b, 11, 14, 0x265e5a51u);
        QV_MD5_G(b, c, d, a, 0, 20, 0xe9b6c7aau);
        QV_MD5_G(a, b, c, d, 5, 5, 0xd62f105du);
        QV_MD5_G(d, a, b, c, 10, 9, 0x02441453u);
        QV_MD5_G(c, d, a, b, 15, 14, 0xd8a1e681u);
        QV_MD5_G(b, c, d, a, 4, 20, 0xe7d3fbc8u);
        QV_MD5_G(a, b, c, d, 9, 5, 0x21e1cde6u);
        QV_MD5_G(d, a, b, c, 14, 9, 0xc33707d6u);
        QV_MD5_G(c, d, a, b, 3, 14, 0xf4d50d87u);
        QV_MD5_G(b, c, d, a, 8, 20, 0x455a14edu);
        QV_MD5_G(a, b, c, d, 13, 5, 0xa9e3e905u);
        QV_MD5_G(d, a, b, c, 2, 9, 0xfcefa3f8u);
        QV_MD5_G(c, d, a, b, 7, 14, 0x676f02d9u);
        QV_MD5_G(b, c, d, a, 12, 20, 0x8d2a4c8au);

        QV_MD5_H(a, b, c, d, 5, 4, 0xfffa3942u);
        QV_MD5_H(d, a, b, c, 8, 11, 0x8771f681u);
        QV_MD5_H(c, d, a, b, 11, 16, 0x6d9d6122u);
        QV_MD5_H(b, c, d, a, 14, 23, 0xfde5380cu);
        QV_MD5_H(a, b, c, d, 1, 4, 0xa4beea44u);
        QV_MD5_H(d, a, b, c, 4, 11, 0x4bdecfa9u);
        QV_MD5_H(c, d, a, b, 7, 16, 0xf6bb4b60u);
        QV_MD5_H(b, c, d, a, 10, 23, 0xbebfbc70u);
        QV_MD5_H(a, b, c, d, 13, 4, 0x289b7ec6u);
        QV_MD5_H(d, a, b, c, 0, 11, 0xeaa127fau);
        QV_MD5_H(c, d, a, b, 3, 16, 0xd4ef3085u);
        QV_MD5_H(b, c, d, a, 6, 23, 0x04881d05u);
        QV_MD5_H(a, b, c, d, 9, 4, 0xd9d4d039u);
        QV_MD5_H(d, a, b, c, 12, 11, 0xe6db99e5u);
        QV_MD5_H(c, d, a, b, 15, 16, 0x1fa27cf8u);
        QV_MD5_H(b, c, d, a, 2, 23, 0xc4ac5665u);

        QV_MD5_I(a, b, c, d, 0, 6, 0xf4292244u);
        QV_MD5_I(d, a, b, c, 7, 10, 0x432aff97u);
        QV_MD5_I(c, d, a, b, 14, 15, 0xab9423a7u);
        QV_MD5_I(b, c, d, a, 5, 21, 0xfc93a039u);
        QV_MD5_I(a, b, c, d, 12, 6, 0x655b59c3u);
        QV_MD5_I(d, a, b, c, 3, 10, 0x8f0ccc92u);
        QV_MD5_I(c, d, a, b, 10, 15, 0xffeff47du);
        QV_MD5_I(b, c, d, a, 1, 21, 0x85845dd1u);
        QV_MD5_I(a, b, c, d, 8, 6, 0x6fa87e4fu);
        QV_MD5_I(d, a, b, c, 15, 10, 0xfe2ce6e0u);
        QV_MD5_I(c, d, a, b, 6, 15, 0xa3014314u);
        QV_MD5_I(b, c, d, a, 13, 21, 0x4e0811a1u);
        QV_MD5_I(a, b, c, d, 4, 6, 0xf7537e82u);
        QV_MD5_I(d, a, b, c, 11, 10, 0xbd3af235u);
        QV_MD5_I(c, d, a, b, 2, 15, 0x2ad7d2bbu);
        QV_MD5_I(b, c, d, a, 9, 21, 0xeb86d391u);
#undef QV_MD5_I
#undef QV_MD5_H
#undef QV_MD5_G
#undef QV_MD5_F
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

void Md5Context::Init() {
    state[0] = 0x67452301u;
    state[1] = 0xEFCDAB89u;
    state[2] = 0x98BADCFEu;
    state[3] = 0x10325476u;
    bitCount[0] = bitCount[1] = 0;
    buffer.used = 0;
}

void Md5Context::Update(const void* data, size_t size) {
    const uint64_t bits = ((uint64_t{bitCount[1]} << 32) | bitCount[0]) + (uint64_t{size} << 3);
    bitCount[0] = static_cast<uint32_t>(bits);
    bitCount[1] = static_cast<uint32_t>(bits >> 32);
    buffer.Feed(static_cast<const uint8_t*>(data), size,
                [this](const uint8_t* p, size_t blocks) { CompressBlocks(state, p, blocks); });
}

void Md5Context::Final(uint8_t digest[kDigestSize]) {
    uint8_t length[8];
    Lumo::HashDetail::StoreLe32(length, bitCount[0]);
    Lumo::HashDetail::StoreLe32(length + 4, bitCount[1]);
    buffer.FeedPadding(length, [this](const uint8_t* p, size_t blocks) { CompressBlocks(state, p, blocks); });
    for (int i = 0; i < 4; ++i) Lumo::HashDetail::StoreLe32(digest + 4 * i, state[i]);
}

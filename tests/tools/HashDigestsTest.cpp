// Known-answer tests of the streaming digest contexts (published RFC, FIPS and GOST vectors), streaming in
// uneven pieces, and agreement of the processor-specific and portable code paths.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tools/hash/Crc32.h"
#include "tools/hash/GostHash.h"
#include "tools/hash/HashAcceleration.h"
#include "tools/hash/Md2.h"
#include "tools/hash/Md4.h"
#include "tools/hash/Md5.h"
#include "tools/hash/Sha1.h"
#include "tools/hash/Sha2.h"

namespace {

enum class Digest { Crc32, Md2, Md4, Md5, Sha1, Sha256, Sha384, Sha512, Gost };
const Digest kAllDigests[] = {Digest::Crc32,  Digest::Md2,    Digest::Md4,    Digest::Md5, Digest::Sha1,
                              Digest::Sha256, Digest::Sha384, Digest::Sha512, Digest::Gost};

std::string Hex(const uint8_t* p, size_t n) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += kDigits[p[i] >> 4];
        s += kDigits[p[i] & 15];
    }
    return s;
}

// Streams data through the context in pieces whose sizes repeat the given pattern.
template <typename Context>
std::string Stream(Context& c, const std::string& data, const std::vector<size_t>& pieces) {
    size_t offset = 0;
    for (size_t i = 0; offset < data.size(); ++i) {
        size_t n = pieces.empty() ? data.size() : pieces[i % pieces.size()];
        if (n > data.size() - offset) n = data.size() - offset;
        c.Update(data.data() + offset, n);
        offset += n;
    }
    uint8_t digest[64];
    c.Final(digest);
    return Hex(digest, Context::kDigestSize);
}

std::string Compute(Digest d, const std::string& data, const std::vector<size_t>& pieces = {}) {
    switch (d) {
        case Digest::Crc32: {
            CCrc32Static c;
            c.Init();
            size_t offset = 0;
            for (size_t i = 0; offset < data.size(); ++i) {
                size_t n = pieces.empty() ? data.size() : pieces[i % pieces.size()];
                if (n > data.size() - offset) n = data.size() - offset;
                c.Update(data.data() + offset, n);
                offset += n;
            }
            const uint32_t v = c.Final();
            const uint8_t bytes[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
            return Hex(bytes, 4);
        }
        case Digest::Md2: {
            CMD2 c;
            c.Init();
            return Stream(c, data, pieces);
        }
        case Digest::Md4: {
            Md4Context c;
            c.Init();
            return Stream(c, data, pieces);
        }
        case Digest::Md5: {
            Md5Context c;
            c.Init();
            return Stream(c, data, pieces);
        }
        case Digest::Sha1: {
            Sha1Context c;
            c.Init();
            return Stream(c, data, pieces);
        }
        case Digest::Gost: {
            GostHashContext c;
            c.Init();
            return Stream(c, data, pieces);
        }
        default: {
            Sha2Context c;
            const int bits = d == Digest::Sha256 ? 256 : d == Digest::Sha384 ? 384 : 512;
            if (!c.Begin(bits)) return "begin failed";
            size_t offset = 0;
            for (size_t i = 0; offset < data.size(); ++i) {
                size_t n = pieces.empty() ? data.size() : pieces[i % pieces.size()];
                if (n > data.size() - offset) n = data.size() - offset;
                c.Update(data.data() + offset, n);
                offset += n;
            }
            uint8_t digest[64];
            c.Final(digest);
            return Hex(digest, c.digestSize);
        }
    }
}

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 generator(seed);
    std::string s(n, '\0');
    for (char& ch : s) ch = static_cast<char>(generator() & 0xFF);
    return s;
}

struct Vector {
    Digest digest;
    std::string message;
    const char* expected;
};

const std::string kAlphabet = "abcdefghijklmnopqrstuvwxyz";
const std::string kAlphanumeric = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
const std::string kDigits80 =
    "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
const std::string k448Bits = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const std::string k896Bits =
    "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrst"
    "nopqrstu";

const Vector kVectors[] = {
    // RFC 1319
    {Digest::Md2, "", "8350e5a3e24c153df2275c9f80692773"},
    {Digest::Md2, "a", "32ec01ec4a6dac72c0ab96fb34c0b5d1"},
    {Digest::Md2, "abc", "da853b0d3f88d99b30283a69e6ded6bb"},
    {Digest::Md2, "message digest", "ab4f496bfb2a530b219ff33031fe06b0"},
    {Digest::Md2, kAlphabet, "4e8ddff3650292ab5a4108c3aa47940b"},
    {Digest::Md2, kAlphanumeric, "da33def2a42df13975352846c30338cd"},
    {Digest::Md2, kDigits80, "d5976f79d83d3a0dc9806c3c66f3efd8"},
    // RFC 1320
    {Digest::Md4, "", "31d6cfe0d16ae931b73c59d7e0c089c0"},
    {Digest::Md4, "a", "bde52cb31de33e46245e05fbdbd6fb24"},
    {Digest::Md4, "abc", "a448017aaf21d8525fc10ae87aa6729d"},
    {Digest::Md4, "message digest", "d9130a8164549fe818874806e1c7014b"},
    {Digest::Md4, kAlphabet, "d79e1c308aa5bbcdeea8ed63df412da9"},
    {Digest::Md4, kAlphanumeric, "043f8582f241db351ce627e153e7f0e4"},
    {Digest::Md4, kDigits80, "e33b4ddc9c38f2199c3e7b164fcc0536"},
    // RFC 1321
    {Digest::Md5, "", "d41d8cd98f00b204e9800998ecf8427e"},
    {Digest::Md5, "a", "0cc175b9c0f1b6a831c399e269772661"},
    {Digest::Md5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
    {Digest::Md5, "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {Digest::Md5, kAlphabet, "c3fcd3d76192e4007dfb496cca67e13b"},
    {Digest::Md5, kAlphanumeric, "d174ab98d277d9f5a5611c2c9f419d9f"},
    {Digest::Md5, kDigits80, "57edf4a22be3c955ac49da2e2107b67a"},
    // FIPS 180-2
    {Digest::Sha1, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {Digest::Sha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {Digest::Sha1, k448Bits, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {Digest::Sha256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {Digest::Sha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {Digest::Sha256, k448Bits, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {Digest::Sha384, "",
     "38b060a751ac96384cd9327eb1b1e36a21fdb71114be07434c0cc7bf63f6e1da274edebfe76f65fbd51ad2f14898b95b"},
    {Digest::Sha384, "abc",
     "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
    {Digest::Sha384, k896Bits,
     "09330c33f71147e83d192fc782cd1b4753111b173b3b05d22fa08086e3b0f712fcc7c71a557e2db966c3e9fa91746039"},
    {Digest::Sha512, "",
     "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f63b931b"
     "d4741"
     "7a81a538327af927da3e"},
    {Digest::Sha512, "abc",
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d442"
     "3643c"
     "e80e2a9ac94fa54ca49f"},
    {Digest::Sha512, k896Bits,
     "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5433ac7d329e"
     "eb6dd"
     "26545e96e55b874be909"},
    // GOST R 34.11-94, test parameter set
    {Digest::Gost, "", "ce85b99cc46752fffee35cab9a7b0278abb4c2d2055cff685af4912c49490f8d"},
    {Digest::Gost, "a", "d42c539e367c66e9c88a801f6649349c21871b4344c6a573f849fdce62f314dd"},
    {Digest::Gost, "This is message, length=32 bytes",
     "b1c466d37519b82e8319819ff32595e047a28cb6f83eff1c6916a815a637fffa"},
    {Digest::Gost, "Suppose the original message has length = 50 bytes",
     "471aba57a60a770d3a76130635c1fbea4ef14de51f78b4ae57dd893b62f55208"},
    {Digest::Gost, "The quick brown fox jumps over the lazy dog",
     "77b7fa410c9ac58a25f49bca7d0468c9296529315eaca76bd1a10f376d1f4294"},
    {Digest::Gost, std::string(128, 'U'), "53a3a3ed25180cef0c1d85a074273e551c25660a87062a52d926a9e8fe5733a4"},
    // CRC-32 check value of the catalogue of parametrised CRC algorithms, and "abc"
    {Digest::Crc32, "", "00000000"},
    {Digest::Crc32, "123456789", "cbf43926"},
    {Digest::Crc32, "abc", "352441c2"},
};

const Vector kMillionA[] = {
    {Digest::Sha1, "", "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    {Digest::Sha256, "", "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    {Digest::Sha384, "",
     "9d0e1809716474cb086e834e310a4a1ced149e9c00f248527972cec5704c2a5b07b8b3dc38ecc4ebae97ddd87f3d8985"},
    {Digest::Sha512, "",
     "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4cb0432ce577c31beb009c5"
     "c2c49"
     "aa2e4eadb217ad8cc09b"},
    {Digest::Gost, "", "5c00ccc2734cdd3332d3d4749576e3c1a7dbaf0e7ea74e9fa602413c90a129fa"},
};

// Every test runs once on the processor-specific code and once on the forced portable code.
class ToolsHashDigests : public testing::TestWithParam<bool> {
protected:
    void SetUp() override { previous_ = SetHashAccelerationEnabled(GetParam()); }
    void TearDown() override { SetHashAccelerationEnabled(previous_); }

private:
    bool previous_ = true;
};

TEST_P(ToolsHashDigests, PublishedVectorsOneShotAndByteByByte) {
    for (const Vector& v : kVectors) {
        SCOPED_TRACE("digest " + std::to_string(static_cast<int>(v.digest)) + " of \"" + v.message + "\"");
        EXPECT_EQ(Compute(v.digest, v.message), v.expected);
        EXPECT_EQ(Compute(v.digest, v.message, {1}), v.expected);
    }
}

TEST_P(ToolsHashDigests, MillionTimesAInUnevenPieces) {
    const std::string million(1000000, 'a');
    for (const Vector& v : kMillionA) {
        SCOPED_TRACE(static_cast<int>(v.digest));
        EXPECT_EQ(Compute(v.digest, million, {16000}), v.expected);
        EXPECT_EQ(Compute(v.digest, million, {1, 63, 64, 65, 127, 129, 4097, 31, 33}), v.expected);
    }
}

TEST_P(ToolsHashDigests, UnevenPiecesGiveTheOneShotDigestAtEveryLength) {
    const std::string data = RandomBytes(70000, 7);
    const std::vector<std::vector<size_t>> patterns = {{1},    {3, 61}, {64},    {65, 127, 2},
                                                       {2048}, {4096},  {16000}, {33, 32, 31}};
    for (Digest d : kAllDigests) {
        for (size_t length :
             {size_t{0}, size_t{1}, size_t{31}, size_t{32}, size_t{33}, size_t{55}, size_t{56}, size_t{63},
              size_t{64}, size_t{111}, size_t{112}, size_t{128}, size_t{200}, size_t{4096}, size_t{70000}}) {
            const std::string message = data.substr(0, length);
            const std::string oneShot = Compute(d, message);
            for (const auto& pattern : patterns) {
                if (d == Digest::Md2 && length > 4096 && pattern.size() == 1 && pattern[0] == 1) continue;
                EXPECT_EQ(Compute(d, message, pattern), oneShot)
                    << "digest " << static_cast<int>(d) << " length " << length << " first piece "
                    << pattern[0];
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, ToolsHashDigests, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("Accelerated") : std::string("Portable");
                         });

TEST(ToolsHashAcceleration, AcceleratedAndPortablePathsAgreeOnRandomData) {
    std::mt19937 generator(11);
    const std::string data = RandomBytes(300000, 3);
    const bool previous = SetHashAccelerationEnabled(true);
    for (int trial = 0; trial < 40; ++trial) {
        const size_t offset = generator() % 64;  // misaligned starts too
        const size_t length = trial < 20 ? generator() % 300 : generator() % (data.size() - 64);
        const std::string message = data.substr(offset, length);
        for (Digest d : {Digest::Crc32, Digest::Sha1, Digest::Sha256, Digest::Sha384, Digest::Sha512}) {
            SetHashAccelerationEnabled(true);
            const std::string fast = Compute(d, message, {5000, 3, 77});
            SetHashAccelerationEnabled(false);
            EXPECT_EQ(Compute(d, message, {5000, 3, 77}), fast)
                << static_cast<int>(d) << " length " << length;
        }
    }
    SetHashAccelerationEnabled(previous);
}

TEST(ToolsHashAcceleration, SwitchReportsThePreviousSetting) {
    const bool original = SetHashAccelerationEnabled(false);
    EXPECT_FALSE(IsHashAccelerationEnabled());
    EXPECT_FALSE(Lumo::HashAcceleration::UseShaInstructions());
    EXPECT_FALSE(Lumo::HashAcceleration::UseCarryLessMultiply());
    EXPECT_FALSE(SetHashAccelerationEnabled(true));
    EXPECT_TRUE(IsHashAccelerationEnabled());
    EXPECT_EQ(Lumo::HashAcceleration::UseShaInstructions(),
              Lumo::HashAcceleration::DetectedCpuFeatures().sha);
    SetHashAccelerationEnabled(original);
}

TEST(ToolsHashCrc32, TableIsTheReflectedPolynomialTableAndMatchesBitwiseCrc) {
    const uint32_t* table = CCrc32Static::Table();
    EXPECT_EQ(table[0], 0u);
    EXPECT_EQ(table[128], 0xEDB88320u);  // the single top bit of a byte is the polynomial itself
    // A straightforward bit-at-a-time CRC as the independent reference.
    auto bitwise = [](const std::string& s) {
        uint32_t crc = 0xFFFFFFFFu;
        for (unsigned char ch : s) {
            crc ^= ch;
            for (int i = 0; i < 8; ++i) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
        }
        return crc ^ 0xFFFFFFFFu;
    };
    const std::string data = RandomBytes(5000, 5);
    for (size_t length : {0, 1, 15, 16, 17, 63, 64, 65, 79, 80, 1000, 4096, 5000}) {
        const std::string message = data.substr(0, length);
        for (bool accelerated : {true, false}) {
            const bool previous = SetHashAccelerationEnabled(accelerated);
            CCrc32Static crc;
            crc.Init();
            crc.Update(message.data(), message.size());
            EXPECT_EQ(crc.Final(), bitwise(message)) << "length " << length << " accelerated " << accelerated;
            SetHashAccelerationEnabled(previous);
        }
    }
}

TEST(ToolsHashSha2, BeginAcceptsDigestLengthsInBytesOrBitsOnly) {
    struct Case {
        int length;
        size_t digestSize;
    };
    for (const Case c :
         {Case{32, 32}, Case{256, 32}, Case{48, 48}, Case{384, 48}, Case{64, 64}, Case{512, 64}}) {
        Sha2Context context;
        EXPECT_TRUE(context.Begin(c.length)) << c.length;
        EXPECT_EQ(context.digestSize, c.digestSize) << c.length;
    }
    for (int length : {0, 1, 20, 28, 160, 224, 128, -256, 1024}) {
        Sha2Context context;
        EXPECT_FALSE(context.Begin(length)) << length;
    }
}

TEST(ToolsHashContexts, InitStartsAFreshMessageAfterUse) {
    Md5Context md5;
    md5.Init();
    md5.Update("garbage", 7);
    md5.Init();
    md5.Update("abc", 3);
    uint8_t digest[16];
    md5.Final(digest);
    EXPECT_EQ(Hex(digest, 16), "900150983cd24fb0d6963f7d28e17f72");

    GostHashContext gost;
    gost.Init();
    gost.Update("garbage", 7);
    gost.Init();
    uint8_t gostDigest[32];
    gost.Final(gostDigest);
    EXPECT_EQ(Hex(gostDigest, 32), "ce85b99cc46752fffee35cab9a7b0278abb4c2d2055cff685af4912c49490f8d");
}

}  // namespace

// Whole blocks handed straight from the caller's buffer must be read within it: a message ending exactly
// at the end of readable memory (the next page reserved but inaccessible) hashes to the same digest on both
// code paths, whatever its block count, odd or even, instead of faulting inside the host process.
TEST(ToolsHashAcceleration, BlocksEndingAtTheEndOfReadableMemoryAreReadWithinIt) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const size_t page = info.dwPageSize;
    uint8_t* region =
        static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(region, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(region + page, page, PAGE_NOACCESS, &old));
    const std::string random = RandomBytes(page, 5);
    std::memcpy(region, random.data(), page);
    const bool previous = SetHashAccelerationEnabled(true);
    for (size_t length :
         {size_t{64}, size_t{128}, size_t{256}, size_t{384}, size_t{640}, size_t{1024}, page}) {
        const uint8_t* start = region + page - length;
        for (int bits : {256, 384, 512}) {
            Sha2Context fast;
            ASSERT_TRUE(fast.Begin(bits));
            fast.Update(start, length);
            uint8_t a[64];
            fast.Final(a);
            SetHashAccelerationEnabled(false);
            Sha2Context portable;
            portable.Begin(bits);
            portable.Update(start, length);
            uint8_t b[64];
            portable.Final(b);
            SetHashAccelerationEnabled(true);
            EXPECT_EQ(Hex(a, fast.digestSize), Hex(b, portable.digestSize))
                << bits << " bits, " << length << " bytes";
        }
    }
    SetHashAccelerationEnabled(previous);
    VirtualFree(region, 0, MEM_RELEASE);
}

#if defined(__x86_64__) && defined(_WIN64)
// The hand-written SHA-512 compression runs inside other programs' threads (Explorer, file dialogs): it must
// hand back every register the Windows x64 convention makes callee-saved, including xmm6..xmm15, or the
// caller computes with garbage long after the checksum is done.
namespace {
extern "C" {
alignas(16) uint64_t qvTestRegistersIn[28];  // rbx rbp rsi rdi r12..r15, then xmm6..xmm15 as pairs
alignas(16) uint64_t qvTestRegistersOut[28];
alignas(32) uint64_t qvTestState[8];
alignas(32) uint8_t qvTestBlocks[3 * 128];
alignas(32) uint64_t qvTestConstants[160];
}
}  // namespace

TEST(ToolsHashSha2, AvxCompressionKeepsTheRegistersItsCallerOwns) {
    if (!Lumo::HashAcceleration::DetectedCpuFeatures().avx2 ||
        !Lumo::HashAcceleration::DetectedCpuFeatures().bmi2) {
        GTEST_SKIP() << "this processor has no AVX2 with BMI2, so the AVX2 compression never runs here";
    }
    for (int i = 0; i < 28; ++i) qvTestRegistersIn[i] = 0x0123456789abcdefULL * static_cast<uint64_t>(i + 1);
    for (int i = 0; i < 384; ++i) qvTestBlocks[i] = static_cast<uint8_t>(i * 7);
    for (size_t count : {size_t{1}, size_t{2}, size_t{3}}) {
        for (int i = 0; i < 28; ++i) qvTestRegistersOut[i] = 0;
        // The call is made from assembly so that the registers hold known values across it; the stack is
        // aligned and given its 32-byte shadow area as the convention asks.
        __asm__ volatile(
            "mov %[count], %%r8\n\t"  // before rsp moves: the operand may be addressed through it
            "mov %%rsp, %%rax\n\t"
            "and $-16, %%rsp\n\t"
            "push %%rax\n\t"
            "push %%rbp\n\t"
            "sub $32, %%rsp\n\t"
            "lea qvTestRegistersIn(%%rip), %%rax\n\t"
            "movdqa 64(%%rax), %%xmm6\n\t"
            "movdqa 80(%%rax), %%xmm7\n\t"
            "movdqa 96(%%rax), %%xmm8\n\t"
            "movdqa 112(%%rax), %%xmm9\n\t"
            "movdqa 128(%%rax), %%xmm10\n\t"
            "movdqa 144(%%rax), %%xmm11\n\t"
            "movdqa 160(%%rax), %%xmm12\n\t"
            "movdqa 176(%%rax), %%xmm13\n\t"
            "movdqa 192(%%rax), %%xmm14\n\t"
            "movdqa 208(%%rax), %%xmm15\n\t"
            "mov 0(%%rax), %%rbx\n\t"
            "mov 8(%%rax), %%rbp\n\t"
            "mov 16(%%rax), %%rsi\n\t"
            "mov 24(%%rax), %%rdi\n\t"
            "mov 32(%%rax), %%r12\n\t"
            "mov 40(%%rax), %%r13\n\t"
            "mov 48(%%rax), %%r14\n\t"
            "mov 56(%%rax), %%r15\n\t"
            "lea qvTestState(%%rip), %%rcx\n\t"
            "lea qvTestBlocks(%%rip), %%rdx\n\t"
            "lea qvTestConstants(%%rip), %%r9\n\t"
            "call QvSha512BlocksAvx2\n\t"
            "lea qvTestRegistersOut(%%rip), %%rax\n\t"
            "mov %%rbx, 0(%%rax)\n\t"
            "mov %%rbp, 8(%%rax)\n\t"
            "mov %%rsi, 16(%%rax)\n\t"
            "mov %%rdi, 24(%%rax)\n\t"
            "mov %%r12, 32(%%rax)\n\t"
            "mov %%r13, 40(%%rax)\n\t"
            "mov %%r14, 48(%%rax)\n\t"
            "mov %%r15, 56(%%rax)\n\t"
            "movdqa %%xmm6, 64(%%rax)\n\t"
            "movdqa %%xmm7, 80(%%rax)\n\t"
            "movdqa %%xmm8, 96(%%rax)\n\t"
            "movdqa %%xmm9, 112(%%rax)\n\t"
            "movdqa %%xmm10, 128(%%rax)\n\t"
            "movdqa %%xmm11, 144(%%rax)\n\t"
            "movdqa %%xmm12, 160(%%rax)\n\t"
            "movdqa %%xmm13, 176(%%rax)\n\t"
            "movdqa %%xmm14, 192(%%rax)\n\t"
            "movdqa %%xmm15, 208(%%rax)\n\t"
            "add $32, %%rsp\n\t"
            "pop %%rbp\n\t"
            "pop %%rsp"
            :
            : [count] "m"(count)
            : "rax", "rbx", "rcx", "rdx", "rsi", "rdi", "r8", "r9", "r10", "r11", "r12", "r13", "r14", "r15",
              "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10",
              "xmm11", "xmm12", "xmm13", "xmm14", "xmm15", "memory", "cc");
        for (int i = 0; i < 28; ++i) {
            EXPECT_EQ(qvTestRegistersOut[i], qvTestRegistersIn[i])
                << "slot " << i << ", " << count << " blocks";
        }
    }
}
#endif

// The hash engine under libFuzzer. Input: the algorithm, the output format
// and read faults, a seed for the sizes of the pieces, then the message. One
// message digested in one call must give what it gives in pieces of every
// size, through the engine's block reader, on the portable path as on the
// processor's instructions, and what OpenSSL, librhash and zlib give where
// they have the algorithm.
#include <openssl/evp.h>
#include <rhash.h>
#ifdef QV_HAVE_ZLIB
#include <zlib.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/HashCalculator.h"
#include "tools/hash/Crc32.h"
#include "tools/hash/GostHash.h"
#include "tools/hash/HashAcceleration.h"
#include "tools/hash/Md2.h"
#include "tools/hash/Md4.h"
#include "tools/hash/Md5.h"
#include "tools/hash/Sha1.h"
#include "tools/hash/Sha2.h"

namespace {

void Check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "HashFuzz: %s\n", what);
    std::abort();
}

struct Algorithm {
    HashAlgorithm algorithm;
    int shaBits;
    unsigned rhashId;
    const EVP_MD* (*openssl)();
};

const Algorithm kAlgorithms[] = {
    {HashAlgorithm::Crc32, 0, RHASH_CRC32, nullptr},
    {HashAlgorithm::GostHash, 0, RHASH_GOST94, nullptr},
    {HashAlgorithm::Md2, 0, 0, nullptr},
    {HashAlgorithm::Md4, 0, RHASH_MD4, nullptr},
    {HashAlgorithm::Md5, 0, RHASH_MD5, &EVP_md5},
    {HashAlgorithm::Sha1, 0, RHASH_SHA1, &EVP_sha1},
    {HashAlgorithm::Sha2, 256, RHASH_SHA256, &EVP_sha256},
    {HashAlgorithm::Sha2, 384, RHASH_SHA384, &EVP_sha384},
    {HashAlgorithm::Sha2, 512, RHASH_SHA512, &EVP_sha512},
};

// The sizes of the pieces a message is handed over in (zero included).
class Pieces {
public:
    explicit Pieces(std::uint8_t seed) : state_(seed * 2654435761u + 1) {}
    std::size_t Next() {
        state_ = state_ * 1103515245u + 12345u;
        const std::uint32_t roll = state_ >> 16;
        // Mostly short pieces around the block sizes, now and then a long one.
        return roll % 8 == 0 ? roll % 5000 : roll % 200;
    }

private:
    std::uint32_t state_;
};

using Digest = std::vector<std::uint8_t>;

// Feeds `message` to `context` in the pieces `pieces` gives (all at once without it).
template <class Context>
void Feed(Context& context, const std::uint8_t* message, std::size_t size, Pieces* pieces) {
    if (!pieces) {
        context.Update(message, size);
        return;
    }
    std::size_t done = 0;
    do {
        const std::size_t piece = std::min(pieces->Next(), size - done);
        context.Update(message + done, piece);
        done += piece;
    } while (done < size);
}

template <class Context>
Digest Simple(const std::uint8_t* message, std::size_t size, Pieces* pieces) {
    Context context;
    context.Init();
    Feed(context, message, size, pieces);
    Digest digest(Context::kDigestSize);
    context.Final(digest.data());
    return digest;
}

Digest DigestOf(const Algorithm& algorithm, const std::uint8_t* message, std::size_t size, Pieces* pieces) {
    switch (algorithm.algorithm) {
        case HashAlgorithm::Crc32: {
            CCrc32Static crc;
            crc.Init();
            Feed(crc, message, size, pieces);
            const std::uint32_t value = crc.Final();
            return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                    static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
        }
        case HashAlgorithm::GostHash:
            return Simple<GostHashContext>(message, size, pieces);
        case HashAlgorithm::Md2:
            return Simple<CMD2>(message, size, pieces);
        case HashAlgorithm::Md4:
            return Simple<Md4Context>(message, size, pieces);
        case HashAlgorithm::Md5:
            return Simple<Md5Context>(message, size, pieces);
        case HashAlgorithm::Sha1:
            return Simple<Sha1Context>(message, size, pieces);
        case HashAlgorithm::Sha2: {
            Sha2Context context;
            Check(context.Begin(algorithm.shaBits), "SHA-2 refused its length");
            Feed(context, message, size, pieces);
            Digest digest(context.digestSize);
            context.Final(digest.data());
            return digest;
        }
    }
    return {};
}

std::wstring Formatted(const Digest& digest, HashOutputFormat format) {
    const bool upper = format == HashOutputFormat::UppercaseNoSpaces || format == HashOutputFormat::Uppercase;
    const bool spaced = format == HashOutputFormat::Lowercase || format == HashOutputFormat::Uppercase;
    std::wstring text;
    for (std::size_t i = 0; i < digest.size(); ++i) {
        if (spaced && i > 0) text += L' ';
        for (int shift : {4, 0}) {
            const int nibble = (digest[i] >> shift) & 15;
            text += static_cast<wchar_t>(nibble < 10 ? L'0' + nibble : (upper ? L'A' : L'a') + nibble - 10);
        }
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size < 3) return 0;
    const Algorithm& algorithm = kAlgorithms[input[0] % std::size(kAlgorithms)];
    const auto format = static_cast<HashOutputFormat>(input[1] & 7);
    const bool knownFormat = (input[1] & 7) >= 1 && (input[1] & 7) <= 4;
    const bool lengthInBytes = (input[1] & 8) != 0;
    const bool unknownLength = (input[1] & 16) != 0;
    const bool failingRead = (input[1] & 32) != 0;
    const bool overlongRead = (input[1] & 64) != 0;
    const std::uint8_t* message = input + 3;
    const std::size_t length = size - 3;

    const Digest digest = DigestOf(algorithm, message, length, nullptr);
    Pieces pieces(input[2]);
    Check(DigestOf(algorithm, message, length, &pieces) == digest, "digested in pieces, the message differs");
    const bool accelerated = SetHashAccelerationEnabled(false);
    const Digest portable = DigestOf(algorithm, message, length, nullptr);
    SetHashAccelerationEnabled(accelerated);
    Check(portable == digest, "the portable path and the processor's instructions differ");

    if (algorithm.rhashId != 0) {
        static const bool ready = (rhash_library_init(), true);
        static_cast<void>(ready);
        Digest reference(digest.size());
        Check(rhash_msg(algorithm.rhashId, message, length, reference.data()) == 0, "librhash failed");
        Check(reference == digest, "librhash gives another digest");
    }
    if (algorithm.openssl) {
        Digest reference(EVP_MAX_MD_SIZE);
        unsigned int referenceSize = 0;
        Check(
            EVP_Digest(message, length, reference.data(), &referenceSize, algorithm.openssl(), nullptr) == 1,
            "OpenSSL failed");
        reference.resize(referenceSize);
        Check(reference == digest, "OpenSSL gives another digest");
    }
#ifdef QV_HAVE_ZLIB
    if (algorithm.algorithm == HashAlgorithm::Crc32) {
        const auto value = static_cast<std::uint32_t>(crc32(0, message, static_cast<uInt>(length)));
        Check(Digest{static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                     static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)} == digest,
              "zlib gives another CRC-32");
    }
#endif

    // The engine's reader: short reads of the pieces' sizes, a last read that
    // fails or hands more than was asked when the input says so.
    int shaBits = algorithm.shaBits;
    if (lengthInBytes) shaBits /= 8;
    if (unknownLength) shaBits += 1;
    const bool shaRefused = algorithm.algorithm == HashAlgorithm::Sha2 && unknownLength;
    std::size_t done = 0;
    Pieces reads(input[2] ^ 0x5A);
    const HashBlockReader read = [&](std::uint8_t* buffer, std::size_t asked) -> long long {
        Check(asked == HashReadBlockSize(algorithm.algorithm), "the engine asks another block size");
        if (done == length) return failingRead ? -1 : overlongRead ? static_cast<long long>(asked) + 1 : 0;
        const std::size_t piece = std::min({std::max<std::size_t>(reads.Next(), 1), asked, length - done});
        std::memcpy(buffer, message + done, piece);
        done += piece;
        return static_cast<long long>(piece);
    };
    const std::wstring text = CalculateHashText(algorithm.algorithm, shaBits, format, read);
    if (!knownFormat || shaRefused || failingRead || overlongRead) {
        Check(text.empty(), "a refused format, length or read gave a digest");
    } else {
        Check(text == Formatted(digest, format), "the engine's text is not the digest in its format");
    }
    if (knownFormat)
        Check(FormatDigest(digest.data(), digest.size(), format) == Formatted(digest, format),
              "a digest is formatted otherwise");
    return 0;
}

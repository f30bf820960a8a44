// Times HashCalculator::Calculate on one file with the high-resolution counter, so the start-up of the
// process (and of Wine) stays out of the figure. Prints "seconds digest" for the named algorithm.
// With --memory instead of a file, hashes 1 GiB handed over by a reader that makes no system call, which
// separates the cost of the digest from the cost of reading the file.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

#include "tools/HashCalculator.h"
#include "tools/hash/HashAcceleration.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fputs("usage: HashBench ALGORITHM FILE|--memory [--portable]\n", stderr);
        return 2;
    }
    const HashAlgorithmName* choice = FindHashAlgorithm(argv[1]);
    if (choice == nullptr) {
        std::fputs("HashBench: unknown algorithm\n", stderr);
        return 2;
    }
    if (argc > 3 && std::wcscmp(argv[3], L"--portable") == 0) SetHashAccelerationEnabled(false);

    LARGE_INTEGER frequency, start, stop;
    QueryPerformanceFrequency(&frequency);
    if (std::wcscmp(argv[2], L"--memory") == 0) {
        // 1 GiB in reads that each hand over the same pseudo-random block, written into the engine's buffer
        // once: the data stays in the cache, as the buffer of `openssl speed` does.
        const unsigned long long total = 1ull << 30;
        unsigned long long handed = 0;
        const uint8_t* filled = nullptr;
        const HashBlockReader read = [&](uint8_t* buffer, size_t size) -> long long {
            if (buffer != filled) {
                uint32_t x = 2463534242u;
                for (size_t i = 0; i < size; ++i) {
                    x ^= x << 13;
                    x ^= x >> 17;
                    x ^= x << 5;
                    buffer[i] = static_cast<uint8_t>(x);
                }
                filled = buffer;
            }
            const size_t n = static_cast<size_t>(std::min<unsigned long long>(size, total - handed));
            handed += n;
            return static_cast<long long>(n);
        };
        QueryPerformanceCounter(&start);
        const std::wstring digest =
            CalculateHashText(choice->algorithm, choice->shaBits, HashOutputFormat::LowercaseNoSpaces, read);
        QueryPerformanceCounter(&stop);
        const double seconds =
            static_cast<double>(stop.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
        std::printf("%.3f %.0f MB/s %ls\n", seconds, static_cast<double>(total) / seconds / 1e6,
                    digest.c_str());
        return 0;
    }

    HashCalculator calculator;
    calculator.algorithm = choice->algorithm;
    calculator.shaBits = choice->shaBits;
    calculator.outputFormat = HashOutputFormat::LowercaseNoSpaces;
    calculator.filePath = argv[2];

    QueryPerformanceCounter(&start);
    const std::wstring digest = calculator.Calculate();
    QueryPerformanceCounter(&stop);
    if (digest.empty()) {
        std::fputs("HashBench: the file cannot be read\n", stderr);
        return 1;
    }
    const double seconds =
        static_cast<double>(stop.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    std::printf("%.3f %ls\n", seconds, digest.c_str());
    return 0;
}

// Times HashCalculator::Calculate on one file with the high-resolution counter, so the start-up of the
// process (and of Wine) stays out of the figure. Prints "seconds digest" for the named algorithm.
// With --memory instead of a file, hashes 256 MiB held in memory through the same block reading (copies
// instead of system calls), which separates the cost of the digest from the cost of reading the file.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

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
        std::vector<uint8_t> data(size_t{256} << 20);
        uint32_t x = 2463534242u;
        for (uint8_t& byte : data) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            byte = static_cast<uint8_t>(x);
        }
        size_t offset = 0;
        const HashBlockReader read = [&](uint8_t* buffer, size_t size) -> long long {
            const size_t n = std::min(size, data.size() - offset);
            std::memcpy(buffer, data.data() + offset, n);
            offset += n;
            return static_cast<long long>(n);
        };
        QueryPerformanceCounter(&start);
        const std::wstring digest =
            CalculateHashText(choice->algorithm, choice->shaBits, HashOutputFormat::LowercaseNoSpaces, read);
        QueryPerformanceCounter(&stop);
        const double seconds =
            static_cast<double>(stop.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
        std::printf("%.3f %.0f MB/s %ls\n", seconds, static_cast<double>(data.size()) / seconds / 1e6,
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

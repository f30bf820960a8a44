// Times HashCalculator::Calculate on one file with the high-resolution counter, so the start-up of the
// process (and of Wine) stays out of the figure. Prints "seconds digest" for the named algorithm.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "tools/HashCalculator.h"
#include "tools/hash/HashAcceleration.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fputs("usage: HashBench ALGORITHM FILE [--portable]\n", stderr);
        return 2;
    }
    const HashAlgorithmName* choice = FindHashAlgorithm(argv[1]);
    if (choice == nullptr) {
        std::fputs("HashBench: unknown algorithm\n", stderr);
        return 2;
    }
    if (argc > 3 && std::wcscmp(argv[3], L"--portable") == 0) SetHashAccelerationEnabled(false);

    HashCalculator calculator;
    calculator.algorithm = choice->algorithm;
    calculator.shaBits = choice->shaBits;
    calculator.outputFormat = HashOutputFormat::LowercaseNoSpaces;
    calculator.filePath = argv[2];

    LARGE_INTEGER frequency, start, stop;
    QueryPerformanceFrequency(&frequency);
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

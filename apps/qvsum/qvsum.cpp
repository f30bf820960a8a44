// qvsum: prints a checksum or message digest of each file named on the command line, one
// "digest  path" line per file, as the coreutils *sum tools do.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "tools/HashCalculator.h"
#include "system/Path.h"

namespace {

// Text for the console or a pipe: UTF-8, so that any path survives.
std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                        nullptr);
    return out;
}

void Print(FILE* stream, const std::wstring& text) {
    const std::string bytes = ToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

void PrintUsage(FILE* stream) {
    Print(stream,
          L"Usage: qvsum [-a ALGORITHM] [-f FORMAT] FILE...\n"
          L"Prints a checksum or message digest of each FILE.\n"
          L"  -a, --algorithm=NAME  crc32, gost, md2, md4, md5, sha1 (default), sha256, sha384, sha512\n"
          L"  -f, --format=N        1 lowercase (default), 2 lowercase with spaces between bytes,\n"
          L"                        3 uppercase, 4 uppercase with spaces between bytes\n"
          L"  -h, --help            show this help\n"
          L"Exit status: 0 when every file was hashed, 1 when a file is missing or cannot be read,\n"
          L"2 for a usage error.\n");
}

int UsageError(const std::wstring& message) {
    Print(stderr, L"qvsum: " + message + L"\n");
    PrintUsage(stderr);
    return 2;
}

// Value of an option given as "-a value", "--algorithm value" or "--algorithm=value".
bool TakeValue(int argc, wchar_t** argv, int& i, const wchar_t* shortName, const wchar_t* longName,
               std::wstring& value) {
    const std::wstring arg = argv[i];
    const std::wstring longPrefix = std::wstring(longName) + L"=";
    if (arg == shortName || arg == longName) {
        if (i + 1 >= argc) return false;
        value = argv[++i];
        return true;
    }
    if (arg.compare(0, longPrefix.size(), longPrefix) == 0) {
        value = arg.substr(longPrefix.size());
        return true;
    }
    return false;
}

int Run(int argc, wchar_t** argv) {
    const HashAlgorithmName* algorithm = FindHashAlgorithm(L"sha1");
    int format = 1;
    int firstFile = argc;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        std::wstring value;
        if (arg == L"-h" || arg == L"--help") {
            PrintUsage(stdout);
            return 0;
        } else if (arg == L"--") {
            firstFile = i + 1;
            break;
        } else if (TakeValue(argc, argv, i, L"-a", L"--algorithm", value)) {
            algorithm = FindHashAlgorithm(value);
            if (algorithm == nullptr) return UsageError(L"unknown algorithm '" + value + L"'");
        } else if (TakeValue(argc, argv, i, L"-f", L"--format", value)) {
            if (value.size() != 1 || value[0] < L'1' || value[0] > L'4') {
                return UsageError(L"format must be 1, 2, 3 or 4, not '" + value + L"'");
            }
            format = value[0] - L'0';
        } else if (arg.size() > 1 && arg[0] == L'-') {
            return UsageError(L"unknown option '" + arg + L"'");
        } else {
            firstFile = i;
            break;
        }
    }
    if (firstFile >= argc) return UsageError(L"no file given");

    int status = 0;
    for (int i = firstFile; i < argc; ++i) {
        const std::wstring path = argv[i];
        const DWORD attributes = GetFileAttributesW(Lumo::FileSystem::LongPathForm(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            Print(stderr, L"qvsum: " + path + L": no such file\n");
            status = 1;
            continue;
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            Print(stderr, L"qvsum: " + path + L": is a folder\n");
            status = 1;
            continue;
        }
        HashCalculator calculator;
        calculator.algorithm = algorithm->algorithm;
        calculator.shaBits = algorithm->shaBits;
        calculator.outputFormat = static_cast<HashOutputFormat>(format);
        calculator.filePath = path;
        const std::wstring digest = calculator.Calculate();
        if (digest.empty()) {
            Print(stderr, L"qvsum: " + path + L": cannot be read\n");
            status = 1;
            continue;
        }
        Print(stdout, digest + L"  " + path + L"\n");
    }
    std::fflush(stdout);
    return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Plain "\n" line ends, as the coreutils tools write them, so scripts can compare outputs directly.
    _setmode(_fileno(stdout), _O_BINARY);
    try {
        return Run(argc, argv);
    } catch (...) {
        std::fputs("qvsum: unexpected failure\n", stderr);
        return 1;
    }
}

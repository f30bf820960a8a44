// qvsum: prints a checksum or message digest of each file named on the command line, one line per file in
// the format the coreutils *sum tools write and read, and checks such lists as `sha256sum -c` does.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "Qvsum.h"
#include "system/Path.h"
#include "tools/ChecksumList.h"

namespace {

using Qvsum::Print;
using Qvsum::PrintError;

void PrintUsage(FILE* stream) {
    Print(stream,
          L"Usage: qvsum [-a ALGORITHM] [-f FORMAT] [-r] FILE...\n"
          L"  or:  qvsum -c [--quiet | --status] [-a ALGORITHM] LIST...\n"
          L"Prints a checksum or message digest of each FILE, or checks the files named in each LIST.\n"
          L"  -a, --algorithm=NAME  crc32, gost, md2, md4, md5, sha1 (default), sha256, sha384, sha512\n"
          L"  -f, --format=N        1 lowercase (default), 2 lowercase with spaces between bytes,\n"
          L"                        3 uppercase, 4 uppercase with spaces between bytes\n"
          L"                        Format 1 writes lists that qvsum -c and the coreutils and SFV tools "
          L"check.\n"
          L"  -r, --recursive       hash every file below a FOLDER, named FOLDER/sub/name\n"
          L"  -c, --check           check the files named in each LIST, as sha256sum -c does; a LIST's name "
          L"and\n"
          L"                        lines tell the algorithm, -a tells it for a LIST read from standard "
          L"input (-)\n"
          L"      --quiet           with -c: print no line for a file that is OK\n"
          L"      --status          with -c: print nothing; the exit status tells\n"
          L"  -h, --help            show this help\n"
          L"Exit status: 0 when every file was hashed (with -c: every listed file is OK), 1 when a file is\n"
          L"missing, cannot be read or (with -c) does not match, 2 for a usage error.\n");
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

// The digest text in one of the display formats, from the lowercase hex the batch gives.
std::wstring DisplayDigest(const std::wstring& hex, HashOutputFormat format) {
    const auto value = [](wchar_t c) { return c <= L'9' ? c - L'0' : c - L'a' + 10; };
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(value(hex[i]) * 16 + value(hex[i + 1]));
    return FormatDigest(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), format);
}

// Hashes every file (every file below a folder with -r) and prints one line for each, in the order named.
int HashFiles(const std::vector<std::wstring>& names, const HashAlgorithmName& algorithm, int format,
              bool recursive) {
    // What is printed, in order: a file's line, or a message for a name that is no file.
    struct Item {
        std::wstring shown;
        std::wstring failure;
    };
    std::vector<Item> items;
    std::vector<Lumo::Tools::ChecksumTask> tasks;
    std::vector<size_t> taskOfItem;
    const auto addFile = [&](std::wstring path, std::wstring shown) {
        taskOfItem.push_back(tasks.size());
        tasks.push_back({std::move(path), &algorithm});
        items.push_back({std::move(shown), {}});
    };
    const auto addFailure = [&](std::wstring shown, std::wstring failure) {
        taskOfItem.push_back(SIZE_MAX);
        items.push_back({std::move(shown), std::move(failure)});
    };
    for (const std::wstring& name : names) {
        const std::wstring path = Qvsum::FullPath(name);
        const DWORD attributes = GetFileAttributesW(Lumo::FileSystem::LongPathForm(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            addFailure(name, L"no such file");
        } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            addFile(path, name);
        } else if (!recursive) {
            addFailure(name, L"is a folder");
        } else {
            for (Qvsum::TreeItem& item : Qvsum::ListTree(path, name)) {
                if (item.error != 0)
                    addFailure(std::move(item.shown), Qvsum::FailureReason(item.error));
                else
                    addFile(std::move(item.path), std::move(item.shown));
            }
        }
    }

    const std::unique_ptr<Lumo::Tools::ChecksumBatch> batch = Qvsum::StartBatch(std::move(tasks));
    int status = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        if (taskOfItem[i] == SIZE_MAX) {
            PrintError(item.shown + L": " + item.failure);
            status = 1;
            continue;
        }
        if (!batch->WaitFor(taskOfItem[i], 0)) {
            std::fflush(stdout);
            batch->WaitFor(taskOfItem[i]);
        }
        const Lumo::Tools::ChecksumTaskResult result = batch->Result(taskOfItem[i]);
        if (result.status != Lumo::Tools::ChecksumStatus::Hashed) {
            const bool missing = result.status == Lumo::Tools::ChecksumStatus::Missing;
            PrintError(item.shown + (missing ? L": no such file" : L": cannot be read"));
            status = 1;
        } else if (format == 1) {
            Qvsum::PrintBytes(stdout, Lumo::Tools::FormatHashLine(result.digest, item.shown));
        } else {
            // The other formats are for reading, not lists: the name as given.
            Print(stdout, DisplayDigest(result.digest, static_cast<HashOutputFormat>(format)) + L"  " +
                              item.shown + L"\n");
        }
    }
    std::fflush(stdout);
    return status;
}

int Run(int argc, wchar_t** argv) {
    const HashAlgorithmName* algorithm = FindHashAlgorithm(L"sha1");
    bool algorithmGiven = false;
    int format = 1;
    bool formatGiven = false;
    bool check = false;
    bool recursive = false;
    Qvsum::Verbosity verbosity = Qvsum::Verbosity::All;
    const wchar_t* verbosityOption = nullptr;
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
            algorithmGiven = true;
        } else if (TakeValue(argc, argv, i, L"-f", L"--format", value)) {
            if (value.size() != 1 || value[0] < L'1' || value[0] > L'4') {
                return UsageError(L"format must be 1, 2, 3 or 4, not '" + value + L"'");
            }
            format = value[0] - L'0';
            formatGiven = true;
        } else if (arg == L"-c" || arg == L"--check") {
            check = true;
        } else if (arg == L"-r" || arg == L"--recursive") {
            recursive = true;
        } else if (arg == L"--quiet" || arg == L"--status") {
            verbosity = arg == L"--quiet" ? Qvsum::Verbosity::FailuresOnly : Qvsum::Verbosity::Nothing;
            verbosityOption = argv[i];
        } else if (arg.size() > 1 && arg[0] == L'-') {
            return UsageError(L"unknown option '" + arg + L"'");
        } else {
            firstFile = i;
            break;
        }
    }
    if (firstFile >= argc) return UsageError(L"no file given");
    if (!check && verbosityOption)
        return UsageError(std::wstring(L"the ") + verbosityOption +
                          L" option is meaningful only when verifying checksums");
    if (check && (recursive || formatGiven))
        return UsageError(std::wstring(L"the ") + (recursive ? L"--recursive" : L"--format") +
                          L" option is meaningless when verifying checksums");

    const std::vector<std::wstring> names(argv + firstFile, argv + argc);
    if (check) return Qvsum::CheckLists(names, algorithmGiven ? algorithm : nullptr, verbosity);
    return HashFiles(names, *algorithm, format, recursive);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Plain "\n" line ends, as the coreutils tools write them, so scripts can compare outputs directly.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    try {
        return Run(argc, argv);
    } catch (...) {
        std::fputs("qvsum: unexpected failure\n", stderr);
        return 1;
    }
}

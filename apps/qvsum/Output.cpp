// Writing to the console as the coreutils tools do, and starting the batch that hashes the files.
#include <cwchar>

#include "Qvsum.h"
#include "tools/ChecksumList.h"

namespace Qvsum {
namespace {

bool IsControl(wchar_t c) { return c < 0x20 || c == 0x7f; }

// Characters a shell would take for something else, inside double quotes too.
bool IsShellSpecial(wchar_t c) { return c != 0 && std::wcschr(L"!\"$&()*;<=>?[\\^`|", c) != nullptr; }

std::wstring ControlEscape(wchar_t c) {
    static constexpr wchar_t kLetters[] = L"abtnvfr";  // 7 to 13
    if (c >= 7 && c <= 13) return {L'\\', kLetters[c - 7]};
    wchar_t octal[8];
    std::swprintf(octal, 8, L"\\%03o", static_cast<unsigned>(c));
    return octal;
}

}  // namespace

void PrintBytes(FILE* stream, const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

void Print(FILE* stream, const std::wstring& text) { PrintBytes(stream, Lumo::Tools::ToUtf8(text)); }

void PrintError(const std::wstring& message) {
    std::fflush(stdout);
    Print(stderr, L"qvsum: " + message + L"\n");
}

std::wstring QuotedName(const std::wstring& name) {
    if (name.empty()) return L"''";
    bool quote = false;
    bool singleQuote = false;
    bool doubleQuotesFit = true;  // nothing that double quotes would change or that a shell expands there
    for (size_t i = 0; i < name.size(); ++i) {
        const wchar_t c = name[i];
        if (IsControl(c) || IsShellSpecial(c)) {
            quote = true;
            doubleQuotesFit = false;
        } else if (c == L'\'') {
            quote = singleQuote = true;
        } else if (c == L' ' || c == L':') {  // ':' would run into the message's own separator
            quote = true;
        } else if (c == L'#' || c == L'~') {  // special only where a word starts
            if (i == 0)
                quote = true;
            else
                doubleQuotesFit = false;
        } else if (c == L'{' || c == L'}') {  // special only as a word of its own
            if (name.size() == 1)
                quote = true;
            else
                doubleQuotesFit = false;
        }
    }
    if (!quote) return name;
    if (singleQuote && doubleQuotesFit) return L"\"" + name + L"\"";
    std::wstring out = L"'";
    bool inEscape = false;  // within a $'...' piece
    for (wchar_t c : name) {
        if (IsControl(c)) {
            if (!inEscape) out += L"'$'";
            inEscape = true;
            out += ControlEscape(c);
            continue;
        }
        if (inEscape) out += L"''";
        inEscape = false;
        if (c == L'\'')
            out += L"'\\''";
        else
            out += c;
    }
    out += L"'";
    return out;
}

std::wstring FailureReason(unsigned long error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:  // a name no file here can have, such as one with a line break
            return L"No such file or directory";
    }
    wchar_t buffer[512];
    DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                    error, 0, buffer, 512, nullptr);
    while (length > 0 && buffer[length - 1] != 0 && std::wcschr(L"\r\n .", buffer[length - 1])) --length;
    if (length == 0) return L"error " + std::to_wstring(error);
    return std::wstring(buffer, length);
}

std::wstring FullPath(const std::wstring& name) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetFullPathNameW(name.c_str(), static_cast<DWORD>(path.size()), path.data(), nullptr);
        if (length == 0) return name;  // the system cannot tell; opening the name will say what is wrong
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length);  // the answer counts the terminating null when the buffer is too small
    }
}

std::unique_ptr<Lumo::Tools::ChecksumBatch> StartBatch(std::vector<Lumo::Tools::ChecksumTask> tasks) {
    if (tasks.empty()) return nullptr;
    unsigned processors = ::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    if (processors == 0) {
        SYSTEM_INFO system{};
        ::GetSystemInfo(&system);
        processors = system.dwNumberOfProcessors;
    }
    const unsigned workers = Lumo::Tools::ParallelReaders(Lumo::Tools::SeekPenaltyOfPath(tasks.front().path),
                                                          processors, tasks.size());
    return std::make_unique<Lumo::Tools::ChecksumBatch>(std::move(tasks), workers);
}

}  // namespace Qvsum

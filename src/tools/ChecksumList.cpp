// Checksum list files: the line formats of the coreutils tools, of the BSD tag style and of SFV, read with
// the escapes the coreutils tools use for awkward names, and written so that those tools read them back.
#include "tools/ChecksumList.h"

#include <windows.h>

#include <climits>

#include "system/Path.h"
#include "win/Handle.h"

namespace Lumo::Tools {
namespace {

bool IsHexDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Digests, tags and extensions are ASCII, so ASCII case rules are all they need.
wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

std::wstring Lowercase(std::wstring text) {
    for (wchar_t& c : text) c = AsciiLower(c);
    return text;
}

bool EqualsIgnoringCase(const std::wstring& a, const wchar_t* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return i == a.size() && !b[i];
}

// How many hex digits a digest of the algorithm has.
size_t HexDigits(const HashAlgorithmName& algorithm) {
    switch (algorithm.algorithm) {
        case HashAlgorithm::Crc32:
            return 8;
        case HashAlgorithm::Md2:
        case HashAlgorithm::Md4:
        case HashAlgorithm::Md5:
            return 32;
        case HashAlgorithm::Sha1:
            return 40;
        case HashAlgorithm::GostHash:
            return 64;
        case HashAlgorithm::Sha2:
            return static_cast<size_t>(algorithm.shaBits) / 4;
    }
    return 0;
}

// The algorithm that wrote a hex digest of `length` digits: the list's hint when it fits, else the most
// common one of that length.
const HashAlgorithmName* AlgorithmOfDigestLength(size_t length, const HashAlgorithmName* hint) {
    if (hint && HexDigits(*hint) == length) return hint;
    for (const wchar_t* name : {L"crc32", L"md5", L"sha1", L"sha256", L"sha384", L"sha512"}) {
        const HashAlgorithmName* algorithm = FindHashAlgorithm(name);
        if (HexDigits(*algorithm) == length) return algorithm;
    }
    return nullptr;
}

// The tag of a BSD line: the coreutils tools write "MD5", "SHA1", "SHA256", ...; rhash writes "GOST94",
// "CRC32" and also "GOST".
const HashAlgorithmName* AlgorithmOfTag(const std::wstring& tag) {
    static constexpr const wchar_t* kTags[][2] = {
        {L"MD2", L"md2"},       {L"MD4", L"md4"},       {L"MD5", L"md5"},        {L"SHA1", L"sha1"},
        {L"SHA256", L"sha256"}, {L"SHA384", L"sha384"}, {L"SHA512", L"sha512"},  {L"CRC32", L"crc32"},
        {L"GOST", L"gost"},     {L"GOST94", L"gost"},   {L"SHA-256", L"sha256"}, {L"SHA-1", L"sha1"},
    };
    for (const auto& entry : kTags)
        if (EqualsIgnoringCase(tag, entry[0])) return FindHashAlgorithm(entry[1]);
    return nullptr;
}

// Undoes the escapes of a line that starts with the escape marker; false for an escape the tools never
// write, which makes the line malformed rather than naming some other file.
bool Unescape(const std::wstring& text, std::wstring& name) {
    name.clear();
    name.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\\') {
            name += text[i];
            continue;
        }
        if (++i == text.size()) return false;
        switch (text[i]) {
            case L'\\':
                name += L'\\';
                break;
            case L'n':
                name += L'\n';
                break;
            case L'r':
                name += L'\r';
                break;
            default:
                return false;
        }
    }
    return true;
}

bool DigestFits(const std::wstring& digest, const HashAlgorithmName* algorithm) {
    if (!algorithm || digest.empty()) return false;
    for (wchar_t c : digest)
        if (!IsHexDigit(c)) return false;
    return HexDigits(*algorithm) == digest.size();
}

// "ALG (name) = digest"
bool ParseBsdLine(const std::wstring& line, bool escaped, const HashAlgorithmName*, ChecksumEntry& entry) {
    const size_t open = line.find(L" (");
    const size_t close = line.rfind(L") = ");
    if (open == std::wstring::npos || close == std::wstring::npos || close < open + 2) return false;
    const HashAlgorithmName* algorithm = AlgorithmOfTag(line.substr(0, open));
    std::wstring digest = line.substr(close + 4);
    if (!DigestFits(digest, algorithm)) return false;
    std::wstring name = line.substr(open + 2, close - open - 2);
    if (escaped && !Unescape(std::wstring(name), name)) return false;
    if (name.empty()) return false;
    entry.name = std::move(name);
    entry.algorithm = algorithm;
    entry.digest = Lowercase(std::move(digest));
    return true;
}

// "digest  name" or "digest *name"
bool ParseGnuLine(const std::wstring& line, bool escaped, const HashAlgorithmName* hint,
                  ChecksumEntry& entry) {
    size_t length = 0;
    while (length < line.size() && IsHexDigit(line[length])) ++length;
    if (length == 0 || length + 2 >= line.size()) return false;
    if (line[length] != L' ' || (line[length + 1] != L' ' && line[length + 1] != L'*')) return false;
    const HashAlgorithmName* algorithm = AlgorithmOfDigestLength(length, hint);
    if (!algorithm) return false;
    std::wstring name = line.substr(length + 2);
    if (escaped && !Unescape(std::wstring(name), name)) return false;
    if (name.empty()) return false;
    entry.name = std::move(name);
    entry.algorithm = algorithm;
    entry.digest = Lowercase(line.substr(0, length));
    return true;
}

// "name CRC32": the last word is eight hex digits, the name is everything before the blanks ahead of it.
bool ParseSfvLine(const std::wstring& line, ChecksumEntry& entry) {
    if (line.size() < 10) return false;
    const std::wstring digest = line.substr(line.size() - 8);
    for (wchar_t c : digest)
        if (!IsHexDigit(c)) return false;
    size_t end = line.size() - 8;
    if (!IsBlank(line[end - 1])) return false;
    while (end > 0 && IsBlank(line[end - 1])) --end;
    if (end == 0) return false;
    entry.name = line.substr(0, end);
    entry.algorithm = FindHashAlgorithm(L"crc32");
    entry.digest = Lowercase(digest);
    return true;
}

enum class LineKind { Skipped, Entry, Malformed };

LineKind ParseLine(std::wstring line, const HashAlgorithmName* hint, ChecksumEntry& entry) {
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) ++start;
    if (start == line.size() || line[start] == L';') return LineKind::Skipped;
    line.erase(0, start);
    // In an SFV list its own format comes first: a name may look like the start of a hash line.
    const bool sfvList = hint != nullptr && hint->algorithm == HashAlgorithm::Crc32;
    if (sfvList && ParseSfvLine(line, entry)) return LineKind::Entry;
    const bool escaped = line[0] == L'\\';
    const std::wstring body = escaped ? line.substr(1) : line;
    if (ParseGnuLine(body, escaped, hint, entry) || ParseBsdLine(body, escaped, hint, entry))
        return LineKind::Entry;
    // A list of another algorithm never holds SFV lines.
    if (hint == nullptr && ParseSfvLine(line, entry)) return LineKind::Entry;
    // Checked last, because an SFV name may start with '#'.
    return line[0] == L'#' ? LineKind::Skipped : LineKind::Malformed;
}

}  // namespace

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                          nullptr);
    return out;
}

const HashAlgorithmName* AlgorithmOfChecksumFileName(const std::wstring& fileName) {
    static constexpr const wchar_t* kExtensions[][2] = {
        {L".md5", L"md5"},       {L".sha1", L"sha1"},   {L".sha256", L"sha256"}, {L".sha384", L"sha384"},
        {L".sha512", L"sha512"}, {L".sfv", L"crc32"},   {L".md4", L"md4"},       {L".md2", L"md2"},
        {L".gost", L"gost"},     {L".gost94", L"gost"}, {L".crc32", L"crc32"},
    };
    // The names the Linux distributions give their lists.
    static constexpr const wchar_t* kNames[][2] = {
        {L"MD5SUMS", L"md5"},       {L"SHA1SUMS", L"sha1"},     {L"SHA256SUMS", L"sha256"},
        {L"SHA384SUMS", L"sha384"}, {L"SHA512SUMS", L"sha512"},
    };
    const size_t separator = fileName.find_last_of(L"\\/");
    const std::wstring name = separator == std::wstring::npos ? fileName : fileName.substr(separator + 1);
    for (const auto& entry : kNames)
        if (EqualsIgnoringCase(name, entry[0])) return FindHashAlgorithm(entry[1]);
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos) return nullptr;
    const std::wstring extension = name.substr(dot);
    for (const auto& entry : kExtensions)
        if (EqualsIgnoringCase(extension, entry[0])) return FindHashAlgorithm(entry[1]);
    return nullptr;
}

std::wstring DecodeChecksumText(const std::string& bytes) {
    const auto decode = [](UINT codePage, DWORD flags, const char* data, size_t size, std::wstring& text) {
        text.clear();
        if (size == 0) return true;
        if (size > static_cast<size_t>(INT_MAX)) return false;
        const int length = ::MultiByteToWideChar(codePage, flags, data, static_cast<int>(size), nullptr, 0);
        if (length <= 0) return false;
        text.resize(static_cast<size_t>(length));
        return ::MultiByteToWideChar(codePage, flags, data, static_cast<int>(size), text.data(), length) ==
               length;
    };
    std::wstring text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        // UTF-16 with its mark, as PowerShell's redirection writes it.
        const size_t units = (bytes.size() - 2) / 2;
        text.resize(units);
        for (size_t i = 0; i < units; ++i)
            text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                           (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
        return text;
    }
    const bool mark = bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    const char* data = bytes.data() + (mark ? 3 : 0);
    const size_t size = bytes.size() - (mark ? 3 : 0);
    if (decode(CP_UTF8, MB_ERR_INVALID_CHARS, data, size, text)) return text;
    if (mark) {
        decode(CP_UTF8, 0, data, size, text);  // marked as UTF-8: broken bytes become U+FFFD
        return text;
    }
    decode(CP_ACP, 0, data, size, text);
    return text;
}

ChecksumList ParseChecksumList(const std::wstring& text, const HashAlgorithmName* hint) {
    ChecksumList list;
    size_t start = 0;
    size_t number = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        ++number;
        ChecksumEntry entry;
        switch (ParseLine(text.substr(start, end - start), hint, entry)) {
            case LineKind::Entry:
                entry.line = number;
                list.entries.push_back(std::move(entry));
                break;
            case LineKind::Malformed:
                list.malformedLines.push_back(number);
                break;
            case LineKind::Skipped:
                break;
        }
        start = end + 1;
    }
    return list;
}

bool LooksLikeChecksumList(const std::wstring& text) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        ChecksumEntry entry;
        const LineKind kind = ParseLine(text.substr(start, end - start), nullptr, entry);
        if (kind != LineKind::Skipped) return kind == LineKind::Entry;
        start = end + 1;
    }
    return false;
}

namespace {

// Others may keep the list open, even for writing, while it is read.
Lumo::Win::UniqueFile OpenList(const std::wstring& path) {
    return Lumo::Win::UniqueFile(::CreateFileW(Lumo::FileSystem::LongPathForm(path).c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

}  // namespace

bool FileLooksLikeChecksumList(const std::wstring& path) {
    Lumo::Win::UniqueFile file = OpenList(path);
    if (!file) return false;
    std::string bytes(64 * 1024, '\0');
    DWORD got = 0;
    if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) return false;
    bytes.resize(got);
    return LooksLikeChecksumList(DecodeChecksumText(bytes));
}

bool ReadChecksumFile(const std::wstring& path, ChecksumList& list, unsigned long& error) {
    error = 0;
    Lumo::Win::UniqueFile file = OpenList(path);
    if (!file) {
        error = ::GetLastError();
        return false;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) {
        error = ::GetLastError();
        return false;
    }
    if (static_cast<unsigned long long>(size.QuadPart) > kMaxChecksumListBytes) {
        error = ERROR_FILE_TOO_LARGE;
        return false;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr)) {
            error = ::GetLastError();
            return false;
        }
        if (got == 0) break;
        if (bytes.size() + got > kMaxChecksumListBytes) {  // grew while being read
            error = ERROR_FILE_TOO_LARGE;
            return false;
        }
        bytes.append(buffer, got);
    }
    list = ParseChecksumList(DecodeChecksumText(bytes), AlgorithmOfChecksumFileName(path));
    return true;
}

std::wstring ResolveListedName(const std::wstring& listFolder, const std::wstring& name) {
    std::wstring path = name;
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    const bool absolute = (path.size() >= 2 && path[1] == L':') || (!path.empty() && path[0] == L'\\');
    if (absolute || listFolder.empty()) return path;
    std::wstring folder = listFolder;
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder + path;
}

std::wstring EscapeChecksumName(const std::wstring& name, bool& escaped) {
    escaped = name.find(L'\n') != std::wstring::npos;
    if (!escaped) return name;
    std::wstring out;
    out.reserve(name.size() + 8);
    for (wchar_t c : name) {
        if (c == L'\\')
            out += L"\\\\";
        else if (c == L'\n')
            out += L"\\n";
        else
            out += c;
    }
    return out;
}

std::string FormatHashLine(const std::wstring& digest, const std::wstring& name) {
    bool escaped = false;
    const std::wstring shown = EscapeChecksumName(name, escaped);
    return ToUtf8((escaped ? L"\\" : L"") + Lowercase(digest) + L"  " + shown) + "\n";
}

std::string FormatChecksumLine(const HashAlgorithmName& algorithm, const std::wstring& digest,
                               const std::wstring& name) {
    if (algorithm.algorithm != HashAlgorithm::Crc32) return FormatHashLine(digest, name);
    std::wstring upper = digest;
    for (wchar_t& c : upper) c = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    return ToUtf8(name + L" " + upper) + "\n";
}

std::wstring ChecksumFileExtension(const HashAlgorithmName& algorithm) {
    if (algorithm.algorithm == HashAlgorithm::Crc32) return L".sfv";
    return std::wstring(L".") + algorithm.name;
}

}  // namespace Lumo::Tools

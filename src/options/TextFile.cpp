// Byte-order-mark detection and line joining for the history text.
#include "options/TextFile.h"

#include <windows.h>

#include "win/Handle.h"
#include "system/Path.h"

namespace Lumo::Options {
namespace {

std::wstring FromCodePage(UINT codePage, const char* bytes, size_t size) {
    if (size == 0) return {};
    const int length = ::MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(size), nullptr, 0);
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length), L'\0');
    const int written =
        ::MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(size), text.data(), length);
    text.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return text;
}

std::wstring FromUtf16(const std::string& bytes, size_t start, bool bigEndian) {
    std::wstring text;
    text.reserve((bytes.size() - start) / 2);
    // An odd last byte is half a character: it is dropped.
    for (size_t i = start; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        text.push_back(static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
    }
    return text;
}

bool StartsWith(const std::string& bytes, const char* mark, size_t length) {
    return bytes.size() >= length && bytes.compare(0, length, mark, length) == 0;
}

}  // namespace

std::wstring DecodeText(const std::string& bytes, const std::wstring& separator) {
    std::wstring text;
    if (StartsWith(bytes, "\xFF\xFE", 2))
        text = FromUtf16(bytes, 2, false);
    else if (StartsWith(bytes, "\xFE\xFF", 2))
        text = FromUtf16(bytes, 2, true);
    else if (StartsWith(bytes, "\xEF\xBB\xBF", 3))
        text = FromCodePage(CP_UTF8, bytes.data() + 3, bytes.size() - 3);
    else
        text = FromCodePage(CP_ACP, bytes.data(), bytes.size());

    std::wstring joined;
    joined.reserve(text.size() + text.size() / 16);
    size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        const size_t next = end == std::wstring::npos ? text.size() : end + 1;
        if (end == std::wstring::npos) end = text.size();
        size_t lineEnd = end;
        if (lineEnd > start && text[lineEnd - 1] == L'\r') --lineEnd;
        if (!first) joined += separator;
        joined.append(text, start, lineEnd - start);
        first = false;
        start = next;
    }
    return joined;
}

std::optional<std::wstring> ReadTextFile(const std::wstring& path, const std::wstring& separator) {
    Lumo::Win::UniqueFile file(::CreateFileW(Lumo::FileSystem::LongPathForm(path).c_str(), GENERIC_READ,
                                             FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                             nullptr));
    if (!file) return std::nullopt;
    LARGE_INTEGER size{};
    // The history is a few kilobytes; anything beyond a few megabytes is not one.
    constexpr LONGLONG kLargest = 16ll << 20;
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kLargest) return std::nullopt;
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!::ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &read,
                        nullptr))
            return std::nullopt;
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return DecodeText(bytes, separator);
}

}  // namespace Lumo::Options

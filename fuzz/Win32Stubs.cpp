// What the portable sources call of Windows and of a 16-bit C library, for
// the native fuzz build. Each stub models the documented contract of its call
// (buffer sizes, lengths, return values, last error) for the arguments these
// sources pass, and stops the program when called in a way it does not model,
// so that no answer is ever made up. The character tables are deliberately
// small (ASCII and Latin-1 case mapping, UTF-8 and Windows-1252 decoding):
// the callers' handling of lengths and buffers is what the fuzzing checks.
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "win/DiagnosticLog.h"

// The wide-character functions of char_traits<wchar_t>, for 16-bit wchar_t:
// the C library's own take 32-bit units. The build checks that the programs
// use no other wide function of the C library.
extern "C" {
std::size_t Utf16Length(const wchar_t* text) noexcept __asm__("wcslen");
int Utf16Compare(const wchar_t* a, const wchar_t* b, std::size_t count) noexcept __asm__("wmemcmp");
const wchar_t* Utf16Find(const wchar_t* text, wchar_t unit, std::size_t count) noexcept __asm__("wmemchr");
wchar_t* Utf16Copy(wchar_t* to, const wchar_t* from, std::size_t count) noexcept __asm__("wmemcpy");
wchar_t* Utf16Move(wchar_t* to, const wchar_t* from, std::size_t count) noexcept __asm__("wmemmove");
wchar_t* Utf16Fill(wchar_t* to, wchar_t unit, std::size_t count) noexcept __asm__("wmemset");
// std::to_wstring formats through vswprintf, in code the fuzzed paths never
// reach (failure texts): it stops the program rather than write 32-bit units.
int Utf16Format(wchar_t* text, std::size_t capacity, const wchar_t* format, std::va_list arguments) noexcept
    __asm__("vswprintf");
}

std::size_t Utf16Length(const wchar_t* text) noexcept {
    std::size_t length = 0;
    while (text[length] != 0) ++length;
    return length;
}

int Utf16Compare(const wchar_t* a, const wchar_t* b, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    return 0;
}

const wchar_t* Utf16Find(const wchar_t* text, wchar_t unit, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        if (text[i] == unit) return text + i;
    }
    return nullptr;
}

wchar_t* Utf16Copy(wchar_t* to, const wchar_t* from, std::size_t count) noexcept {
    if (count != 0) std::memcpy(to, from, count * sizeof(wchar_t));
    return to;
}

wchar_t* Utf16Move(wchar_t* to, const wchar_t* from, std::size_t count) noexcept {
    if (count != 0) std::memmove(to, from, count * sizeof(wchar_t));
    return to;
}

wchar_t* Utf16Fill(wchar_t* to, wchar_t unit, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) to[i] = unit;
    return to;
}

int Utf16Format(wchar_t*, std::size_t, const wchar_t*, std::va_list) noexcept {
    std::fprintf(stderr, "vswprintf is not modeled in the native build\n");
    std::abort();
}

namespace {

[[noreturn]] void Unmodeled(const char* call, const char* how) {
    std::fprintf(stderr, "Win32 stub: %s called %s, which the native build does not model\n", call, how);
    std::abort();
}

thread_local DWORD lastError = ERROR_SUCCESS;

// Hands `text` out the way the path functions of Windows do: the length
// without the terminator when it fits into `capacity` code units with one,
// else the capacity needed, terminator included, and nothing written.
DWORD Deliver(std::wstring_view text, wchar_t* buffer, std::size_t capacity) {
    if (capacity > text.size()) {
        std::copy(text.begin(), text.end(), buffer);
        buffer[text.size()] = 0;
        return static_cast<DWORD>(text.size());
    }
    return static_cast<DWORD>(text.size() + 1);
}

wchar_t Upper(wchar_t c) {
    if ((c >= L'a' && c <= L'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return static_cast<wchar_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    return c;
}

wchar_t Lower(wchar_t c) {
    if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<wchar_t>(c + 0x20);
    if (c == 0x178) return 0xFF;
    return c;
}

// UTF-8 as Windows decodes it without MB_ERR_INVALID_CHARS: every byte that
// does not start a well-formed sequence becomes U+FFFD.
std::wstring FromUtf8(std::string_view bytes, bool* replaced = nullptr) {
    std::wstring text;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const int length = lead < 0x80                    ? 1
                           : lead >= 0xC2 && lead <= 0xDF ? 2
                           : lead >= 0xE0 && lead <= 0xEF ? 3
                           : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                          : 0;
        char32_t code = length == 1   ? lead
                        : length == 2 ? lead & 0x1F
                        : length == 3 ? lead & 0x0F
                                      : lead & 0x07;
        bool good = length != 0 && i + length <= bytes.size();
        for (int k = 1; good && k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            good = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        if (good && ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
                     (code >= 0xD800 && code <= 0xDFFF))) {
            good = false;
        }
        if (!good) {
            if (replaced) *replaced = true;
            text.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            text.push_back(static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10)));
            text.push_back(static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            text.push_back(static_cast<wchar_t>(code));
        }
        i += static_cast<std::size_t>(length);
    }
    return text;
}

// Windows-1252, the ANSI code page of the test machines.
std::wstring FromWindows1252(std::string_view bytes) {
    static const wchar_t kHigh[32] = {0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021,
                                      0x2C6,  0x2030, 0x160,  0x2039, 0x152,  0x8D,   0x17D,  0x8F,
                                      0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};
    std::wstring text;
    for (char byte : bytes) {
        const auto unit = static_cast<unsigned char>(byte);
        text.push_back(unit >= 0x80 && unit < 0xA0 ? kHigh[unit - 0x80] : static_cast<wchar_t>(unit));
    }
    return text;
}

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

}  // namespace

extern "C" {

DWORD WINAPI GetLastError() { return lastError; }
void WINAPI SetLastError(DWORD code) { lastError = code; }

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR bytes, int size, LPWSTR wide,
                               int capacity) {
    if (flags != 0 && !(flags == MB_ERR_INVALID_CHARS && codePage == CP_UTF8))
        Unmodeled("MultiByteToWideChar", "with flags");
    if (codePage != CP_UTF8 && codePage != CP_ACP && codePage != CP_THREAD_ACP) {
        Unmodeled("MultiByteToWideChar", "for a code page other than UTF-8 and the ANSI one");
    }
    if (!bytes || size == 0 || size < -1 || capacity < 0 || (capacity > 0 && !wide)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string_view input(bytes, size == -1 ? std::strlen(bytes) + 1 : static_cast<std::size_t>(size));
    bool replaced = false;
    const std::wstring text = codePage == CP_UTF8 ? FromUtf8(input, &replaced) : FromWindows1252(input);
    if (replaced && flags == MB_ERR_INVALID_CHARS) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (capacity == 0) return static_cast<int>(text.size());
    if (text.size() > static_cast<std::size_t>(capacity)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::copy(text.begin(), text.end(), wide);
    return static_cast<int>(text.size());
}

// UTF-8 only, as Windows encodes it: a lone surrogate becomes U+FFFD.
int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int size, LPSTR bytes, int capacity,
                               LPCSTR defaultChar, LPBOOL usedDefault) {
    if (codePage != CP_UTF8 || flags != 0 || defaultChar || usedDefault)
        Unmodeled("WideCharToMultiByte", "for anything but plain UTF-8");
    if (!wide || size == 0 || size < -1 || capacity < 0 || (capacity > 0 && !bytes)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t length = size == -1 ? Utf16Length(wide) + 1 : static_cast<std::size_t>(size);
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        char32_t code = static_cast<char16_t>(wide[i]);
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < length && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<char16_t>(wide[++i]) - 0xDC00);
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            text.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            text.push_back(static_cast<char>(0xC0 | (code >> 6)));
            text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            text.push_back(static_cast<char>(0xE0 | (code >> 12)));
            text.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            text.push_back(static_cast<char>(0xF0 | (code >> 18)));
            text.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            text.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    if (capacity == 0) return static_cast<int>(text.size());
    if (text.size() > static_cast<std::size_t>(capacity)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::copy(text.begin(), text.end(), bytes);
    return static_cast<int>(text.size());
}

DWORD WINAPI CharUpperBuffW(LPWSTR text, DWORD length) {
    for (DWORD i = 0; i < length; ++i) text[i] = Upper(text[i]);
    return length;
}

int WINAPI LCMapStringW(DWORD locale, DWORD flags, LPCWSTR source, int size, LPWSTR target, int capacity) {
    if (locale != LOCALE_USER_DEFAULT || (flags != LCMAP_LOWERCASE && flags != LCMAP_UPPERCASE)) {
        Unmodeled("LCMapStringW", "for anything but the user's case mapping");
    }
    if (!source || size == 0 || size < -1 || capacity < 0 || (capacity > 0 && !target)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t length = size == -1 ? Utf16Length(source) + 1 : static_cast<std::size_t>(size);
    if (capacity == 0) return static_cast<int>(length);
    if (length > static_cast<std::size_t>(capacity)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (std::size_t i = 0; i < length; ++i)
        target[i] = flags == LCMAP_UPPERCASE ? Upper(source[i]) : Lower(source[i]);
    return static_cast<int>(length);
}

// The current directory is C:\Work; every other drive's is its root. Slashes
// become backslashes, repeated separators one, "." and ".." go (never above
// the root: the drive, \\server\share or \\.\device), and so do trailing
// dots and spaces of the last component. A \\?\ path is taken as it is.
DWORD WINAPI GetFullPathNameW(LPCWSTR path, DWORD capacity, LPWSTR buffer, LPWSTR* filePart) {
    if (capacity > 0 && !buffer) Unmodeled("GetFullPathNameW", "without a buffer");
    if (!path || !*path) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    std::wstring text(path);
    std::wstring full;
    if (text.compare(0, 4, L"\\\\?\\") == 0) {
        full = text;
    } else {
        std::replace(text.begin(), text.end(), L'/', L'\\');
        std::wstring rest;
        if (text.compare(0, 2, L"\\\\") == 0) {
            // The first two components name the share or the device.
            std::size_t end = text.find(L'\\', 2);
            if (end != std::wstring::npos) end = text.find(L'\\', end + 1);
            if (end == std::wstring::npos) end = text.size();
            full = text.substr(0, end);
            rest = text.substr(end);
        } else if (text.size() >= 2 && IsDriveLetter(text[0]) && text[1] == L':') {
            full = text.substr(0, 2);
            rest = text.substr(2);
            if ((text[0] == L'C' || text[0] == L'c') && (rest.empty() || rest[0] != L'\\'))
                rest = L"Work\\" + rest;
        } else {
            full = L"C:";
            rest = text[0] == L'\\' ? text : L"Work\\" + text;
        }
        const bool endsInSeparator = !rest.empty() && rest.back() == L'\\';
        std::vector<std::wstring> parts;
        for (std::size_t start = 0; start < rest.size();) {
            std::size_t end = rest.find(L'\\', start);
            if (end == std::wstring::npos) end = rest.size();
            std::wstring part = rest.substr(start, end - start);
            start = end + 1;
            if (part == L"..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!part.empty() && part != L".") {
                parts.push_back(std::move(part));
            }
        }
        if (!endsInSeparator && !parts.empty()) {
            std::wstring& last = parts.back();
            while (!last.empty() && (last.back() == L'.' || last.back() == L' ')) last.pop_back();
            if (last.empty()) parts.pop_back();
        }
        // A drive's root keeps its backslash.
        if (full.size() == 2 || !parts.empty() || endsInSeparator) full += L'\\';
        for (std::size_t i = 0; i < parts.size(); ++i) {
            full += parts[i];
            if (i + 1 < parts.size() || endsInSeparator) full += L'\\';
        }
    }
    if (full.size() >= 32767) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    const DWORD result = Deliver(full, buffer, capacity);
    if (filePart && result < capacity) {
        const std::size_t slash = full.rfind(L'\\');
        *filePart = slash == std::wstring::npos || slash + 1 == full.size() ? nullptr : buffer + slash + 1;
    }
    return result;
}

// No file exists in the fuzzed world, so no file has a short name.
DWORD WINAPI GetShortPathNameW(LPCWSTR path, LPWSTR buffer, DWORD capacity) {
    if (!path || (capacity > 0 && !buffer)) Unmodeled("GetShortPathNameW", "without a path or a buffer");
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
}

// No COM class is registered in the fuzzed world.
HRESULT WINAPI CoCreateInstance(REFCLSID, IUnknown*, DWORD, REFIID, void** object) {
    if (!object) Unmodeled("CoCreateInstance", "without a place for the object");
    *object = nullptr;
    return REGDB_E_CLASSNOTREG;
}

// The parts are handed out as pointers into `url` (the lengths asked for are
// non-zero, the buffers null), as the callers ask for them.
BOOL WINAPI InternetCrackUrlW(LPCWSTR url, DWORD length, DWORD flags, URL_COMPONENTSW* parts) {
    if (flags != 0 || !parts || parts->dwStructSize != sizeof *parts || !url) {
        Unmodeled("InternetCrackUrlW", "with flags or without its arguments");
    }
    if (parts->lpszScheme || parts->lpszHostName || parts->lpszUserName || parts->lpszPassword ||
        parts->lpszUrlPath || parts->lpszExtraInfo) {
        Unmodeled("InternetCrackUrlW", "with buffers to copy the parts into");
    }
    const std::wstring_view whole(url, length == 0 ? Utf16Length(url) : length);
    const std::size_t colon = whole.find(L':');
    const auto isSchemeUnit = [](wchar_t c) {
        return IsDriveLetter(c) || (c >= L'0' && c <= L'9') || c == L'+' || c == L'-' || c == L'.';
    };
    if (colon == 0 || colon == std::wstring_view::npos ||
        !std::all_of(whole.begin(), whole.begin() + colon, isSchemeUnit)) {
        SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
        return FALSE;
    }
    std::wstring scheme(whole.substr(0, colon));
    for (wchar_t& c : scheme) c = Lower(c);
    struct Known {
        const wchar_t* name;
        INTERNET_SCHEME scheme;
        WORD port;
    };
    static const Known kKnown[] = {
        {L"http", INTERNET_SCHEME_HTTP, 80},    {L"https", INTERNET_SCHEME_HTTPS, 443},
        {L"ftp", INTERNET_SCHEME_FTP, 21},      {L"file", INTERNET_SCHEME_FILE, 0},
        {L"news", INTERNET_SCHEME_NEWS, 0},     {L"mailto", INTERNET_SCHEME_MAILTO, 0},
        {L"gopher", INTERNET_SCHEME_GOPHER, 70}};
    Known found{nullptr, INTERNET_SCHEME_UNKNOWN, 0};
    for (const Known& known : kKnown) {
        if (scheme == known.name) found = known;
    }
    std::size_t at = colon + 1;
    std::size_t hostStart = at, hostEnd = at, userStart = at, userEnd = at, passwordStart = at,
                passwordEnd = at;
    WORD port = found.port;
    if (whole.compare(at, 2, L"//") == 0) {
        const std::size_t authority = at + 2;
        std::size_t end = whole.find_first_of(L"/?#", authority);
        if (end == std::wstring_view::npos) end = whole.size();
        hostStart = authority;
        const std::size_t userinfo = whole.substr(0, end).rfind(L'@');
        if (userinfo != std::wstring_view::npos && userinfo >= authority) {
            userStart = authority;
            userEnd = whole.substr(0, userinfo).find(L':', authority);
            if (userEnd == std::wstring_view::npos || userEnd < authority) userEnd = userinfo;
            passwordStart = passwordEnd = userinfo;
            if (userEnd < userinfo) passwordStart = userEnd + 1;
            hostStart = userinfo + 1;
        }
        hostEnd = end;
        if (hostStart < end && whole[hostStart] == L'[') {
            const std::size_t close = whole.substr(0, end).find(L']', hostStart);
            if (close == std::wstring_view::npos) {
                SetLastError(ERROR_INTERNET_INVALID_URL);
                return FALSE;
            }
            hostEnd = close + 1;
        } else {
            const std::size_t portColon = whole.substr(0, end).find(L':', hostStart);
            if (portColon != std::wstring_view::npos) hostEnd = portColon;
        }
        if (hostEnd < end) {
            if (whole[hostEnd] != L':') {
                SetLastError(ERROR_INTERNET_INVALID_URL);
                return FALSE;
            }
            unsigned long value = 0;
            for (std::size_t i = hostEnd + 1; i < end; ++i) {
                if (whole[i] < L'0' || whole[i] > L'9' || (value = value * 10 + (whole[i] - L'0')) > 65535) {
                    SetLastError(ERROR_INTERNET_INVALID_URL);
                    return FALSE;
                }
            }
            if (hostEnd + 1 < end) port = static_cast<WORD>(value);
        }
        at = end;
    } else if (found.scheme == INTERNET_SCHEME_HTTP || found.scheme == INTERNET_SCHEME_HTTPS) {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return FALSE;
    }
    std::size_t pathEnd = whole.size();
    if (parts->dwExtraInfoLength != 0) {
        pathEnd = whole.find_first_of(L"?#", at);
        if (pathEnd == std::wstring_view::npos) pathEnd = whole.size();
    }
    const auto hand = [url](DWORD& asked, LPWSTR& pointer, std::size_t from, std::size_t to) {
        if (asked == 0) return;
        pointer = const_cast<LPWSTR>(url) + from;
        asked = static_cast<DWORD>(to - from);
    };
    parts->nScheme = found.scheme;
    parts->nPort = port;
    hand(parts->dwSchemeLength, parts->lpszScheme, 0, colon);
    hand(parts->dwHostNameLength, parts->lpszHostName, hostStart, hostEnd);
    hand(parts->dwUserNameLength, parts->lpszUserName, userStart, userEnd);
    hand(parts->dwPasswordLength, parts->lpszPassword, passwordStart, passwordEnd);
    hand(parts->dwUrlPathLength, parts->lpszUrlPath, at, pathEnd);
    hand(parts->dwExtraInfoLength, parts->lpszExtraInfo, pathEnd, whole.size());
    return TRUE;
}

// Linked with the code around the fuzzed functions, never reached by it.
BOOL WINAPI CloseHandle(HANDLE) { Unmodeled("CloseHandle", "at all"); }
HANDLE WINAPI CreateFileW(LPCWSTR, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) {
    Unmodeled("CreateFileW", "at all");
}
BOOL WINAPI ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, void*) { Unmodeled("ReadFile", "at all"); }
BOOL WINAPI GetFileSizeEx(HANDLE, LARGE_INTEGER*) { Unmodeled("GetFileSizeEx", "at all"); }
BOOL WINAPI FindClose(HANDLE) { Unmodeled("FindClose", "at all"); }
DWORD WINAPI FormatMessageW(DWORD, LPCVOID, DWORD, DWORD, LPWSTR, DWORD, void*) {
    Unmodeled("FormatMessageW", "at all");
}
HLOCAL WINAPI LocalFree(HLOCAL) { Unmodeled("LocalFree", "at all"); }
// The user's case rules, as Lower models them; only equality is modelled.
int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b) {
    for (; *a && Lower(*a) == Lower(*b); ++a, ++b) {
    }
    if (Lower(*a) == Lower(*b)) return 0;
    return Lower(*a) < Lower(*b) ? -1 : 1;
}

}  // extern "C"

// The diagnostic log is Win32 through and through; only the file reading
// around the hash engine names it.
void Lumo::Win::LogCurrentException(const char*) noexcept { Unmodeled("LogCurrentException", "at all"); }

const IID IID_IPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IShellLinkW = {0x000214F9, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const CLSID CLSID_ShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

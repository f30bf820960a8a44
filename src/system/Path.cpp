// Path parser: full-path expansion, long-path prefix, UNC and root detection.
#include "system/Path.h"

#include <windows.h>

#include <limits>
#include <vector>

#include "win/Errors.h"

namespace Lumo::FileSystem {
namespace {

bool EndsWithSeparator(const std::wstring& text) {
    return !text.empty() && (text.back() == L'\\' || text.back() == L'/');
}

short Position(size_t value) {
    // Positions are kept in 16 bits; longer texts cannot be described.
    if (value > static_cast<size_t>(std::numeric_limits<short>::max())) throw Lumo::AnyError();
    return static_cast<short>(value);
}

// Expands to a full path; returns the position of the file part, or npos.
std::wstring FullPathName(const std::wstring& text, size_t& namePosition) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        wchar_t* filePart = nullptr;
        DWORD length =
            ::GetFullPathNameW(text.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), &filePart);
        if (length == 0) throw Lumo::LastError();
        if (length < buffer.size()) {
            namePosition = filePart ? static_cast<size_t>(filePart - buffer.data()) : std::wstring::npos;
            return std::wstring(buffer.data(), length);
        }
        buffer.assign(length + 1, L'\0');
    }
}

}  // namespace

Path::Path(std::wstring text, unsigned options)
    : source_(std::move(text)), path_(source_), info_(std::make_shared<ParseInfo>()) {
    if (!(options & StoreOnly)) Parse(options);
}

void Path::Parse(unsigned options) {
    ParseInfo info;
    std::wstring text = source_;
    if (text.size() < 2) throw Lumo::AnyError();

    const bool namesFile = (options & NamesFile) != 0;
    if (namesFile) {
        if (EndsWithSeparator(text)) throw Lumo::AnyError();
        info.flags |= ParseInfo::HasName;
    }
    if (options & NamesFolder) {
        info.flags |= ParseInfo::IsFolder;
        if (text.back() != L'\\') text += L'\\';
    }

    size_t nameStart = std::wstring::npos;
    if (options & FullPath) {
        if (namesFile) {
            size_t slash = text.rfind(L'\\');
            if (slash == std::wstring::npos) throw Lumo::AnyError();
            nameStart = slash + 1;
        }
    } else {
        text = FullPathName(text, nameStart);
    }

    size_t rootStart = 0;
    if (text.compare(0, 2, L"\\\\") != 0) {
        text.insert(0, L"\\\\?\\");
        if (nameStart != std::wstring::npos) nameStart += 4;
        rootStart = 4;
    } else {
        if (text.size() < 4) throw Lumo::AnyError();
        if (text[2] == L'?' && text[3] == L'\\') {
            rootStart = 4;
        } else {
            info.flags |= ParseInfo::IsUnc;
            rootStart = 0;
        }
    }

    if (info.flags & ParseInfo::HasName) {
        if (nameStart == std::wstring::npos) throw Lumo::AnyError();
        size_t dot = text.rfind(L'.');
        if (dot != std::wstring::npos && dot >= nameStart) info.extensionStart = Position(dot);
        info.nameStart = Position(nameStart);
    }

    size_t folderStart;
    if (info.flags & ParseInfo::IsUnc) {
        size_t serverEnd = text.find(L'\\', 3);
        if (serverEnd == std::wstring::npos) throw Lumo::AnyError();
        size_t shareEnd = text.find(L'\\', serverEnd + 1);
        if (shareEnd == std::wstring::npos) throw Lumo::AnyError();
        folderStart = shareEnd + 1;
    } else {
        if (text.size() < 7) throw Lumo::AnyError();
        if (text.size() == 7) info.flags |= ParseInfo::RootOnly;
        folderStart = 7;
    }
    info.rootStart = Position(rootStart);
    info.folderStart = Position(folderStart);

    path_ = std::move(text);
    info_ = std::make_shared<ParseInfo>(info);
}

std::wstring Path::GetFolder() const {
    const ParseInfo& info = *info_;
    if (info.flags & ParseInfo::HasName) {
        return path_.substr(info.rootStart, info.nameStart - info.rootStart);
    }
    if (info.flags & ParseInfo::RootOnly) throw Lumo::AnyError();
    if (info.flags & ParseInfo::IsFolder) return std::wstring();
    throw Lumo::AnyError();  // never parsed
}

std::wstring Path::GetName() const {
    const ParseInfo& info = *info_;
    if (!(info.flags & ParseInfo::HasName)) return std::wstring();
    return path_.substr(info.nameStart);
}

std::wstring LongPathForm(const std::wstring& path) {
    // Below this length every file function takes the plain form, folders included.
    constexpr size_t kPlainFormLimit = MAX_PATH - 12;
    if (path.size() < kPlainFormLimit || path.compare(0, 4, L"\\\\?\\") == 0 ||
        path.compare(0, 4, L"\\\\.\\") == 0) {
        return path;
    }
    const bool unc = path.size() > 2 && path[0] == L'\\' && path[1] == L'\\';
    const bool drive = path.size() > 2 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    if (!unc && !drive) return path;
    // The prefixed form is taken literally: "." and "..", "/" and repeated
    // separators must be resolved first, as the plain form would.
    try {
        size_t namePosition = std::wstring::npos;
        const std::wstring full = FullPathName(path, namePosition);
        if (full.size() > 2 && full[0] == L'\\' && full[1] == L'\\') return L"\\\\?\\UNC\\" + full.substr(2);
        return L"\\\\?\\" + full;
    } catch (...) {
        // The system then answers for the plain form, as it would have anyway.
        return path;
    }
}

std::wstring WithoutLongPathPrefix(const std::wstring& path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
    return path;
}

}  // namespace Lumo::FileSystem

// Builds name lists from the selection; the Windows calls (shortcut
// resolution, short names, locale case mapping) sit in small functions of
// their own.
#include "tools/NameList.h"

#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <vector>

#include "win/Handle.h"
#include "system/Path.h"

namespace Lumo::Tools {
namespace {

// The flags in the order of their bits.
bool CopyNameOptions::*const kFlagOrder[] = {
    &CopyNameOptions::includeFiles, &CopyNameOptions::includeFolders,  &CopyNameOptions::resolveShortcuts,
    &CopyNameOptions::fullPath,     &CopyNameOptions::appendBackslash, &CopyNameOptions::includeExtension,
    &CopyNameOptions::longName,     &CopyNameOptions::modifyCase,      &CopyNameOptions::lowercase,
    &CopyNameOptions::sort,         &CopyNameOptions::ascending,
};

// Resolve without a window, never searching, tracking or updating the link
// file: a copy of names must not touch the disk beyond reading.
constexpr DWORD kResolveFlags =
    DWORD{SLR_NO_UI} | DWORD{SLR_NOUPDATE} | DWORD{SLR_NOSEARCH} | DWORD{SLR_NOTRACK} | DWORD{SLR_NOLINKINFO};
static_assert(kResolveFlags == 0x79, "resolution flags");

bool IsFolderKind(Lumo::Data::ItemKind kind) {
    return kind == Lumo::Data::Folder || kind == Lumo::Data::Drive;
}

// The text after the last backslash.
std::wstring LastComponent(const std::wstring& name) {
    const size_t slash = name.find_last_of(L'\\');
    return slash == std::wstring::npos ? name : name.substr(slash + 1);
}

// One item's line, or nothing when the item is left out.
std::optional<std::wstring> NameOf(const NameListItem& item, const CopyNameOptions& options) {
    Lumo::Data::ItemKind kind = item.kind;
    std::wstring name;
    if (kind == Lumo::Data::Shortcut) {
        if (options.resolveShortcuts) {
            std::optional<ShortcutTarget> target = ResolveShortcut(item.path);
            if (!target || target->path.empty()) return std::nullopt;
            name = target->path;
            if (target->attributes & FILE_ATTRIBUTE_DIRECTORY) {
                kind = name.size() == 3 ? Lumo::Data::Drive : Lumo::Data::Folder;
            } else {
                kind = Lumo::Data::File;
            }
        } else {
            kind = Lumo::Data::File;
        }
    }
    if (kind == Lumo::Data::File && !options.includeFiles) return std::nullopt;
    if (IsFolderKind(kind) && !options.includeFolders) return std::nullopt;
    if (name.empty()) name = item.path;
    if (!options.longName) {
        if (std::optional<std::wstring> shortName = ShortPathName(name)) name = *shortName;
    }
    if (!options.fullPath) {
        if (kind == Lumo::Data::Drive) return std::nullopt;
        std::wstring leaf = LastComponent(name);
        if (!leaf.empty() && leaf != name) name = leaf;
    }
    if (!options.includeExtension && kind == Lumo::Data::File) {
        const size_t slash = name.find_last_of(L'\\');
        const size_t dot = name.find_last_of(L'.');
        if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) name.erase(dot);
    }
    if (options.appendBackslash && kind == Lumo::Data::Folder && (name.empty() || name.back() != L'\\'))
        name += L'\\';
    if (options.modifyCase) name = ChangeCase(name, options.lowercase);
    return name;
}

}  // namespace

uint16_t CopyNameOptions::Pack() const {
    uint16_t bits = 0;
    for (size_t bit = 0; bit < std::size(kFlagOrder); ++bit) {
        if (this->*kFlagOrder[bit]) bits |= static_cast<uint16_t>(1u << bit);
    }
    return bits;
}

CopyNameOptions CopyNameOptions::Unpack(uint16_t bits) {
    CopyNameOptions options;
    for (size_t bit = 0; bit < std::size(kFlagOrder); ++bit) options.*kFlagOrder[bit] = (bits >> bit) & 1;
    return options;
}

CopyNameOptions CopyPathNameOptions() { return CopyNameOptions{}; }

CopyNameOptions CopyFileNameOptions() {
    CopyNameOptions options;
    options.includeFolders = false;
    options.fullPath = false;
    return options;
}

namespace {
// The longest path the file system takes, in characters with the terminator.
constexpr size_t kLongestPath = 32768;
}  // namespace

std::optional<ShortcutTarget> ResolveShortcut(const std::wstring& shortcut) {
    Lumo::Win::ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  link.put_void())))
        return std::nullopt;
    auto file = link.query<IPersistFile>(IID_IPersistFile);
    if (!file || FAILED(file->Load(shortcut.c_str(), STGM_READ))) return std::nullopt;
    if (FAILED(link->Resolve(nullptr, kResolveFlags))) return std::nullopt;
    // A shortcut may name a target of any length the file system allows.
    std::vector<wchar_t> target(kLongestPath, L'\0');
    WIN32_FIND_DATAW found{};
    if (FAILED(link->GetPath(target.data(), static_cast<int>(target.size()), &found, SLGP_UNCPRIORITY)))
        return std::nullopt;
    return ShortcutTarget{target.data(), found.dwFileAttributes};
}

std::optional<std::wstring> ShortPathName(const std::wstring& path) {
    const std::wstring asked = Lumo::FileSystem::LongPathForm(path);
    std::vector<wchar_t> buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD length =
            ::GetShortPathNameW(asked.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::nullopt;
        if (length < buffer.size())
            return Lumo::FileSystem::WithoutLongPathPrefix(std::wstring(buffer.data(), length));
        // Too small: the answer is the size needed, terminator included.
        buffer.assign(length, L'\0');
    }
    return std::nullopt;
}

std::wstring ChangeCase(const std::wstring& name, bool lower) {
    if (name.empty()) return name;
    const DWORD flags = lower ? LCMAP_LOWERCASE : LCMAP_UPPERCASE;
    const int length = static_cast<int>(name.size());
    const int needed = ::LCMapStringW(LOCALE_USER_DEFAULT, flags, name.c_str(), length, nullptr, 0);
    if (needed <= 0) return name;
    std::wstring mapped(static_cast<size_t>(needed), L'\0');
    const int written =
        ::LCMapStringW(LOCALE_USER_DEFAULT, flags, name.c_str(), length, mapped.data(), needed);
    if (written <= 0) return name;
    mapped.resize(static_cast<size_t>(written));
    return mapped;
}

std::wstring BuildNameList(const std::vector<NameListItem>& items, const CopyNameOptions& options) {
    if (!options.includeFiles && !options.includeFolders) return std::wstring();
    std::vector<std::wstring> names;
    for (const NameListItem& item : items) {
        if (std::optional<std::wstring> name = NameOf(item, options)) names.push_back(*name);
    }
    if (options.sort && names.size() >= 2) {
        // Code-unit order: "B" before "a", as a user sorting hashes or IDs expects.
        if (options.ascending) {
            std::stable_sort(names.begin(), names.end());
        } else {
            std::stable_sort(names.begin(), names.end(), std::greater<std::wstring>());
        }
    }
    std::wstring text;
    for (const std::wstring& name : names) {
        text += name;
        text += L"\r\n";
    }
    return text;
}

std::wstring BuildNameList(const Lumo::Data::SelectedItemsInfo& selection, const CopyNameOptions& options) {
    std::vector<NameListItem> items;
    items.reserve(selection.itemInfos.size());
    for (const auto& info : selection.itemInfos) {
        if (info) items.push_back(NameListItem{info->kind, info->path});
    }
    return BuildNameList(items, options);
}

std::wstring BuildNameList(const std::shared_ptr<Lumo::Data::SelectedItemsInfo>& selection,
                           const CopyNameOptions& options) {
    return selection ? BuildNameList(*selection, options) : std::wstring();
}

}  // namespace Lumo::Tools

// Parsing names, the classified selection and the navigable-folder test.
#include "data/Selection.h"

#include <shlwapi.h>

#include <boost/regex.hpp>

#include "win/Handle.h"

using Lumo::Win::ComPtr;
using Lumo::Win::UniqueCoTaskMem;

namespace {

std::wstring StrRetText(STRRET& value, PCUITEMID_CHILD item) {
    wchar_t* text = nullptr;
    if (FAILED(::StrRetToStrW(&value, item, &text)) || !text) return std::wstring();
    UniqueCoTaskMem owned(text);
    return std::wstring(text);
}

ComPtr<IShellFolder> FolderOf(PCIDLIST_ABSOLUTE folder, ComPtr<IShellFolder>& desktop) {
    ComPtr<IShellFolder> bound;
    if (folder && !ILIsEmpty(folder) &&
        SUCCEEDED(desktop->BindToObject(folder, nullptr, IID_IShellFolder, bound.put_void())) && bound) {
        return bound;
    }
    return desktop;
}

}  // namespace

std::wstring ItemIDList::ParsingName() const {
    try {
        ComPtr<IShellFolder> desktop;
        if (FAILED(::SHGetDesktopFolder(desktop.put())) || !desktop) return std::wstring();
        ComPtr<IShellFolder> folder = parent_ ? FolderOf(parent_, desktop) : desktop;
        STRRET name{};
        if (FAILED(folder->GetDisplayNameOf(static_cast<PCUITEMID_CHILD>(item_), SHGDN_FORPARSING, &name))) {
            return std::wstring();
        }
        return StrRetText(name, static_cast<PCUITEMID_CHILD>(item_));
    } catch (...) {
        return std::wstring();
    }
}

namespace Data {

ItemKind SelectedItemsInfo::Classify(SFGAOF attributes, const std::wstring& path) {
    if ((attributes & 0x40410000) == 0x40410000) return Shortcut;
    if ((attributes & 0x70000000) == 0x70000000) return path.size() == 3 ? Drive : Folder;
    if ((attributes & 0x40400177) == 0x40400177) return File;
    return Other;
}

std::shared_ptr<SelectedItemsInfo> SelectedItemsInfo::Build(PCIDLIST_ABSOLUTE folder,
                                                            const std::vector<PCUITEMID_CHILD>& items) {
    auto info = std::make_shared<SelectedItemsInfo>();
    info->folderIdList = folder;
    if (items.empty()) return info;
    ComPtr<IShellFolder> desktop;
    if (FAILED(::SHGetDesktopFolder(desktop.put())) || !desktop) return info;
    ComPtr<IShellFolder> shellFolder = FolderOf(folder, desktop);
    for (PCUITEMID_CHILD item : items) {
        SFGAOF attributes = 0xFEFFFFFF;
        if (FAILED(shellFolder->GetAttributesOf(1, &item, &attributes))) continue;
        auto one = std::make_shared<OneItemInfo>();
        one->idList = item;
        one->attributes = attributes;
        STRRET name{};
        if (SUCCEEDED(shellFolder->GetDisplayNameOf(item, SHGDN_FORPARSING, &name))) {
            // A buffer of MAX_PATH characters, as the shell hands names to menus.
            wchar_t buffer[MAX_PATH] = {};
            if (SUCCEEDED(::StrRetToBufW(&name, item, buffer, MAX_PATH))) one->path = buffer;
        }
        if (one->path.compare(0, 2, L"::") == 0) continue;
        int index = static_cast<int>(info->itemInfos.size());
        info->itemInfos.push_back(one);
        one->kind = Classify(attributes, one->path);
        switch (one->kind) {
            case Shortcut:
                info->shortcutIndexes.push_back(index);
                break;
            case Drive:
                info->driveIndexes.push_back(index);
                break;
            case Folder:
                info->folderIndexes.push_back(index);
                break;
            case File:
                info->fileIndexes.push_back(index);
                break;
            default:
                break;
        }
    }
    return info;
}

}  // namespace Data

bool IsNavigableFolderName(const std::wstring& name) {
    if (name.empty()) return false;
    const bool exists = ::PathIsRootW(name.c_str()) || ::PathIsDirectoryW(name.c_str());
    if (!::PathIsUNCW(name.c_str())) return exists;
    if (!exists) return false;
    if (name.size() < 42) return true;
    // A UNC name that ends in "\::{class id}" is a virtual folder, not a share path.
    static const boost::wregex classIdentifier(
        L"^\\\\::\\{([0123456789ABCDEF]){8}-([0123456789ABCDEF]){4}-([0123456789ABCDEF]){4}-"
        L"([0123456789ABCDEF]){4}-([0123456789ABCDEF]){12}\\}$",
        boost::regex::perl | boost::regex::icase);
    return !boost::regex_match(name.substr(name.size() - 41), classIdentifier);
}

bool IsNavigableFolder(PCUIDLIST_RELATIVE item, PCIDLIST_ABSOLUTE parent, std::wstring* name) {
    std::wstring parsingName = ItemIDList(item, parent).ParsingName();
    if (name) *name = parsingName;
    return IsNavigableFolderName(parsingName);
}

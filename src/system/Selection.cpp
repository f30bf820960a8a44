// Parsing names, the classified selection and the navigable-folder test.
#include "system/Selection.h"

#include <shlwapi.h>

#include <atomic>

#include <boost/regex.hpp>

#include "win/DiagnosticLog.h"
#include "win/Handle.h"
#include "system/Path.h"

using Lumo::Win::ComPtr;
using Lumo::Win::UniqueCoTaskMem;
using Lumo::Win::UniqueIdList;

namespace {

std::atomic<long> itemsExamined{0};

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

// A file-system folder by the attributes the shell already holds for the
// item; an archive the shell shows as a folder is a stream, not a directory.
bool IsDirectoryByAttributes(SFGAOF attributes) {
    return (attributes & (SFGAO_FILESYSTEM | SFGAO_FOLDER)) == (SFGAO_FILESYSTEM | SFGAO_FOLDER) &&
           !(attributes & SFGAO_STREAM);
}

// The rules shared by both folder tests, once it is known whether the name
// is a root or an existing directory.
bool NavigableName(const std::wstring& name, bool exists) {
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
        // An item without a name is left out, like one the shell cannot name.
        Lumo::Win::LogCurrentException("ItemIDList::ParsingName");
        return std::wstring();
    }
}

namespace Data {

long ItemsExaminedSoFar() { return itemsExamined.load(); }

ItemKind SelectedItemsInfo::Classify(SFGAOF attributes, const std::wstring& path) {
    if ((attributes & 0x40410000) == 0x40410000) return Shortcut;
    if ((attributes & 0x70000000) == 0x70000000) return path.size() == 3 ? Drive : Folder;
    if ((attributes & 0x40400177) == 0x40400177) return File;
    return Other;
}

std::shared_ptr<SelectedItemsInfo> SelectedItemsInfo::Build(PCIDLIST_ABSOLUTE folder,
                                                            const std::vector<PCUITEMID_CHILD>& items,
                                                            std::size_t limit) {
    auto info = std::make_shared<SelectedItemsInfo>();
    info->folderIdList = folder;
    info->selectedCount = items.size();
    if (items.empty()) return info;
    ComPtr<IShellFolder> desktop;
    if (FAILED(::SHGetDesktopFolder(desktop.put())) || !desktop) return info;
    ComPtr<IShellFolder> shellFolder = FolderOf(folder, desktop);
    for (PCUITEMID_CHILD item : items) {
        if (info->examinedCount >= limit) break;
        ++info->examinedCount;
        ++itemsExamined;
        SFGAOF attributes = kClassifyingAttributes;
        if (FAILED(shellFolder->GetAttributesOf(1, &item, &attributes))) continue;
        auto one = std::make_shared<OneItemInfo>();
        one->idList = item;
        one->attributes = attributes;
        STRRET name{};
        // The whole name, however long: a copied or hashed path cut at
        // MAX_PATH names another file or none.
        if (SUCCEEDED(shellFolder->GetDisplayNameOf(item, SHGDN_FORPARSING, &name)))
            one->path = StrRetText(name, item);
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
    bool directory = false;
    if (name.size() < MAX_PATH) {
        directory = ::PathIsDirectoryW(name.c_str());
    } else {
        // PathIsDirectoryW takes no longer name; the file system answers for the long form.
        const DWORD attributes = ::GetFileAttributesW(Lumo::FileSystem::LongPathForm(name).c_str());
        directory = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    return NavigableName(name, ::PathIsRootW(name.c_str()) || directory);
}

bool IsNavigableFolderItem(const std::wstring& name, SFGAOF attributes) {
    if (name.empty()) return false;
    return NavigableName(name, ::PathIsRootW(name.c_str()) || IsDirectoryByAttributes(attributes));
}

bool IsNavigableFolder(PCUIDLIST_RELATIVE item, PCIDLIST_ABSOLUTE parent, std::wstring* name) {
    std::wstring parsingName = ItemIDList(item, parent).ParsingName();
    if (name) *name = parsingName;
    return IsNavigableFolderName(parsingName);
}

std::vector<std::wstring> NavigableFolders(PCIDLIST_ABSOLUTE folder,
                                           const std::vector<PCUIDLIST_RELATIVE>& items, std::size_t limit) {
    std::vector<std::wstring> folders;
    ComPtr<IShellFolder> desktop;
    if (items.empty() || FAILED(::SHGetDesktopFolder(desktop.put())) || !desktop) return folders;
    // One binding for the whole selection: binding a folder reads its settings
    // (and its parents'), which per item made thousands of file opens.
    ComPtr<IShellFolder> shellFolder = FolderOf(folder, desktop);
    // A selection the menu sees whole asks the file system whether each folder
    // still exists, so that one deleted since the selection was made is not
    // offered; for a larger one the shell's attributes answer, so that opening
    // the menu never waits on thousands of items.
    const bool askFileSystem = items.size() <= Data::kItemsSeenWhileMenuOpens;
    std::size_t examined = 0;
    for (PCUIDLIST_RELATIVE item : items) {
        if (examined >= limit) break;
        ++examined;
        ++itemsExamined;
        ComPtr<IShellFolder> parent = shellFolder;
        PCUITEMID_CHILD child = static_cast<PCUITEMID_CHILD>(item);
        UniqueIdList absolute;
        if (!ILIsChild(item)) {
            // A list of several levels: its own parent folder answers for it.
            absolute.reset(folder ? ::ILCombine(folder, item) : ::ILClone(item));
            parent.reset();
            if (!absolute ||
                FAILED(::SHBindToParent(absolute.get(), IID_IShellFolder, parent.put_void(), &child)) ||
                !parent)
                continue;
        }
        SFGAOF attributes = SFGAO_LINK | SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_STREAM;
        if (FAILED(parent->GetAttributesOf(1, &child, &attributes)) || (attributes & SFGAO_LINK)) continue;
        STRRET name{};
        if (FAILED(parent->GetDisplayNameOf(child, SHGDN_FORPARSING, &name))) continue;
        std::wstring path = StrRetText(name, child);
        if (askFileSystem ? IsNavigableFolderName(path) : IsNavigableFolderItem(path, attributes))
            folders.push_back(std::move(path));
    }
    return folders;
}

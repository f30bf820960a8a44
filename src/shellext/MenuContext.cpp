// Making a menu's context from what the shell hands over: the "Shell IDList
// Array" block of a data object, checked before anything in it is used, or a
// shell item array and the site of the command.
#include "shellext/MenuContext.h"

#include <shlobj.h>
#include <shobjidl.h>

#include <cstring>

namespace ShellExt {

using Lumo::Win::ComPtr;
using Lumo::Win::UniqueIdList;

namespace {

UINT ShellIdListFormat() {
    static const UINT format = ::RegisterClipboardFormatW(L"Shell IDList Array");
    return format;
}

std::wstring ParsingNameOf(PCIDLIST_ABSOLUTE folder) {
    return folder ? ItemIDList(folder, nullptr).ParsingName() : std::wstring();
}

// The storage medium a data object handed over, released on every path,
// with its global block locked for reading while it is held.
class LockedMedium {
public:
    explicit LockedMedium(STGMEDIUM& medium) : medium_(medium), block_(medium.hGlobal) {}
    ~LockedMedium() {
        block_ = Lumo::Win::LockedGlobal();  // unlocked before the medium goes
        ::ReleaseStgMedium(&medium_);
    }
    LockedMedium(const LockedMedium&) = delete;
    LockedMedium& operator=(const LockedMedium&) = delete;
    const void* Data() const { return block_.get(); }
    SIZE_T Size() const { return block_.size(); }

private:
    STGMEDIUM& medium_;
    Lumo::Win::LockedGlobal block_;
};

// The folder the site's window shows: where a click on the background came from.
UniqueIdList FolderOfSite(IUnknown* site) {
    UniqueIdList folder;
    ComPtr<IShellBrowser> browser = BrowserOfSite(site);
    ComPtr<IShellView> view;
    if (!browser || FAILED(browser->QueryActiveShellView(view.put())) || !view) return folder;
    ComPtr<IFolderView> folderView = view.query<IFolderView>(IID_IFolderView);
    ComPtr<IPersistFolder2> persist;
    if (!folderView || FAILED(folderView->GetFolder(IID_IPersistFolder2, persist.put_void())) || !persist) {
        return folder;
    }
    if (FAILED(persist->GetCurFolder(folder.put()))) folder.reset();
    return folder;
}

}  // namespace

MenuContext::MenuContext(UniqueIdList folder, std::vector<UniqueIdList> items)
    : folder_(std::move(folder)), folderPath_(ParsingNameOf(folder_.get())), items_(std::move(items)) {}

std::shared_ptr<Data::SelectedItemsInfo> MenuContext::GetSelectedItemsInfo(std::size_t limit) const {
    std::vector<PCUITEMID_CHILD> items;
    items.reserve(items_.size());
    for (const UniqueIdList& list : items_) items.push_back(reinterpret_cast<PCUITEMID_CHILD>(list.get()));
    return Data::SelectedItemsInfo::Build(folder_.get(), items, limit);
}

std::shared_ptr<Data::SelectedItemsInfo> MenuContext::WholeSelection(
    const std::shared_ptr<Data::SelectedItemsInfo>& seen) const {
    if (seen && seen->Complete()) return seen;
    return GetSelectedItemsInfo(Data::kWholeSelection);
}

std::vector<std::wstring> MenuContext::NavigableSelectedFolders(std::size_t limit) const {
    std::vector<PCUIDLIST_RELATIVE> items;
    items.reserve(items_.size());
    for (const UniqueIdList& list : items_) items.push_back(list.get());
    return NavigableFolders(folder_.get(), items, limit);
}

const Data::HandlerDataSnapshot& MenuContext::Snapshot() const {
    // The snapshot is part of the context, read at most once, whichever part
    // of the menu asks first.
    std::call_once(loaded_, [this] { snapshot_.LoadData(); });
    return snapshot_;
}

const std::shared_ptr<Data::AllData>& MenuContext::data() const { return Snapshot().data; }

Data::SnapshotState MenuContext::dataState() const { return Snapshot().state; }

const Data::FolderList& MenuContext::Favorites() const { return Snapshot().favoriteFolders; }

int MenuContext::MenuWidthLimit() const {
    const auto& record = data();
    if (!record || !record->userSettings || !record->userSettings->limitMenuWidth) return 0;
    return static_cast<int>(record->userSettings->menuWidthLimit);
}

HRESULT ContextFromDataObject(PCIDLIST_ABSOLUTE folder, IDataObject* selection, ContextPtr& result) {
    result.reset();
    UniqueIdList folderList;
    if (folder) {
        folderList.reset(::ILClone(folder));
        if (!folderList) return E_OUTOFMEMORY;
    }
    if (!selection) {
        result = std::make_shared<const MenuContext>(std::move(folderList), std::vector<UniqueIdList>());
        return S_OK;
    }

    FORMATETC format{static_cast<CLIPFORMAT>(ShellIdListFormat()), nullptr, DVASPECT_CONTENT, -1,
                     TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(selection->GetData(&format, &medium))) return E_INVALIDARG;
    if (medium.tymed != TYMED_HGLOBAL || !medium.hGlobal) {
        ::ReleaseStgMedium(&medium);
        return E_INVALIDARG;
    }
    LockedMedium locked(medium);
    const auto* cida = static_cast<const CIDA*>(locked.Data());
    const SIZE_T size = locked.Size();
    if (!cida || size < sizeof(UINT)) return E_INVALIDARG;
    // Every offset must point inside the block the data object handed over. The count is held against
    // the block before it is multiplied out: in a 32-bit process a huge count would wrap around.
    if (cida->cidl > size / sizeof(UINT)) return E_INVALIDARG;
    const SIZE_T offsetsEnd = sizeof(UINT) * (static_cast<SIZE_T>(cida->cidl) + 2);
    if (offsetsEnd > size) return E_INVALIDARG;
    // An identifier list is used only when it ends, zero terminator
    // included, inside the block.
    auto listAt = [&](UINT i) -> PCUIDLIST_RELATIVE {
        const BYTE* base = reinterpret_cast<const BYTE*>(cida);
        const SIZE_T offset = cida->aoffset[i];
        if (offset < offsetsEnd) return nullptr;
        for (SIZE_T position = offset;;) {
            if (position + sizeof(USHORT) > size) return nullptr;
            USHORT length;
            std::memcpy(&length, base + position, sizeof(length));
            if (length == 0) break;
            if (length < sizeof(USHORT)) return nullptr;
            position += length;
        }
        return reinterpret_cast<PCUIDLIST_RELATIVE>(base + offset);
    };
    PCUIDLIST_RELATIVE parent = listAt(0);
    if (!parent) return E_INVALIDARG;
    folderList.reset(::ILClone(reinterpret_cast<PCIDLIST_ABSOLUTE>(parent)));
    std::vector<UniqueIdList> items;
    for (UINT i = 1; i <= cida->cidl; ++i) {
        PCUIDLIST_RELATIVE item = listAt(i);
        if (!item) continue;
        UniqueIdList copy(reinterpret_cast<LPITEMIDLIST>(::ILClone(item)));
        if (copy) items.push_back(std::move(copy));
    }
    if (items.empty()) return E_INVALIDARG;
    result = std::make_shared<const MenuContext>(std::move(folderList), std::move(items));
    return S_OK;
}

ContextPtr ContextFromItems(IShellItemArray* selection, IUnknown* site) {
    UniqueIdList folder;
    std::vector<UniqueIdList> items;
    DWORD count = 0;
    if (selection && FAILED(selection->GetCount(&count))) count = 0;
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IShellItem> item;
        UniqueIdList absolute;
        if (FAILED(selection->GetItemAt(i, item.put())) || !item ||
            FAILED(::SHGetIDListFromObject(item.get(), absolute.put())) || !absolute) {
            continue;
        }
        UniqueIdList parent(::ILClone(absolute.get()));
        if (!parent || !::ILRemoveLastID(parent.get())) continue;
        if (!folder) {
            folder = std::move(parent);
        } else if (!::ILIsEqual(folder.get(), parent.get())) {
            continue;
        }
        UniqueIdList child(::ILClone(::ILFindLastID(absolute.get())));
        if (child) items.push_back(std::move(child));
    }
    if (!folder) folder = FolderOfSite(site);
    return std::make_shared<const MenuContext>(std::move(folder), std::move(items));
}

ComPtr<IShellBrowser> BrowserOfSite(IUnknown* site) {
    ComPtr<IShellBrowser> browser;
    if (!site) return browser;
    ComPtr<IServiceProvider> services;
    if (FAILED(site->QueryInterface(IID_IServiceProvider, services.put_void()))) return browser;
    if (FAILED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.put_void())))
        browser.reset();
    return browser;
}

}  // namespace ShellExt

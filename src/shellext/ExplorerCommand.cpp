// The Windows 11 command tree over the classic menu items.
#include "menu/ExplorerCommand.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "shellext/GotoFavorite.h"
#include "shellext/MenuEngine.h"
#include "shellext/Navigation.h"
#include "system/ModulePath.h"
#include "system/SystemInfo.h"
#include "system/ResourceIds.h"
#include "win/Boundary.h"
#include "win/DiagnosticLog.h"
#include "win/Errors.h"
#include "win/Handle.h"
#include "win/Lock.h"
#include "win/ModuleReference.h"

namespace Menu {

using Lumo::Win::ComBoundary;
using Lumo::Win::ComPtr;
using Lumo::Win::UniqueIdList;
using ShellExt::CGotoFavorite;
using ShellExt::ItemPtr;
using ShellExt::OddBase;

namespace {

// The shell allocates the strings it receives and frees them itself.
HRESULT HandOut(const std::wstring& text, LPWSTR* result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    return ::SHStrDupW(text.c_str(), result);
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

// The absolute identifier lists of the items, in order (an empty one for an
// item the shell cannot name).
std::vector<UniqueIdList> IdListsOf(IShellItemArray* items) {
    std::vector<UniqueIdList> lists;
    DWORD count = 0;
    if (!items || FAILED(items->GetCount(&count))) return lists;
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IShellItem> item;
        UniqueIdList list;
        if (SUCCEEDED(items->GetItemAt(i, item.put())) && item)
            ::SHGetIDListFromObject(item.get(), list.put());
        lists.push_back(std::move(list));
    }
    return lists;
}

bool SameItems(IShellItemArray* a, IShellItemArray* b) {
    const std::vector<UniqueIdList> first = IdListsOf(a), second = IdListsOf(b);
    if (first.size() != second.size()) return false;
    for (size_t i = 0; i < first.size(); ++i) {
        if (!first[i] || !second[i] || !::ILIsEqual(first[i].get(), second[i].get())) return false;
    }
    return true;
}

// Everything one Windows 11 menu shares between its root and its
// subcommands: the site, the selection Explorer named, and, once the user
// opens Quelvar, the classic handler object that stands for that selection
// with the hidden menu its builders fill.
class CommandTree {
public:
    CommandTree() = default;
    CommandTree(const CommandTree&) = delete;
    CommandTree& operator=(const CommandTree&) = delete;
    ~CommandTree() {
        // The items go with their handler; the menus with the hidden root.
        hidden_.reset();
        handlerObject_.reset();
    }

    void SetSite(IUnknown* site) {
        site_.reset();
        if (site) site->QueryInterface(IID_IUnknown, site_.put_void());
    }
    HRESULT GetSite(REFIID iid, void** result) const {
        if (!result) return E_POINTER;
        *result = nullptr;
        return site_ ? site_->QueryInterface(iid, result) : E_FAIL;
    }

    // Explorer names the selection with every call on the root, none for a
    // folder's background; only a reference is kept, nothing of it is read
    // here.
    void Remember(IShellItemArray* items) {
        if (handler_) return;
        selection_.reset();
        if (items) items->QueryInterface(IID_IShellItemArray, selection_.put_void());
    }
    // Whether the entries were built for another selection than `items`: a
    // background (no items) is another selection than any items.
    bool BuiltForOther(IShellItemArray* items) const {
        if (!handler_) return false;
        ComPtr<IShellItemArray> same;
        if (items) items->QueryInterface(IID_IShellItemArray, same.put_void());
        return same.get() != selection_.get();
    }
    // Whether the entries were built for the items `items` names, in order.
    // Only for a command that runs: it reads every item, which the menu's
    // window thread must not while it opens.
    bool BuiltFor(IShellItemArray* items) const {
        if (!items || !selection_) return !items && !selection_;
        ComPtr<IShellItemArray> same;
        items->QueryInterface(IID_IShellItemArray, same.put_void());
        return same.get() == selection_.get() || SameItems(items, selection_.get());
    }
    IUnknown* Site() const { return site_.get(); }

    // The Quelvar entry of the hidden menu and its submenu, made the first
    // time they are asked for.
    const ItemPtr& Quelvar() {
        if (!handler_) Build();
        return quelvar_;
    }
    HMENU MainSubmenu() {
        if (!handler_) Build();
        return mainSubmenu_;
    }

    // Runs an entry's command the way the classic menu does, with the site's
    // window as the one the menu came from. Whether Explorer runs the command
    // in its own process (the site then hands out its browser) or in another
    // one is not known in advance: the log says which it was and how a
    // navigation went (the line names the process).
    void Execute(const ItemPtr& item) {
        if (!handler_) return;
        handler_->commandSite = true;
        handler_->siteBrowser = BrowserOfSite(site_.get());
        handler_->siteWindow =
            handler_->siteBrowser ? nullptr : ShellExt::Navigation::WindowOfCommandSite(site_.get());
        handler_->commandRoute = nullptr;
        HWND window = nullptr;
        if (handler_->siteBrowser) handler_->siteBrowser->GetWindow(&window);
        item->Execute(window);
        const std::string what =
            std::string("site browser: ") + (handler_->siteBrowser ? "yes" : "no") +
            ", site window: " + (handler_->siteWindow ? "yes" : "no") +
            ", navigation: " + (handler_->commandRoute ? handler_->commandRoute : "none");
        Lumo::Win::LogInfo("ExplorerCommand::Invoke", what.c_str());
    }

private:
    void Build() {
        ComPtr<IGotoFavorite> object;
        HRESULT hr = CGotoFavorite::CreateInstance(IID_IGotoFavorite, object.put_void());
        if (FAILED(hr) || !object) throw Lumo::ComError(FAILED(hr) ? hr : E_FAIL);
        CGotoFavorite* handler = static_cast<CGotoFavorite*>(object.get());
        TakeSelection(*handler);
        // What QueryContextMenu does for a shown menu: the placeholder of the
        // popups filled on opening, then the Quelvar entry.
        ShellExt::ThreadMenuState& state = ShellExt::MenuEngine::CurrentState();
        auto holder = std::make_shared<ShellExt::EmptyHolder>();
        holder->owner = handler;
        {
            // A handler released on another thread edits this record too.
            Lumo::Win::ScopedLock guard(state.lock);
            handler->rootItemIndex = ShellExt::MenuEngine::RegisterItem(state, holder);
        }
        Lumo::Win::UniqueMenu hidden(::CreatePopupMenu());
        if (!hidden) throw Lumo::LastError();
        auto quelvar = std::make_shared<ShellExt::Quelvar>();
        HMENU main = handler->InsertItem(hidden.get(), 0, quelvar);
        if (!main) throw Lumo::AnyError();
        quelvar_ = std::move(quelvar);
        handlerObject_ = std::move(object);
        handler_ = handler;
        hidden_ = std::move(hidden);
        mainSubmenu_ = main;
    }

    // The selection as the classic handler holds it: a folder and the items
    // in it. Items of another folder (a search, a library) are left out;
    // without items the menu came from the background of the site's folder.
    void TakeSelection(CGotoFavorite& handler) {
        DWORD count = 0;
        if (selection_ && FAILED(selection_->GetCount(&count))) count = 0;
        for (DWORD i = 0; i < count; ++i) {
            ComPtr<IShellItem> item;
            UniqueIdList absolute;
            if (FAILED(selection_->GetItemAt(i, item.put())) || !item ||
                FAILED(::SHGetIDListFromObject(item.get(), absolute.put())) || !absolute) {
                continue;
            }
            UniqueIdList parent(::ILClone(absolute.get()));
            if (!parent || !::ILRemoveLastID(parent.get())) continue;
            if (!handler.folderIdList) {
                handler.folderIdList = std::move(parent);
            } else if (!::ILIsEqual(handler.folderIdList.get(), parent.get())) {
                continue;
            }
            UniqueIdList child(::ILClone(::ILFindLastID(absolute.get())));
            if (child) handler.itemIdLists.push_back(std::move(child));
        }
        if (!handler.folderIdList) handler.folderIdList = FolderOfSite(site_.get());
        if (handler.folderIdList)
            handler.folderPath = ItemIDList(handler.folderIdList.get(), nullptr).ParsingName();
    }

    ComPtr<IUnknown> site_;
    ComPtr<IShellItemArray> selection_;
    ComPtr<IGotoFavorite> handlerObject_;
    CGotoFavorite* handler_ = nullptr;
    Lumo::Win::UniqueMenu hidden_;
    ItemPtr quelvar_;
    HMENU mainSubmenu_ = nullptr;
};

class CommandEnumerator;

// One command: the root ("Quelvar"), an entry of a submenu, or a separator.
class ExplorerCommand final : public IExplorerCommand, public IObjectWithSite {
public:
    enum class Role { Root, Entry, Separator };

    // `address`: the command's position among its parent's subcommands, and
    // the parent's, up to the root's.
    static ComPtr<IExplorerCommand> Make(std::shared_ptr<CommandTree> tree, Role role, ItemPtr item = nullptr,
                                         HMENU submenu = nullptr, std::vector<size_t> address = {}) {
        return ComPtr<IExplorerCommand>::Attach(
            new ExplorerCommand(std::move(tree), role, std::move(item), submenu, std::move(address)));
    }

    // IUnknown
    IFACEMETHODIMP QueryInterface(REFIID iid, void** result) noexcept override {
        if (!result) return E_POINTER;
        if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IExplorerCommand)) {
            *result = static_cast<IExplorerCommand*>(this);
        } else if (::IsEqualIID(iid, IID_IObjectWithSite)) {
            *result = static_cast<IObjectWithSite*>(this);
        } else {
            *result = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    IFACEMETHODIMP_(ULONG) AddRef() noexcept override { return ::InterlockedIncrement(&references_); }
    IFACEMETHODIMP_(ULONG) Release() noexcept override {
        ULONG count = ::InterlockedDecrement(&references_);
        if (count == 0) delete this;
        return count;
    }

    // IExplorerCommand
    IFACEMETHODIMP GetTitle(IShellItemArray* items, LPWSTR* name) noexcept override {
        return ComBoundary(E_FAIL, [&]() -> HRESULT {
            RememberSelection(items);
            if (role_ == Role::Separator) return HandOut(std::wstring(), name);
            return HandOut(role_ == Role::Root ? std::wstring(L"Quelvar") : CommandTitle(item_->label), name);
        });
    }
    IFACEMETHODIMP GetIcon(IShellItemArray* items, LPWSTR* icon) noexcept override {
        return ComBoundary(E_FAIL, [&]() -> HRESULT {
            if (!icon) return E_POINTER;
            *icon = nullptr;
            RememberSelection(items);
            const int index = role_ == Role::Root ? ShellExt::Quelvar().iconIndex
                              : item_             ? item_->iconIndex
                                                  : -1;
            if (index < 0) return E_NOTIMPL;
            const std::wstring module = Lumo::System::ModuleFileName(Lumo::Win::CurrentModule());
            return HandOut(module + L",-" + std::to_wstring(IDI_MENU_FIRST + index), icon);
        });
    }
    IFACEMETHODIMP GetToolTip(IShellItemArray* items, LPWSTR* tip) noexcept override {
        return ComBoundary(E_FAIL, [&]() -> HRESULT {
            if (!tip) return E_POINTER;
            *tip = nullptr;
            if (role_ == Role::Root) {
                RememberSelection(items);
                return HandOut(L"Quelvar v" + Lumo::System::ProductVersion(), tip);
            }
            if (!item_ || item_->helpText.empty()) return E_NOTIMPL;
            return HandOut(item_->helpText, tip);
        });
    }
    IFACEMETHODIMP GetCanonicalName(GUID* name) noexcept override {
        if (name) *name = GUID_NULL;
        return E_NOTIMPL;
    }
    // Called with fOkToBeSlow FALSE on Explorer's window thread for every
    // menu: the answer comes from what the command already holds, without
    // reading an item, the file system or the network.
    IFACEMETHODIMP GetState(IShellItemArray* items, BOOL, EXPCMDSTATE* state) noexcept override {
        return ComBoundary(E_FAIL, [&]() -> HRESULT {
            if (!state) return E_POINTER;
            RememberSelection(items);
            const bool disabled =
                item_ && (item_->Has(OddBase::ItemDisabled) || item_->Has(OddBase::ItemPlaceholder));
            *state = disabled ? ECS_DISABLED : ECS_ENABLED;
            return S_OK;
        });
    }
    IFACEMETHODIMP Invoke(IShellItemArray* items, IBindCtx*) noexcept override {
        return ComBoundary(E_FAIL, [&]() -> HRESULT {
            if (role_ != Role::Entry || item_->Has(OddBase::ItemHasSubmenu)) return S_OK;
            // The command runs for the items Invoke names. Explorer need not
            // have named them to the root before it asked for the subcommands
            // (that call names none): entries built for other items, or for
            // none, are built again for these, and the same entry runs there.
            std::shared_ptr<CommandTree> tree = tree_;
            ItemPtr item = item_;
            if (!tree->BuiltFor(items)) {
                tree = std::make_shared<CommandTree>();
                tree->SetSite(tree_->Site());
                tree->Remember(items);
                item = EntryAt(tree, address_);
                if (!item || !SameEntry(*item, *item_)) return E_FAIL;
            }
            // What the menu shows disabled has nothing to act on.
            if (item->Has(OddBase::ItemDisabled) || item->Has(OddBase::ItemPlaceholder)) return S_OK;
            tree->Execute(item);
            return S_OK;
        });
    }
    IFACEMETHODIMP GetFlags(EXPCMDFLAGS* flags) noexcept override {
        if (!flags) return E_POINTER;
        if (role_ == Role::Separator) {
            *flags = ECF_ISSEPARATOR;
        } else if (role_ == Role::Root || item_->Has(OddBase::ItemHasSubmenu)) {
            *flags = ECF_HASSUBCOMMANDS;
        } else {
            *flags = ECF_DEFAULT;
        }
        return S_OK;
    }
    IFACEMETHODIMP EnumSubCommands(IEnumExplorerCommand** result) noexcept override;

    // IObjectWithSite: every command of one menu shares the site.
    IFACEMETHODIMP SetSite(IUnknown* site) noexcept override {
        return ComBoundary(E_FAIL, [&]() -> HRESULT {
            tree_->SetSite(site);
            return S_OK;
        });
    }
    IFACEMETHODIMP GetSite(REFIID iid, void** result) noexcept override {
        return tree_->GetSite(iid, result);
    }

private:
    ExplorerCommand(std::shared_ptr<CommandTree> tree, Role role, ItemPtr item, HMENU submenu,
                    std::vector<size_t> address)
        : tree_(std::move(tree)),
          role_(role),
          item_(std::move(item)),
          submenu_(submenu),
          address_(std::move(address)) {}
    ~ExplorerCommand() = default;

    // The entry at `address` of the tree's commands; null when there is none.
    static ItemPtr EntryAt(const std::shared_ptr<CommandTree>& tree, const std::vector<size_t>& address) {
        ComPtr<IExplorerCommand> command = Make(tree, Role::Root);
        for (size_t index : address) {
            std::vector<ComPtr<IExplorerCommand>> children =
                static_cast<ExplorerCommand*>(command.get())->Children();
            if (index >= children.size()) return nullptr;
            command = children[index];
        }
        return static_cast<ExplorerCommand*>(command.get())->item_;
    }
    // Whether an entry built again stands for the same command: the add
    // entry's label follows the count of folders, every other label is what
    // the user chose (a favorite added meanwhile moves the others down).
    static bool SameEntry(const OddBase& again, const OddBase& chosen) {
        return again.kind == chosen.kind &&
               (chosen.kind == OddBase::KindAddFavorites || again.label == chosen.label);
    }

    // The root takes the selection of every call. A root Explorer asks again
    // for another selection starts a new tree; the commands handed out
    // before keep theirs.
    void RememberSelection(IShellItemArray* items) {
        if (role_ != Role::Root) return;
        if (tree_->BuiltForOther(items)) {
            auto fresh = std::make_shared<CommandTree>();
            fresh->SetSite(tree_->Site());
            tree_ = std::move(fresh);
        }
        tree_->Remember(items);
    }

    // The commands of one submenu, in menu order; a popup filled on opening
    // is filled first, as the classic menu does when it opens.
    std::vector<ComPtr<IExplorerCommand>> Children();

    volatile LONG references_ = 1;
    Lumo::Win::ModuleReference moduleReference_;
    std::shared_ptr<CommandTree> tree_;
    Role role_;
    ItemPtr item_;
    HMENU submenu_;
    std::vector<size_t> address_;
};

class CommandEnumerator final : public IEnumExplorerCommand {
public:
    explicit CommandEnumerator(std::vector<ComPtr<IExplorerCommand>> commands, size_t next = 0)
        : commands_(std::move(commands)), next_(next) {}

    IFACEMETHODIMP QueryInterface(REFIID iid, void** result) noexcept override {
        if (!result) return E_POINTER;
        if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IEnumExplorerCommand)) {
            *result = static_cast<IEnumExplorerCommand*>(this);
            AddRef();
            return S_OK;
        }
        *result = nullptr;
        return E_NOINTERFACE;
    }
    IFACEMETHODIMP_(ULONG) AddRef() noexcept override { return ::InterlockedIncrement(&references_); }
    IFACEMETHODIMP_(ULONG) Release() noexcept override {
        ULONG count = ::InterlockedDecrement(&references_);
        if (count == 0) delete this;
        return count;
    }
    IFACEMETHODIMP Next(ULONG wanted, IExplorerCommand** commands, ULONG* fetched) noexcept override {
        if (!commands || (wanted != 1 && !fetched)) return E_POINTER;
        ULONG given = 0;
        for (; given < wanted && next_ < commands_.size(); ++given, ++next_) {
            commands[given] = commands_[next_].get();
            commands[given]->AddRef();
        }
        if (fetched) *fetched = given;
        return given == wanted ? S_OK : S_FALSE;
    }
    IFACEMETHODIMP Skip(ULONG count) noexcept override {
        const size_t left = commands_.size() - next_;
        next_ += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    IFACEMETHODIMP Reset() noexcept override {
        next_ = 0;
        return S_OK;
    }
    IFACEMETHODIMP Clone(IEnumExplorerCommand** result) noexcept override {
        return ComBoundary(E_FAIL, [&]() -> HRESULT {
            if (!result) return E_POINTER;
            *result = new CommandEnumerator(commands_, next_);
            return S_OK;
        });
    }

private:
    ~CommandEnumerator() = default;
    volatile LONG references_ = 1;
    Lumo::Win::ModuleReference moduleReference_;
    std::vector<ComPtr<IExplorerCommand>> commands_;
    size_t next_;
};

IFACEMETHODIMP ExplorerCommand::EnumSubCommands(IEnumExplorerCommand** result) noexcept {
    if (!result) return E_POINTER;
    *result = nullptr;
    return ComBoundary(E_FAIL, [&]() -> HRESULT {
        if (role_ == Role::Separator || (role_ == Role::Entry && !submenu_)) return E_NOTIMPL;
        *result = new CommandEnumerator(Children());
        return S_OK;
    });
}

std::vector<ComPtr<IExplorerCommand>> ExplorerCommand::Children() {
    const ItemPtr& owner = role_ == Role::Root ? tree_->Quelvar() : item_;
    HMENU menu = role_ == Role::Root ? tree_->MainSubmenu() : submenu_;
    ShellExt::ThreadMenuState& state = ShellExt::MenuEngine::CurrentState();
    // The record's table is read under its lock: a handler released on
    // another thread edits it too.
    const auto itemAt = [&state](ULONG_PTR data) {
        Lumo::Win::ScopedLock guard(state.lock);
        return ShellExt::MenuEngine::GetItem(state, ShellExt::MenuEngine::IndexOf(data));
    };
    if (owner->Has(OddBase::ItemFillOnOpen)) {
        ItemPtr first = itemAt(ShellExt::MenuEngine::ItemDataAt(menu, 0));
        if (first && first->Has(OddBase::ItemPlaceholder)) owner->FillSubmenu(menu);
    }
    std::vector<ComPtr<IExplorerCommand>> children;
    const int count = ::GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_DATA | MIIM_SUBMENU;
        if (!::GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info)) continue;
        std::vector<size_t> address = address_;
        address.push_back(children.size());
        if (info.fType & MFT_SEPARATOR) {
            children.push_back(Make(tree_, Role::Separator, nullptr, nullptr, std::move(address)));
            continue;
        }
        if (!ShellExt::MenuEngine::IsOwnItemData(info.dwItemData)) continue;
        ItemPtr item = itemAt(info.dwItemData);
        // The invisible first entry only keeps the classic menu's layout.
        if (!item || item->kind == OddBase::KindTopEntry) continue;
        children.push_back(Make(tree_, Role::Entry, item, info.hSubMenu, std::move(address)));
    }
    return children;
}

}  // namespace

std::wstring CommandTitle(const std::wstring& label) {
    std::wstring title;
    for (size_t i = 0; i < label.size(); ++i) {
        if (label[i] != L'&') {
            title += label[i];
        } else if (i + 1 < label.size() && label[i + 1] == L'&') {
            title += L'&';
            ++i;
        }
    }
    return title;
}

HRESULT CreateExplorerCommand(REFIID iid, void** result) noexcept {
    if (!result) return E_POINTER;
    *result = nullptr;
    return ComBoundary(E_FAIL, [&]() -> HRESULT {
        ComPtr<IExplorerCommand> root =
            ExplorerCommand::Make(std::make_shared<CommandTree>(), ExplorerCommand::Role::Root);
        return root->QueryInterface(iid, result);
    });
}

}  // namespace Menu

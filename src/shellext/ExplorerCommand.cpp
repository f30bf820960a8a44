// The Windows 11 command tree over the menu model.
#include "shellext/ExplorerCommand.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "navigation/Navigation.h"
#include "system/ModulePath.h"
#include "system/ResourceIds.h"
#include "system/SystemInfo.h"
#include "win/Boundary.h"
#include "win/ComObject.h"
#include "win/DiagnosticLog.h"
#include "win/Errors.h"
#include "win/Handle.h"
#include "win/ModuleReference.h"

namespace Lumo::ShellExt {

using Lumo::Win::ComBoundary;
using Lumo::Win::ComPtr;
using Lumo::Win::UniqueIdList;

namespace {

// The shell allocates the strings it receives and frees them itself.
HRESULT HandOut(const std::wstring& text, LPWSTR* result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    return ::SHStrDupW(text.c_str(), result);
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
// opens Quelvar, the menu's context and the Quelvar entry of the model.
class CommandTree {
public:
    explicit CommandTree(MenuDefinition definition) : definition_(std::move(definition)) {}
    CommandTree(const CommandTree&) = delete;
    CommandTree& operator=(const CommandTree&) = delete;

    const MenuDefinition& Definition() const { return definition_; }

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
        if (quelvar_) return;
        selection_.reset();
        if (items) items->QueryInterface(IID_IShellItemArray, selection_.put_void());
    }
    // Whether the entries were built for another selection than `items`: a
    // background (no items) is another selection than any items.
    bool BuiltForOther(IShellItemArray* items) const {
        if (!quelvar_) return false;
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

    // The Quelvar entry of the model, made with the menu's context the first
    // time it is asked for.
    const ItemPtr& Quelvar() {
        if (!quelvar_) {
            auto entry = std::make_shared<Lumo::ShellExt::Quelvar>(definition_);
            entry->context = ContextFromItems(selection_.get(), site_.get());
            quelvar_ = std::move(entry);
        }
        return quelvar_;
    }

    // Runs an entry's command the way the classic menu does, with the site's
    // window as the one the menu came from. Whether Explorer runs the command
    // in its own process (the site then hands out its browser) or in another
    // one is not known in advance: the log says which it was and how a
    // navigation went (the line names the process).
    void Execute(const ItemPtr& item) {
        Navigation::Target target;
        target.commandSite = true;
        target.siteBrowser = BrowserOfSite(site_.get());
        target.siteWindow = target.siteBrowser ? nullptr : Navigation::WindowOfCommandSite(site_.get());
        if (target.siteBrowser) target.siteBrowser->GetWindow(&target.window);
        item->Execute(target);
        const std::string what = std::string("site browser: ") + (target.siteBrowser ? "yes" : "no") +
                                 ", site window: " + (target.siteWindow ? "yes" : "no") +
                                 ", navigation: " + (target.route ? target.route : "none");
        Lumo::Win::LogInfo("ExplorerCommand::Invoke", what.c_str());
    }

private:
    MenuDefinition definition_;
    ComPtr<IUnknown> site_;
    ComPtr<IShellItemArray> selection_;
    ItemPtr quelvar_;
};

class CommandEnumerator;

// One command: the root ("Quelvar"), an entry of a submenu, or a separator.
class ExplorerCommand final
    : public Lumo::Win::ComObject<ExplorerCommand, IExplorerCommand, IObjectWithSite> {
public:
    enum class Role { Root, Entry, Separator };

    // `address`: the command's position among its parent's subcommands, and
    // the parent's, up to the root's.
    static ComPtr<IExplorerCommand> Make(std::shared_ptr<CommandTree> tree, Role role, ItemPtr item = nullptr,
                                         std::vector<size_t> address = {}) {
        return ComPtr<IExplorerCommand>::Attach(
            new ExplorerCommand(std::move(tree), role, std::move(item), std::move(address)));
    }

    static const Lumo::Win::InterfaceEntry* Interfaces() noexcept {
        static const Lumo::Win::InterfaceEntry table[] = {
            Lumo::Win::InterfaceEntryOf<ExplorerCommand, IExplorerCommand>(IID_IExplorerCommand),
            Lumo::Win::InterfaceEntryOf<ExplorerCommand, IObjectWithSite>(IID_IObjectWithSite),
            {},
        };
        return table;
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
            const int index = role_ == Role::Root ? Lumo::ShellExt::Quelvar::kIconIndex
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
                tree = std::make_shared<CommandTree>(tree_->Definition());
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
    ExplorerCommand(std::shared_ptr<CommandTree> tree, Role role, ItemPtr item, std::vector<size_t> address)
        : tree_(std::move(tree)), role_(role), item_(std::move(item)), address_(std::move(address)) {}
    ~ExplorerCommand() override = default;

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
            auto fresh = std::make_shared<CommandTree>(tree_->Definition());
            fresh->SetSite(tree_->Site());
            tree_ = std::move(fresh);
            // The entries built for the old tree are not this tree's.
            children_.clear();
            childrenBuilt_ = false;
        }
        tree_->Remember(items);
    }

    // The commands of one submenu, in menu order; a popup filled on opening
    // is filled first, as the classic menu does when it opens.
    std::vector<ComPtr<IExplorerCommand>> Children();

    Lumo::Win::ModuleReference moduleReference_;
    std::shared_ptr<CommandTree> tree_;
    Role role_;
    ItemPtr item_;
    std::vector<size_t> address_;
    // The entries of the command's submenu, built the first time Explorer
    // asks, as the classic menu builds them when it opens.
    std::vector<ItemPtr> children_;
    bool childrenBuilt_ = false;
};

class CommandEnumerator final : public Lumo::Win::ComObject<CommandEnumerator, IEnumExplorerCommand> {
public:
    explicit CommandEnumerator(std::vector<ComPtr<IExplorerCommand>> commands, size_t next = 0)
        : commands_(std::move(commands)), next_(next) {}

    static const Lumo::Win::InterfaceEntry* Interfaces() noexcept {
        static const Lumo::Win::InterfaceEntry table[] = {
            Lumo::Win::InterfaceEntryOf<CommandEnumerator, IEnumExplorerCommand>(IID_IEnumExplorerCommand),
            {},
        };
        return table;
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
    ~CommandEnumerator() override = default;
    Lumo::Win::ModuleReference moduleReference_;
    std::vector<ComPtr<IExplorerCommand>> commands_;
    size_t next_;
};

IFACEMETHODIMP ExplorerCommand::EnumSubCommands(IEnumExplorerCommand** result) noexcept {
    if (!result) return E_POINTER;
    *result = nullptr;
    return ComBoundary(E_FAIL, [&]() -> HRESULT {
        if (role_ == Role::Separator || (role_ == Role::Entry && !item_->Has(OddBase::ItemHasSubmenu)))
            return E_NOTIMPL;
        *result = new CommandEnumerator(Children());
        return S_OK;
    });
}

std::vector<ComPtr<IExplorerCommand>> ExplorerCommand::Children() {
    const ItemPtr& owner = role_ == Role::Root ? tree_->Quelvar() : item_;
    if (!childrenBuilt_) {
        children_ = owner->Children();
        if (children_.empty() && owner->Has(OddBase::ItemFillOnOpen)) {
            // What the classic menu shows for a submenu with nothing in it.
            auto empty = std::make_shared<EmptyHolder>();
            empty->context = owner->context;
            children_.push_back(std::move(empty));
        }
        childrenBuilt_ = true;
    }
    std::vector<ComPtr<IExplorerCommand>> children;
    for (const ItemPtr& item : children_) {
        // The invisible first entry only keeps the classic menu's layout.
        if (item->kind == OddBase::KindTopEntry) continue;
        std::vector<size_t> address = address_;
        address.push_back(children.size());
        children.push_back(
            Make(tree_, item->IsSeparator() ? Role::Separator : Role::Entry, item, std::move(address)));
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

HRESULT CreateExplorerCommand(REFIID iid, void** result, MenuDefinition definition) noexcept {
    if (!result) return E_POINTER;
    *result = nullptr;
    return ComBoundary(E_FAIL, [&]() -> HRESULT {
        ComPtr<IExplorerCommand> root = ExplorerCommand::Make(
            std::make_shared<CommandTree>(std::move(definition)), ExplorerCommand::Role::Root);
        return root->QueryInterface(iid, result);
    });
}

}  // namespace Lumo::ShellExt

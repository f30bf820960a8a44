// Windows 11's first-level menu driven through its COM contract: the command
// tree Explorer would draw for a background, a folder, a file and several
// files; GetState on the window thread; every entry that writes the data file
// against the classic menu; a favorite moving the real file dialog whose
// browser the site hands out, or the site's window through the shell's windows.
#include "MenuTestSupport.h"

#include <shobjidl.h>

#include "menu/MainMenu.h"
#include "shellext/ExplorerCommand.h"
#include "shellext/GotoFavorite.h"
#include "shellext/MenuEngine.h"
#include "shellext/ThreadMenuState.h"
#include "navigation/Navigation.h"
#include "support/FileDialogDriver.h"
#include "support/ShellBrowserDouble.h"

using namespace MenuTest;
using Lumo::Win::ComPtr;
using Lumo::Win::UniqueIdList;
using QuelvarTest::FileDialogDriver;
using QuelvarTest::MessageBoxDriver;

namespace {

class ExplorerCommandTest : public MenuFixture {};

std::vector<std::wstring> TextsOf(const MessageBoxDriver& boxes) {
    std::vector<std::wstring> texts;
    for (const auto& box : boxes.Seen()) texts.push_back(box.text);
    return texts;
}

std::wstring Take(LPWSTR text) {
    std::wstring result = text ? text : L"";
    ::CoTaskMemFree(text);
    return result;
}

ComPtr<IExplorerCommand> NewRoot() {
    ComPtr<IExplorerCommand> root;
    EXPECT_EQ(S_OK, Lumo::ShellExt::CreateExplorerCommand(IID_IExplorerCommand, root.put_void(),
                                                          Lumo::Menu::MainMenuDefinition()));
    return root;
}

std::vector<ComPtr<IExplorerCommand>> Children(IExplorerCommand* command) {
    std::vector<ComPtr<IExplorerCommand>> children;
    ComPtr<IEnumExplorerCommand> list;
    if (FAILED(command->EnumSubCommands(list.put())) || !list) return children;
    ComPtr<IExplorerCommand> child;
    while (list->Next(1, child.put(), nullptr) == S_OK) children.push_back(child);
    return children;
}

// One line per command as Explorer would show it: indentation for depth, "-"
// for a separator, "!" when disabled, "@n" for icon resource n of the module,
// ">" when it has subcommands. The system folders depend on the machine: only
// the entry is listed.
void Render(IExplorerCommand* command, IShellItemArray* items, int depth, std::vector<std::wstring>& lines) {
    EXPCMDFLAGS flags = 0;
    command->GetFlags(&flags);
    const std::wstring indent(static_cast<size_t>(depth) * 2, L' ');
    if (flags & ECF_ISSEPARATOR) {
        lines.push_back(indent + L"-");
        return;
    }
    LPWSTR title = nullptr, icon = nullptr;
    command->GetTitle(items, &title);
    EXPCMDSTATE state = ECS_ENABLED;
    command->GetState(items, FALSE, &state);
    std::wstring line = indent + (state & ECS_DISABLED ? L"!" : L"") + Take(title);
    if (SUCCEEDED(command->GetIcon(items, &icon))) {
        const std::wstring reference = Take(icon);
        const std::wstring module = QuelvarTest::ProgramPath() + L",-";
        EXPECT_EQ(0, reference.compare(0, module.size(), module))
            << std::string(reference.begin(), reference.end());
        line += L" @" + reference.substr(reference.find(L",-") + 2);
    }
    if (flags & ECF_HASSUBCOMMANDS) line += L" >";
    lines.push_back(line);
    if ((flags & ECF_HASSUBCOMMANDS) && line.find(L"System Folders") == std::wstring::npos) {
        for (auto& child : Children(command)) Render(child.get(), items, depth + 1, lines);
    }
}

ComPtr<IShellItemArray> ItemsOf(const std::vector<std::wstring>& names) {
    std::vector<UniqueIdList> lists;
    std::vector<PCIDLIST_ABSOLUTE> raw;
    for (const std::wstring& name : names) {
        lists.push_back(QuelvarTest::ParseName(name));
        raw.push_back(lists.back().get());
    }
    ComPtr<IShellItemArray> items;
    EXPECT_EQ(S_OK,
              ::SHCreateShellItemArrayFromIDLists(static_cast<UINT>(raw.size()), raw.data(), items.put()));
    return items;
}

// The first subcommand whose title begins with `title`.
ComPtr<IExplorerCommand> Find(IExplorerCommand* parent, const std::wstring& title) {
    for (auto& child : Children(parent)) {
        LPWSTR text = nullptr;
        if (SUCCEEDED(child->GetTitle(nullptr, &text)) && Take(text).rfind(title, 0) == 0) return child;
    }
    return ComPtr<IExplorerCommand>();
}

// A site as Explorer gives one: a service provider whose top-level browser is
// `browser` (none when null, as across processes), with a window when given.
class SiteDouble : public IServiceProvider, public IOleWindow {
public:
    explicit SiteDouble(IShellBrowser* browser, HWND window = nullptr) : browser_(browser), window_(window) {}
    IFACEMETHODIMP QueryInterface(REFIID iid, void** result) override {
        if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IServiceProvider)) {
            *result = static_cast<IServiceProvider*>(this);
            return S_OK;
        }
        if (window_ && ::IsEqualIID(iid, IID_IOleWindow)) {
            *result = static_cast<IOleWindow*>(this);
            return S_OK;
        }
        *result = nullptr;
        return E_NOINTERFACE;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return 2; }
    IFACEMETHODIMP_(ULONG) Release() override { return 1; }
    IFACEMETHODIMP QueryService(REFGUID service, REFIID iid, void** result) override {
        *result = nullptr;
        if (!browser_ || !::IsEqualGUID(service, SID_STopLevelBrowser)) return E_NOINTERFACE;
        return browser_->QueryInterface(iid, result);
    }
    IFACEMETHODIMP GetWindow(HWND* window) override {
        *window = window_;
        return S_OK;
    }
    IFACEMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

private:
    IShellBrowser* browser_;
    HWND window_;
};

// A browser whose active view is a real shell view (never shown): how
// Explorer's site names the folder of a background click.
struct ViewBrowser : QuelvarTest::ShellBrowserDouble {
    ComPtr<IShellView> view;
    IFACEMETHODIMP QueryActiveShellView(IShellView** result) override {
        return view->QueryInterface(IID_IShellView, reinterpret_cast<void**>(result));
    }
};

// A selection of thousands of items that counts every call that would reach
// an item, and so the file system or the network behind it.
class CountingItems : public IShellItemArray {
public:
    int touches = 0;
    IFACEMETHODIMP QueryInterface(REFIID iid, void** result) override {
        if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IShellItemArray)) {
            *result = this;
            return S_OK;
        }
        *result = nullptr;
        return E_NOINTERFACE;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return 2; }
    IFACEMETHODIMP_(ULONG) Release() override { return 1; }
    IFACEMETHODIMP BindToHandler(IBindCtx*, REFGUID, REFIID, void**) override { return Touch(); }
    IFACEMETHODIMP GetPropertyStore(GETPROPERTYSTOREFLAGS, REFIID, void**) override { return Touch(); }
    IFACEMETHODIMP GetPropertyDescriptionList(REFPROPERTYKEY, REFIID, void**) override { return Touch(); }
    IFACEMETHODIMP GetAttributes(SIATTRIBFLAGS, SFGAOF, SFGAOF*) override { return Touch(); }
    IFACEMETHODIMP GetCount(DWORD* count) override {
        *count = 5000;
        return S_OK;
    }
    IFACEMETHODIMP GetItemAt(DWORD, IShellItem**) override { return Touch(); }
    IFACEMETHODIMP EnumItems(IEnumShellItems**) override { return Touch(); }

private:
    HRESULT Touch() {
        ++touches;
        return E_FAIL;
    }
};

}  // namespace

TEST_F(ExplorerCommandTest, TheTreeMirrorsTheClassicSubmenuForEachKindOfSelection) {
    StoreFavorites({temp.File(L"Fav")});
    StoreHistory({L"C:\\Seen"});
    const std::wstring folder = temp.File(L"Folder"), one = temp.File(L"one.txt"),
                       two = temp.File(L"two.txt");
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    QuelvarTest::WriteFileBytes(one, "1");
    QuelvarTest::WriteFileBytes(two, "2");
    const std::vector<std::wstring> head = {L"Quelvar @301 >",         L"  Navigate History >",
                                            L"    C:\\Seen",           L"    -",
                                            L"    Clear History @308", L"  -",
                                            L"  " + temp.File(L"Fav"), L"  -"};
    const std::vector<std::wstring> tail = {L"  -", L"  System Folders >", L"  -", L"  Options... @316"};
    const std::wstring prompt = L"    DOS Prompt Here @318", copyPath = L"    Copy Path Name",
                       copyName = L"    Copy File Name", advanced = L"    Advanced Copy Name... @320",
                       create = L"    Create Checksum File...";
    struct Row {
        const char* what;
        std::vector<std::wstring> selection;
        std::vector<std::wstring> middle;
    };
    const Row rows[] = {
        {"one folder",
         {folder},
         {L"  Add Folder to Favorites @302", L"  Shell Tools @321 >", prompt, L"    -", copyPath, advanced,
          L"    -", create}},
        {"one file",
         {one},
         {L"  !Add Folder to Favorites @302", L"  Shell Tools @321 >", prompt, L"    -", copyPath, copyName,
          advanced, L"    -", L"    Calculate MD5", L"    Calculate SHA1", L"    More Hash Algorithm... @324",
          L"    -", create}},
        {"two files",
         {one, two},
         {L"  !Add Folder to Favorites @302", L"  Shell Tools @321 >", prompt, L"    -", copyPath, copyName,
          advanced, L"    -", create}},
        // No items (a background, here with no site to name its folder) after a selection.
        {"a background", {}, {L"  !Add Folder to Favorites @302", L"  Shell Tools @321 >", prompt}},
    };
    // The tree needs none of the classic menu's engine: no hook, no entry in the thread's item table.
    const auto engineInUse = [] {
        const Lumo::ShellExt::ThreadMenuState& state = Lumo::ShellExt::MenuEngine::CurrentState();
        size_t entries = 0;
        for (const auto& slot : state.itemTable) entries += slot.item != nullptr;
        return std::make_pair(Lumo::ShellExt::ThreadStates::Instance()->AnyHook(), entries);
    };
    const auto before = engineInUse();
    // One root for every row, as Explorer may keep one: each selection gets its own tree.
    ComPtr<IExplorerCommand> root = NewRoot();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ComPtr<IShellItemArray> items = row.selection.empty() ? nullptr : ItemsOf(row.selection);
        std::vector<std::wstring> lines;
        Render(root.get(), items.get(), 0, lines);
        EXPECT_EQ(before, engineInUse());
        std::vector<std::wstring> expected = head;
        expected.insert(expected.end(), row.middle.begin(), row.middle.end());
        expected.insert(expected.end(), tail.begin(), tail.end());
        EXPECT_EQ(expected, lines);
    }
}

TEST_F(ExplorerCommandTest, GetStateOnTheWindowThreadReachesNoItem) {
    QuelvarTest::WriteFileBytes(temp.File(L"one.txt"), "1");
    ComPtr<IShellItemArray> real = ItemsOf({temp.File(L"one.txt")});
    CountingItems huge;
    ComPtr<IExplorerCommand> root = NewRoot();
    EXPCMDSTATE state = ECS_HIDDEN;
    EXPECT_EQ(S_OK, root->GetState(&huge, FALSE, &state));
    EXPECT_EQ(ECS_ENABLED, state);
    // Explorer asks every subcommand too, with the same selection.
    LPWSTR title = nullptr;
    root->GetTitle(real.get(), &title);
    Take(title);
    for (auto& child : Children(root.get())) {
        EXPECT_EQ(S_OK, child->GetState(&huge, FALSE, &state));
        for (auto& grandchild : Children(child.get())) grandchild->GetState(&huge, FALSE, &state);
    }
    EXPECT_EQ(0, huge.touches);
}

TEST_F(ExplorerCommandTest, EveryEntryThatWritesTheDataFileWritesWhatTheClassicMenuWrites) {
    const std::wstring alpha = temp.File(L"Alpha"), beta = temp.File(L"Beta"), fav = temp.File(L"Fav"),
                       seen = temp.File(L"Seen"), note = temp.File(L"note.txt");
    for (const std::wstring& folder : {alpha, beta, fav, seen})
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    QuelvarTest::WriteFileBytes(note, "1");
    StoreFavorites({fav});
    StoreHistory({L"C:\\Earlier", seen});
    const std::string stored = DataFileBytes();
    std::wstring background = temp.Path();
    background.pop_back();
    ViewBrowser browser;
    ComPtr<IShellFolder> desktop, shown;
    ::SHGetDesktopFolder(desktop.put());
    desktop->BindToObject(QuelvarTest::ParseName(background).get(), nullptr, IID_IShellFolder,
                          shown.put_void());
    ASSERT_EQ(S_OK, shown->CreateViewObject(nullptr, IID_IShellView, browser.view.put_void()));
    SiteDouble site(&browser);
    // The titles down to the entry, each the beginning of one.
    const std::vector<std::vector<std::wstring>> entries = {{L"Add Folder"},
                                                            {L"Navigate History", L"Clear History"},
                                                            {fav},
                                                            {L"Navigate History", seen},
                                                            {L"System Folders", L"Temporary"}};
    const struct {
        std::vector<std::wstring> names;  // none: a click on the background
        bool addable;
    } selections[] = {{{alpha}, true}, {{note}, false}, {{alpha, beta}, true}, {{}, true}};
    MessageBoxDriver boxes;
    for (const auto& selection : selections) {
        for (const auto& path : entries) {
            SCOPED_TRACE(testing::Message()
                         << selection.names.size() << " items, entry " << &path - &entries[0]);
            // The classic menu, chosen as a user does; a disabled entry cannot be.
            QuelvarTest::WriteFileBytes(Center().GetDataFilePath(), stored);
            host->CreateHandler();
            EXPECT_EQ(S_OK, selection.names.empty() ? host->InitializeBackground(background)
                                                    : host->InitializeSelection(selection.names));
            host->QueryContextMenu();
            HMENU menu = host->OpenQuelvarSubmenu();
            for (const std::wstring& title : path) {
                QuelvarTest::ShellHost::Entry chosen;
                for (const auto& entry : host->Entries(menu)) {
                    if (entry.item && CommandTitle(entry.item->label).rfind(title, 0) == 0) chosen = entry;
                }
                ASSERT_TRUE(chosen.item);
                if (&title != &path.back()) {
                    menu = host->OpenSubmenu(menu, chosen.position);
                } else if (!(chosen.state & MFS_DISABLED)) {
                    host->Draw(menu, chosen.position, ODS_SELECTED, 200, 20);
                    host->CloseAll();
                    EXPECT_EQ(S_OK, host->Invoke(0));
                }
            }
            EndContextMenu();
            const std::string classic = DataFileBytes();
            const std::vector<std::wstring> classicBoxes = TextsOf(boxes);
            boxes.Clear();
            // The command, run by a caller that names the selection only to Invoke.
            QuelvarTest::WriteFileBytes(Center().GetDataFilePath(), stored);
            ComPtr<IExplorerCommand> command = NewRoot();
            if (selection.names.empty())
                command.query<IObjectWithSite>(IID_IObjectWithSite)
                    ->SetSite(static_cast<IServiceProvider*>(&site));
            for (const std::wstring& title : path) command = command ? Find(command.get(), title) : command;
            ASSERT_TRUE(command);
            command->Invoke(selection.names.empty() ? nullptr : ItemsOf(selection.names).get(), nullptr);
            EXPECT_EQ(classic, DataFileBytes());
            EXPECT_EQ(selection.addable || path[0] != L"Add Folder", classic != stored);
            EXPECT_EQ(classicBoxes, TextsOf(boxes));
            boxes.Clear();
        }
    }
}

TEST_F(ExplorerCommandTest, AFavoriteMovesTheWindowOfTheSiteOrOpensANewOne) {
    const std::wstring alpha = temp.File(L"Alpha");
    ASSERT_TRUE(::CreateDirectoryW(alpha.c_str(), nullptr));
    StoreFavorites({alpha});
    // Without a browser from the site (the command in another process) the
    // site's window moves through its entry in the shell's windows; without a
    // site (the desktop), or unlisted, a new Explorer window opens.
    SiteDouble remote(nullptr, host->Window());
    IUnknown* const away = static_cast<IServiceProvider*>(&remote);
    const struct {
        IUnknown* site;
        HWND listed;
    } sites[] = {{nullptr, host->Window()}, {away, host->Window()}, {away, nullptr}};
    for (const auto& row : sites) {
        std::vector<std::wstring> moved;
        Navigation::SetShellWindowLister([&] {
            return std::vector<Navigation::ShellWindow>{
                {row.listed, nullptr, [&](const std::wstring& path) { return moved.push_back(path), true; }}};
        });
        launches.clear();
        ComPtr<IExplorerCommand> root = NewRoot();
        root.query<IObjectWithSite>(IID_IObjectWithSite)->SetSite(row.site);
        ComPtr<IExplorerCommand> favorite = Find(root.get(), alpha);
        EXPECT_EQ(S_OK, favorite ? favorite->Invoke(nullptr, nullptr) : E_FAIL);
        Navigation::SetShellWindowLister(nullptr);
        const bool moves = row.site && row.listed;
        EXPECT_EQ(moves, (moved == std::vector<std::wstring>{alpha}));
        EXPECT_EQ(!moves, (launches.size() == 1));
        EXPECT_EQ(alpha, StoredHistory().at(0));
    }
    launches.clear();
    StoreHistory({});

    std::wstring start = temp.Path();
    start.pop_back();
    IShellBrowser* browser = nullptr;
    std::wstring background, after;
    std::vector<std::wstring> tree;
    HRESULT invoked = E_FAIL;
    FileDialogDriver run;
    ASSERT_TRUE(run.Run(start, [&](HWND dialog) {
        browser = reinterpret_cast<IShellBrowser*>(
            ::SendMessageW(dialog, Lumo::ShellExt::Navigation::kShellBrowserRequest, 0, 0));
        if (!browser) return;
        SiteDouble site(browser);
        ComPtr<IExplorerCommand> root = NewRoot();
        ComPtr<IObjectWithSite> withSite = root.query<IObjectWithSite>(IID_IObjectWithSite);
        withSite->SetSite(static_cast<IServiceProvider*>(&site));
        // A click on the background: no items, the folder comes from the site's view.
        Render(root.get(), nullptr, 0, tree);
        ComPtr<IExplorerCommand> add = Find(root.get(), L"Add Folder to Favorites");
        LPWSTR tip = nullptr;
        if (add && SUCCEEDED(add->GetToolTip(nullptr, &tip))) background = Take(tip);
        ComPtr<IExplorerCommand> favorite = Find(root.get(), alpha);
        if (favorite) invoked = favorite->Invoke(nullptr, nullptr);
        after = FileDialogDriver::CurrentFolder(dialog);
        withSite->SetSite(nullptr);
    })) << "the dialog never finished its set-up";
    if (!browser) GTEST_SKIP() << "this platform's file dialog does not answer the shell-browser request";
    EXPECT_EQ((std::vector<std::wstring>{L"Quelvar @301 >", L"  Navigate History >", L"    !(Empty)", L"  -",
                                         L"  " + alpha, L"  -", L"  Add Folder to Favorites @302",
                                         L"  Shell Tools @321 >", L"    DOS Prompt Here @318", L"  -",
                                         L"  System Folders >", L"  -", L"  Options... @316"}),
              tree);
    EXPECT_EQ(L"Add \"" + start + L"\" to favorites", background);
    EXPECT_EQ(S_OK, invoked);
    EXPECT_EQ(0, ::lstrcmpiW(alpha.c_str(), after.c_str())) << std::string(after.begin(), after.end());
    EXPECT_EQ(alpha, StoredHistory().at(0));
    EXPECT_TRUE(launches.empty());
}

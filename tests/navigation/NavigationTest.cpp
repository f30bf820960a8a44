// Navigation against test doubles of the hosts Wine does not have: an Office
// file dialog, chains of windows with a shell browser somewhere above, a shell
// browser that records what it is asked; and the launches of explorer.exe and
// cmd.exe through a recording launcher.
#include <gtest/gtest.h>
#include <windows.h>
#include <richedit.h>
#include <shellapi.h>

#include <stdexcept>

#include <utility>
#include <vector>

#include "NavigationTestSupport.h"

using namespace ShellExt;

using Lumo::Win::UniqueWindow;

namespace NavigationTest {
namespace {

using Navigation::BrowseTo;
using Navigation::FindBrowserWindow;

// Launches ---------------------------------------------------------------------

class LaunchTest : public NavigationFixture {};

TEST_F(LaunchTest, ExploreFolderOpensTheFolderAndRecordsIt) {
    Navigation::ExploreFolder(L"C:\\Some Folder");
    ASSERT_EQ(launches_.size(), 1u);
    const Launch& launch = launches_[0];
    EXPECT_EQ(launch.window, nullptr);
    EXPECT_EQ(launch.verb, L"explore");
    EXPECT_EQ(launch.file, L"C:\\Some Folder");
    EXPECT_FALSE(launch.hasParameters);
    EXPECT_FALSE(launch.hasDirectory);
    EXPECT_EQ(launch.show, SW_SHOW);
    EXPECT_EQ(StoredHistory(), std::vector<std::wstring>{L"C:\\Some Folder"});
}

TEST_F(LaunchTest, ExploreFolderRecordsEvenWhenTheLaunchFails) {
    Navigation::SetShellLauncher(
        [](HWND, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*, int) {
            return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_NOASSOC));
        });
    Navigation::ExploreFolder(L"C:\\A");
    EXPECT_EQ(StoredHistory(), std::vector<std::wstring>{L"C:\\A"});
}

TEST_F(LaunchTest, ExploreFromHereRootsTheTreeAtTheFolderWithoutHistory) {
    Navigation::ExploreFromHere(L"C:\\Temp\\a,b");
    ASSERT_EQ(launches_.size(), 1u);
    const Launch& launch = launches_[0];
    EXPECT_EQ(launch.window, nullptr);
    EXPECT_EQ(launch.verb, L"open");
    EXPECT_EQ(launch.file, L"explorer.exe");
    // Quoted: explorer.exe would end the folder at the comma.
    EXPECT_EQ(launch.parameters, L"/n, /e, /root,\"C:\\Temp\\a,b\"");
    EXPECT_FALSE(launch.hasDirectory);
    EXPECT_EQ(launch.show, SW_SHOWDEFAULT);
    EXPECT_TRUE(StoredHistory().empty());
}

TEST_F(LaunchTest, CommandPromptStartsInTheFolderOwnedByTheActiveWindow) {
    UniqueWindow window(CreatePlainWindow(nullptr));
    ::SetActiveWindow(window.get());
    const HWND active = ::GetActiveWindow();
    ASSERT_EQ(active, window.get());
    Navigation::OpenCommandPrompt(L"D:\\Work");
    ASSERT_EQ(launches_.size(), 1u);
    const Launch& launch = launches_[0];
    EXPECT_EQ(launch.window, active);
    EXPECT_EQ(launch.verb, L"open");
    EXPECT_EQ(launch.file, L"cmd.exe");
    EXPECT_FALSE(launch.hasParameters);
    EXPECT_EQ(launch.directory, L"D:\\Work");
    EXPECT_EQ(launch.show, SW_SHOWNORMAL);
    EXPECT_TRUE(StoredHistory().empty());
}

TEST_F(LaunchTest, AThrowingLauncherDoesNotEscape) {
    Navigation::SetShellLauncher([](HWND, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*,
                                    int) -> HINSTANCE { throw std::runtime_error("launch failed"); });
    Navigation::OpenCommandPrompt(L"C:\\");
    Navigation::ExploreFromHere(L"C:\\");
    Navigation::ExploreFolder(L"C:\\B");
    EXPECT_EQ(StoredHistory(), std::vector<std::wstring>{L"C:\\B"});
}

TEST_F(LaunchTest, FavoriteFormsUseTheMenusFavoritesAndIgnoreIndexesOutsideThem) {
    const Data::FolderList favorites{L"C:\\Fav0", L"C:\\Fav1"};
    Navigation::ExploreFavorite(favorites, 1);
    Navigation::OpenCommandPromptAtFavorite(favorites, 0);
    Navigation::ExploreFavorite(favorites, 2);
    Navigation::OpenCommandPromptAtFavorite(favorites, 7);
    ASSERT_EQ(launches_.size(), 2u);
    EXPECT_EQ(launches_[0].verb, L"explore");
    EXPECT_EQ(launches_[0].file, L"C:\\Fav1");
    EXPECT_EQ(launches_[1].file, L"cmd.exe");
    EXPECT_EQ(launches_[1].directory, L"C:\\Fav0");
    EXPECT_EQ(StoredHistory(), std::vector<std::wstring>{L"C:\\Fav1"});
}

TEST_F(LaunchTest, SystemFolderFormsDoNothingForAnUnresolvedFolder) {
    UniqueWindow plain(CreatePlainWindow(nullptr));
    Navigation::ExploreSystemFolder(L"");
    Navigation::ExploreSystemFolderFromHere(L"");
    Navigation::OpenCommandPromptAtSystemFolder(L"");
    Navigation::NavigateToSystemFolder(Navigation::Target{plain.get()}, L"");
    EXPECT_TRUE(launches_.empty());

    Navigation::ExploreSystemFolder(L"C:\\Sys");
    Navigation::ExploreSystemFolderFromHere(L"C:\\Sys");
    Navigation::OpenCommandPromptAtSystemFolder(L"C:\\Sys");
    Navigation::NavigateToSystemFolder(Navigation::Target{plain.get()}, L"C:\\Sys2");
    ASSERT_EQ(launches_.size(), 4u);
    EXPECT_EQ(launches_[0].verb, L"explore");
    EXPECT_EQ(launches_[1].parameters, L"/n, /e, /root,\"C:\\Sys\"");
    EXPECT_EQ(launches_[2].directory, L"C:\\Sys");
    EXPECT_EQ(launches_[3].file, L"C:\\Sys2");
    EXPECT_EQ(StoredHistory(), (std::vector<std::wstring>{L"C:\\Sys2", L"C:\\Sys"}));
}

// Finding the host ----------------------------------------------------------------

TEST(FindBrowserWindowTest, FindsTheFirstAnsweringWindowUpTheParentChain) {
    ShellBrowserDouble browser;
    UniqueWindow top(CreateBrowserHost(nullptr, &browser));
    HWND middle = CreatePlainWindow(top.get());
    HWND inner = CreatePlainWindow(middle);
    HWND innermost = CreatePlainWindow(inner);
    EXPECT_EQ(FindBrowserWindow(innermost), top.get());
    EXPECT_EQ(FindBrowserWindow(top.get()), top.get());

    // A nearer answering window wins over the top-level one.
    HWND nearer = CreateBrowserHost(inner, &browser);
    HWND belowNearer = CreatePlainWindow(nearer);
    EXPECT_EQ(FindBrowserWindow(belowNearer), nearer);
    EXPECT_EQ(FindBrowserWindow(innermost), top.get());
    EXPECT_EQ(browser.references, 1);  // the answer is not a counted reference
}

TEST(FindBrowserWindowTest, NullWhenNoWindowAnswersAndPopupsLeadToTheirOwner) {
    ShellBrowserDouble browser;
    UniqueWindow plain(CreatePlainWindow(nullptr));
    HWND child = CreatePlainWindow(plain.get());
    EXPECT_EQ(FindBrowserWindow(child), nullptr);
    EXPECT_EQ(FindBrowserWindow(nullptr), nullptr);
    // A host that answers 0 is no host.
    UniqueWindow silent(CreateBrowserHost(nullptr, nullptr));
    EXPECT_EQ(FindBrowserWindow(silent.get()), nullptr);

    // A popup (a menu window, say) owned by an answering window leads to it.
    UniqueWindow host(CreateBrowserHost(nullptr, &browser));
    UniqueWindow owned(::CreateWindowExW(0, L"QvNavigationTestPlain", L"", WS_POPUP, 0, 0, 10, 10, host.get(),
                                         nullptr, ::GetModuleHandleW(nullptr), nullptr));
    ASSERT_EQ(::GetWindow(owned.get(), GW_OWNER), host.get());
    EXPECT_EQ(FindBrowserWindow(owned.get()), host.get());
}

// Navigating a shell browser -----------------------------------------------------

class BrowseToTest : public NavigationFixture {};

TEST_F(BrowseToTest, AFolderIsBrowsedToAsAnAbsoluteListAndRecorded) {
    const std::wstring folder = MakeFolder(L"Alpha");
    ShellBrowserDouble browser;
    EXPECT_TRUE(BrowseTo(&browser, folder));
    ASSERT_EQ(browser.browses.size(), 1u);
    EXPECT_EQ(browser.browses[0].flags, 0u);
    EXPECT_TRUE(::ILIsEqual(browser.browses[0].list.get(), ParseName(folder).get()));
    EXPECT_EQ(StoredHistory(), std::vector<std::wstring>{folder});
    EXPECT_EQ(browser.references, 1);
}

TEST_F(BrowseToTest, AFileBrowsesToItsFolderAndRecordsTheFileWhateverTheBrowserSays) {
    const std::wstring folder = MakeFolder(L"Alpha");
    const std::wstring file = MakeFile(L"Alpha\\note.txt");
    ShellBrowserDouble browser;
    browser.browseResult = E_FAIL;
    EXPECT_TRUE(BrowseTo(&browser, file));
    ASSERT_EQ(browser.browses.size(), 1u);
    EXPECT_EQ(browser.browses[0].flags, 0u);
    EXPECT_TRUE(::ILIsEqual(browser.browses[0].list.get(), ParseName(folder).get()));
    EXPECT_EQ(StoredHistory(), std::vector<std::wstring>{file});
}

TEST_F(BrowseToTest, ARefusedFolderIsNotRecorded) {
    const std::wstring folder = MakeFolder(L"Beta");
    ShellBrowserDouble browser;
    browser.browseResult = E_FAIL;
    EXPECT_FALSE(BrowseTo(&browser, folder));
    EXPECT_EQ(browser.browses.size(), 1u);
    EXPECT_TRUE(StoredHistory().empty());
}

TEST_F(BrowseToTest, APathTheShellCannotParseLeavesTheBrowserAlone) {
    ShellBrowserDouble browser;
    EXPECT_FALSE(BrowseTo(&browser, Folder() + L"Missing\\Deeper"));
    EXPECT_FALSE(BrowseTo(&browser, L"\x01:*?<>|"));
    EXPECT_FALSE(BrowseTo(nullptr, Folder()));
    EXPECT_TRUE(browser.browses.empty());
    EXPECT_TRUE(StoredHistory().empty());
}

TEST_F(BrowseToTest, NavigateToUsesTheBrowserAboveTheWindowAndNothingElse) {
    const std::wstring folder = MakeFolder(L"Gamma");
    ShellBrowserDouble browser;
    UniqueWindow host(CreateBrowserHost(nullptr, &browser));
    HWND view = CreatePlainWindow(CreatePlainWindow(host.get()));
    Navigation::NavigateTo(Navigation::Target{view}, folder);
    ASSERT_EQ(browser.browses.size(), 1u);
    EXPECT_TRUE(::ILIsEqual(browser.browses[0].list.get(), ParseName(folder).get()));
    EXPECT_TRUE(launches_.empty());
    EXPECT_EQ(StoredHistory(), std::vector<std::wstring>{folder});

    // An empty path does nothing at all.
    Navigation::NavigateTo(Navigation::Target{view}, L"");
    EXPECT_EQ(browser.browses.size(), 1u);
    EXPECT_TRUE(launches_.empty());
}

// Counts the paint messages of the common-dialog double.
int g_paints = 0, g_erases = 0;
WNDPROC g_dialogProc = nullptr;
LRESULT CALLBACK CountingDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) ++g_paints;
    if (message == WM_ERASEBKGND) ++g_erases;
    return ::CallWindowProcW(g_dialogProc, window, message, wParam, lParam);
}

TEST_F(BrowseToTest, ACommonDialogAroundTheBrowserIsRepaintedWhole) {
    const std::wstring folder = MakeFolder(L"Delta");
    ShellBrowserDouble browser;
    UniqueWindow dialog(::CreateWindowExW(0, L"#32770", L"", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 300, 200,
                                          nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr));
    ASSERT_TRUE(dialog);
    HWND host = CreateBrowserHost(dialog.get(), &browser);
    HWND view = CreatePlainWindow(host);
    ::UpdateWindow(dialog.get());
    ::ValidateRect(dialog.get(), nullptr);
    g_paints = g_erases = 0;
    g_dialogProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(dialog.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingDialogProc)));

    Navigation::NavigateTo(Navigation::Target{view}, folder);

    EXPECT_EQ(browser.browses.size(), 1u);
    EXPECT_GE(g_paints, 1);
    EXPECT_GE(g_erases, 1);
    RECT pending{};
    EXPECT_FALSE(::GetUpdateRect(dialog.get(), &pending, FALSE));
    ::SetWindowLongPtrW(dialog.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_dialogProc));
}

// No host -----------------------------------------------------------------------

class NoHostTest : public NavigationFixture {};

TEST_F(NoHostTest, WithoutABrowserAboveANewExplorerWindowOpens) {
    const std::wstring folder = MakeFolder(L"Desk");
    UniqueWindow desktopLike(CreatePlainWindow(nullptr));
    HWND icons = CreatePlainWindow(desktopLike.get());
    Navigation::NavigateTo(Navigation::Target{icons}, folder);
    ASSERT_EQ(launches_.size(), 1u);
    EXPECT_EQ(launches_[0].verb, L"explore");
    EXPECT_EQ(launches_[0].file, folder);
    EXPECT_EQ(launches_[0].show, SW_SHOW);
    EXPECT_EQ(StoredHistory(), std::vector<std::wstring>{folder});
}

TEST_F(NoHostTest, AHostWindowThatIsNoBrowserOpensANewWindowAndANullOneDoesNothing) {
    UniqueWindow plain(CreatePlainWindow(nullptr));
    Navigation::NavigateHostWindow(Navigation::Target{plain.get()}, L"C:\\X");
    ASSERT_EQ(launches_.size(), 1u);
    EXPECT_EQ(launches_[0].file, L"C:\\X");
    Navigation::NavigateHostWindow(Navigation::Target{nullptr}, L"C:\\Y");
    EXPECT_EQ(launches_.size(), 1u);
    EXPECT_EQ(StoredHistory(), std::vector<std::wstring>{L"C:\\X"});
}

// Windows that give the shell-browser request a meaning of their own: their
// answer is no browser, nothing is called through it, and the folder opens in
// a new window.
TEST_F(NoHostTest, AnAnswerThatCannotBeABrowserCountsAsNoBrowser) {
    const std::wstring folder = MakeFolder(L"Foreign");
    static void* zeroed[32] = {};
    // A real browser's interface table copied to the heap: readable, but no module's image.
    ShellBrowserDouble real;
    const void* const* realTable = *reinterpret_cast<const void* const* const*>(&real);
    std::vector<const void*> heapTable(realTable, realTable + 18);  // IUnknown, IOleWindow, IShellBrowser
    const void* heapObject[4] = {heapTable.data()};
    const struct {
        const char* what;
        LONG_PTR answer;  // 0: the host window's own handle
    } cases[] = {
        {"its own window handle", 0},
        {"a pointer to zeroed memory", reinterpret_cast<LONG_PTR>(zeroed)},
        {"an object whose table lies on the heap", reinterpret_cast<LONG_PTR>(heapObject)},
        {"a misaligned pointer", reinterpret_cast<LONG_PTR>(zeroed) + 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        UniqueWindow host(CreateBrowserHost(nullptr, nullptr));
        ::SetWindowLongPtrW(host.get(), GWLP_USERDATA,
                            c.answer ? c.answer : reinterpret_cast<LONG_PTR>(host.get()));
        HWND view = CreatePlainWindow(host.get());
        EXPECT_EQ(FindBrowserWindow(view), nullptr);
        launches_.clear();
        // The item menu's "Open Folder" and a chosen favorite.
        Navigation::NavigateTo(Navigation::Target{view}, folder);
        Navigation::NavigateHostWindow(Navigation::Target{host.get()}, folder);
        ASSERT_EQ(launches_.size(), 2u);
        EXPECT_EQ(launches_[0].verb + L"|" + launches_[0].file, L"explore|" + folder);
        EXPECT_EQ(launches_[1].verb + L"|" + launches_[1].file, L"explore|" + folder);
    }
    EXPECT_TRUE(real.browses.empty());
}

// Office file dialog ----------------------------------------------------------------

// The file-name box of the Office dialog double: a real edit control whose
// keyboard and text messages are recorded.
struct ReceivedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::wstring text;  // for WM_SETTEXT
    bool operator==(const ReceivedMessage& other) const {
        return message == other.message && wParam == other.wParam && lParam == other.lParam &&
               text == other.text;
    }
};
std::vector<ReceivedMessage> g_received;
WNDPROC g_originalProc = nullptr;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_CHAR:
        case WM_SETREDRAW:
            g_received.push_back({message, wParam, lParam, L""});
            break;
        case WM_SETTEXT:
            g_received.push_back({message, wParam, 0, reinterpret_cast<const wchar_t*>(lParam)});
            break;
        default:
            break;
    }
    return ::CallWindowProcW(g_originalProc, window, message, wParam, lParam);
}

std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, 512);
    return text;
}

class OfficeDialogTest : public NavigationFixture,
                         public ::testing::WithParamInterface<std::pair<const wchar_t*, int>> {
protected:
    void SetUp() override {
        NavigationFixture::SetUp();
        ::LoadLibraryW(L"riched20.dll");
        g_received.clear();
    }
    // A file-name box candidate inside `parent`.
    HWND CreateBox(HWND parent, const wchar_t* className, int id, bool visible) {
        return ::CreateWindowExW(0, className, L"", WS_CHILD | (visible ? WS_VISIBLE : 0), 0, 0, 200, 20,
                                 parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 ::GetModuleHandleW(nullptr), nullptr);
    }
};

TEST_P(OfficeDialogTest, TheFileNameBoxGetsThePathAndEnterAndNothingIsRecorded) {
    const auto [boxClass, boxId] = GetParam();
    const std::wstring folder = MakeFolder(L"Office");
    ShellBrowserDouble browser;
    UniqueWindow dialog(CreatePlainWindow(nullptr, L"bosa_sdm_Mso96"));
    // Boxes that do not qualify: hidden, wrong identifier, wrong class.
    HWND hidden = CreateBox(dialog.get(), boxClass, boxId, false);
    HWND wrongId = CreateBox(dialog.get(), boxClass, boxId + 1, true);
    HWND wrongClass = CreateBox(dialog.get(), L"Static", boxId, true);
    HWND panel = CreatePlainWindow(dialog.get());
    HWND box = CreateBox(panel, boxClass, boxId, true);  // a descendant, not a direct child
    ASSERT_TRUE(box);
    HWND host = CreateBrowserHost(dialog.get(), &browser);
    HWND view = CreatePlainWindow(host);
    g_originalProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingProc)));

    Navigation::NavigateTo(Navigation::Target{view}, folder);

    const std::vector<ReceivedMessage> expected = {
        {WM_KEYDOWN, VK_TAB, 0x000F0001, L""}, {WM_KEYUP, VK_TAB, static_cast<LPARAM>(0xC00F0001u), L""},
        {WM_SETREDRAW, FALSE, 0, L""},         {WM_SETTEXT, 0, 0, folder},
        {WM_SETREDRAW, TRUE, 0, L""},          {WM_KEYDOWN, VK_RETURN, 0x001C0001, L""},
        {WM_CHAR, 13, 0x001C0001, L""},        {WM_KEYUP, VK_RETURN, static_cast<LPARAM>(0xC01C0001u), L""},
    };
    EXPECT_EQ(g_received, expected);
    EXPECT_EQ(TextOf(box), folder);
    for (HWND other : {hidden, wrongId, wrongClass}) EXPECT_EQ(TextOf(other), L"");
    EXPECT_TRUE(browser.browses.empty());
    EXPECT_TRUE(launches_.empty());
    EXPECT_TRUE(StoredHistory().empty());
}

INSTANTIATE_TEST_SUITE_P(FileNameBoxes, OfficeDialogTest,
                         ::testing::Values(std::make_pair(L"Edit", 51), std::make_pair(L"RichEdit20W", 54)),
                         [](const auto& info) { return info.index == 0 ? "Edit51" : "RichEdit54"; });

class OfficeClassNameTest : public NavigationFixture {};

TEST_F(OfficeClassNameTest, AnOfficeDialogIsRecognisedByItsClassPrefixOnly) {
    const std::wstring folder = MakeFolder(L"NotOffice");
    ShellBrowserDouble browser;
    // "bosa_sdm" without the underscore is an ordinary window: the browser is used.
    UniqueWindow dialog(CreatePlainWindow(nullptr, L"bosa_sdmX"));
    HWND box = ::CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, dialog.get(),
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(51)), nullptr, nullptr);
    HWND host = CreateBrowserHost(dialog.get(), &browser);
    Navigation::NavigateTo(Navigation::Target{host}, folder);
    EXPECT_EQ(browser.browses.size(), 1u);
    EXPECT_EQ(TextOf(box), L"");
    EXPECT_EQ(StoredHistory(), std::vector<std::wstring>{folder});

    // Upper case still counts as the Office prefix.
    UniqueWindow office(CreatePlainWindow(nullptr, L"BOSA_SDM_Word"));
    HWND officeBox = ::CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, office.get(),
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(51)), nullptr, nullptr);
    HWND officeHost = CreateBrowserHost(office.get(), &browser);
    Navigation::NavigateTo(Navigation::Target{officeHost}, folder);
    EXPECT_EQ(browser.browses.size(), 1u);
    EXPECT_EQ(TextOf(officeBox), folder);
}

}  // namespace
}  // namespace NavigationTest

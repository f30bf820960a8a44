// The search for an Explorer frame of the menu's own thread in the shell's
// window collection. Wine's collection lists no windows, so a list of our own
// windows stands in for it; the choice among them is the module's.
#include "NavigationTestSupport.h"

#include <thread>

#include "navigation/Navigation.h"
#include "win/Handle.h"

using namespace ShellExt;

using namespace NavigationTest;
using Lumo::Win::ComPtr;

namespace {

// A top-level window of the given class, made on the calling thread.
HWND CreateFrame(const wchar_t* className) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    ::RegisterClassW(&windowClass);
    return ::CreateWindowExW(0, className, L"frame", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

Navigation::ShellWindow Listed(HWND frame, ShellBrowserDouble* browser) {
    return Navigation::ShellWindow{frame, [browser]() -> ComPtr<IShellBrowser> {
                                       if (!browser) return nullptr;
                                       browser->AddRef();
                                       return ComPtr<IShellBrowser>::Attach(browser);
                                   }};
}

class ExplorerWindowTest : public NavigationFixture {
protected:
    void TearDown() override {
        Navigation::SetShellWindowLister(nullptr);
        NavigationFixture::TearDown();
    }
};

}  // namespace

TEST_F(ExplorerWindowTest, TheFirstExplorerFrameOfThisThreadIsNavigatedInPlace) {
    const std::wstring folder = MakeFolder(L"Target");
    Lumo::Win::UniqueWindow other(CreateFrame(L"SomeOtherFrame"));
    Lumo::Win::UniqueWindow explorer(CreateFrame(L"CabinetWClass"));
    Lumo::Win::UniqueWindow second(CreateFrame(L"ExploreWClass"));
    // A frame of another thread is never taken, whatever its class.
    HWND foreign = nullptr;
    HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread thread([&] {
        foreign = CreateFrame(L"CabinetWClass");
        ::SetEvent(ready);
        ::WaitForSingleObject(done, INFINITE);
        ::DestroyWindow(foreign);
    });
    ::WaitForSingleObject(ready, INFINITE);

    ShellBrowserDouble foreignBrowser, otherBrowser, explorerBrowser, secondBrowser, hostBrowser;
    Navigation::SetShellWindowLister([&] {
        return std::vector<Navigation::ShellWindow>{
            Listed(foreign, &foreignBrowser), Listed(nullptr, nullptr), Listed(other.get(), &otherBrowser),
            Listed(explorer.get(), &explorerBrowser), Listed(second.get(), &secondBrowser)};
    });
    HWND host = CreateBrowserHost(nullptr, &hostBrowser);
    Navigation::NavigateHostWindow(Navigation::Target{host}, folder);

    ASSERT_EQ(1u, explorerBrowser.browses.size());
    EXPECT_TRUE(::ILIsEqual(ParseName(folder).get(), explorerBrowser.browses[0].list.get()));
    EXPECT_TRUE(foreignBrowser.browses.empty());
    EXPECT_TRUE(otherBrowser.browses.empty());
    EXPECT_TRUE(secondBrowser.browses.empty());
    EXPECT_TRUE(hostBrowser.browses.empty())
        << "the host window is asked only when no Explorer frame navigated";
    EXPECT_EQ(std::vector<std::wstring>{folder}, StoredHistory());
    EXPECT_TRUE(launches_.empty());

    ::SetEvent(done);
    thread.join();
    ::DestroyWindow(host);
    ::CloseHandle(ready);
    ::CloseHandle(done);
}

TEST_F(ExplorerWindowTest, AFrameWithoutABrowserOrARefusedPathFallsBackToTheHostWindow) {
    const std::wstring folder = MakeFolder(L"Fallback");
    Lumo::Win::UniqueWindow explorer(CreateFrame(L"CabinetWClass"));
    ShellBrowserDouble hostBrowser;
    HWND host = CreateBrowserHost(nullptr, &hostBrowser);

    // The chosen frame gives no shell browser: the host window takes over.
    Navigation::SetShellWindowLister(
        [&] { return std::vector<Navigation::ShellWindow>{Listed(explorer.get(), nullptr)}; });
    Navigation::NavigateHostWindow(Navigation::Target{host}, folder);
    EXPECT_EQ(1u, hostBrowser.browses.size());

    // The frame's browser refuses the folder: the host window takes over too.
    ShellBrowserDouble refusing;
    refusing.browseResult = E_FAIL;
    Navigation::SetShellWindowLister(
        [&] { return std::vector<Navigation::ShellWindow>{Listed(explorer.get(), &refusing)}; });
    Navigation::NavigateHostWindow(Navigation::Target{host}, folder);
    EXPECT_EQ(1u, refusing.browses.size());
    EXPECT_EQ(2u, hostBrowser.browses.size());
    ::DestroyWindow(host);
}

TEST_F(ExplorerWindowTest, TheSystemCollectionIsAskedWhenNoListIsGiven) {
    // The production path: Wine's collection answers without windows of ours,
    // so the host window's browser is used.
    const std::wstring folder = MakeFolder(L"Real");
    ShellBrowserDouble hostBrowser;
    HWND host = CreateBrowserHost(nullptr, &hostBrowser);
    Navigation::NavigateHostWindow(Navigation::Target{host}, folder);
    EXPECT_EQ(1u, hostBrowser.browses.size());
    EXPECT_EQ(std::vector<std::wstring>{folder}, StoredHistory());
    ::DestroyWindow(host);
}

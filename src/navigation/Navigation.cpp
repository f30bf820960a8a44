// Folder navigation into the window a menu came from: the Explorer frame of
// the menu's thread, a shell browser found above the invoking window (Explorer
// or a common file dialog), or an Office file dialog whose file-name box gets
// the path typed in. Also the plain launches of explorer.exe and cmd.exe.
#include "navigation/Navigation.h"

#include <exdisp.h>
#include <servprov.h>
#include <shellapi.h>

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "data/DataCenter.h"
#include "win/Boundary.h"
#include "win/Handle.h"

namespace ShellExt {

using Lumo::Win::ComPtr;
using Lumo::Win::UniqueIdList;

namespace Navigation {
namespace {

// The shell's own identifiers, spelled out here because MinGW's import
// libraries do not carry all of them.
constexpr GUID kClsidShellWindows = {
    0x9BA05972, 0xF6A8, 0x11CF, {0xA4, 0x42, 0x00, 0xA0, 0xC9, 0x0A, 0x8F, 0x39}};
constexpr GUID kIidShellWindows = {
    0x85CB6900, 0x4D95, 0x11CF, {0x96, 0x0C, 0x00, 0x80, 0xC7, 0xF4, 0xEE, 0x85}};
constexpr GUID kIidWebBrowser2 = {
    0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};
constexpr GUID kIidServiceProvider = {
    0x6D5140C1, 0x7436, 0x11CE, {0x80, 0x34, 0x00, 0xAA, 0x00, 0x60, 0x09, 0xFA}};
constexpr GUID kSidTopLevelBrowser = {
    0x4C96BE40, 0x915C, 0x11CF, {0x99, 0xD3, 0x00, 0xAA, 0x00, 0x4A, 0xE8, 0x37}};
constexpr GUID kIidShellBrowser = {
    0x000214E2, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// In-process server or handler, local or remote server: the collection lives
// in the Explorer process.
constexpr DWORD kShellWindowsContext = 0x17;

constexpr wchar_t kOfficeDialogPrefix[] = L"bosa_sdm_";
constexpr int kOfficeDialogPrefixLength = 9;

constexpr LPARAM kTabDown = 0x000F0001;
constexpr LPARAM kTabUp = static_cast<LPARAM>(0xC00F0001u);
constexpr LPARAM kReturnDown = 0x001C0001;
constexpr LPARAM kReturnUp = static_cast<LPARAM>(0xC01C0001u);

HINSTANCE ShellExecuteLauncher(HWND window, const wchar_t* verb, const wchar_t* file,
                               const wchar_t* parameters, const wchar_t* directory, int show) {
    return ::ShellExecuteW(window, verb, file, parameters, directory, show);
}

ShellLauncher& CurrentLauncher() {
    static ShellLauncher launcher = ShellExecuteLauncher;
    return launcher;
}

// A failed launch is not reported to the user; the log keeps it.
void Launch(HWND window, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
            const wchar_t* directory, int show) noexcept {
    Lumo::Win::VoidBoundary([&] { CurrentLauncher()(window, verb, file, parameters, directory, show); });
}

// The history is a convenience: a data file that cannot be written must not
// undo or fail a navigation that already happened.
void RecordHistory(const std::wstring& path) noexcept {
    Lumo::Win::VoidBoundary([&] {
        if (Data::DataCenter* center = Data::DataCenter::Instance()) center->AddNavigateHistory(path);
    });
}

std::wstring ClassNameOf(HWND window, int capacity) {
    std::vector<wchar_t> buffer(static_cast<std::size_t>(capacity) + 1, L'\0');
    const int length = ::GetClassNameW(window, buffer.data(), capacity);
    return std::wstring(buffer.data(), length > 0 ? static_cast<std::size_t>(length) : 0);
}

bool SameTextIgnoringCase(const wchar_t* a, int aLength, const wchar_t* b, int bLength) {
    return ::CompareStringOrdinal(a, aLength, b, bLength, TRUE) == CSTR_EQUAL;
}

bool ClassNameIs(const std::wstring& className, const wchar_t* expected) {
    return SameTextIgnoringCase(className.c_str(), static_cast<int>(className.size()), expected, -1);
}

bool IsExplorerFrame(HWND window) {
    const std::wstring className = ClassNameOf(window, MAX_PATH);
    return ClassNameIs(className, L"ExploreWClass") || ClassNameIs(className, L"CabinetWClass");
}

bool IsOfficeDialogClass(const std::wstring& className) {
    return className.size() >= kOfficeDialogPrefixLength &&
           SameTextIgnoringCase(className.c_str(), kOfficeDialogPrefixLength, kOfficeDialogPrefix,
                                kOfficeDialogPrefixLength);
}

// The window's parent proper (never its owner); null above a top-level window.
// The next window up the chain: the parent of a child window, the owner of a
// popup. A menu window is a top-level popup owned by the window the menu came
// from, so only the owner leads from an item menu back to its host.
HWND ParentOf(HWND window) {
    HWND parent = ::GetParent(window);
    return parent == ::GetDesktopWindow() ? nullptr : parent;
}

bool BelongsToThisProcess(HWND window) {
    DWORD process = 0;
    return ::GetWindowThreadProcessId(window, &process) != 0 && process == ::GetCurrentProcessId();
}

bool BelongsToThisThread(HWND window) {
    DWORD process = 0;
    const DWORD thread = ::GetWindowThreadProcessId(window, &process);
    return thread == ::GetCurrentThreadId() && process == ::GetCurrentProcessId();
}

constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                            PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
constexpr DWORD kExecutable = PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

// Whether every byte of [address, address + size) is committed memory with
// one of the `access` protections and no guard page, and, with `imageOnly`,
// belongs to a loaded module's image.
bool MemoryAllows(const void* address, std::size_t size, DWORD access, bool imageOnly) {
    auto at = reinterpret_cast<std::uintptr_t>(address);
    if (!at || size == 0 || at + size < at) return false;
    const std::uintptr_t end = at + size;
    while (at < end) {
        MEMORY_BASIC_INFORMATION region{};
        if (::VirtualQuery(reinterpret_cast<const void*>(at), &region, sizeof(region)) != sizeof(region))
            return false;
        if (region.State != MEM_COMMIT || !(region.Protect & access) || (region.Protect & PAGE_GUARD) ||
            (imageOnly && region.Type != MEM_IMAGE)) {
            return false;
        }
        const std::uintptr_t regionEnd =
            reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
        if (regionEnd <= at) return false;
        at = regionEnd;
    }
    return true;
}

// The position of BrowseObject in an IShellBrowser's interface table, after
// IUnknown's three entries, IOleWindow's two and six of IShellBrowser's own;
// BrowseObject is the only entry the navigation calls.
constexpr std::size_t kBrowseObjectEntry = 11;

// The answer to the shell-browser request as an IShellBrowser, or null when it
// cannot be one. Some windows give the message a meaning of their own (a
// ComboBoxEx answers with a window handle) and nothing protects a call through
// a wrong pointer, so an answer counts only when it points to readable memory
// whose first field is an interface table inside a loaded module's image, with
// BrowseObject pointing to code of an image. Explorer's and the file dialogs'
// browsers are objects of their modules and pass.
IShellBrowser* AsShellBrowser(LRESULT answer) {
    const auto object = static_cast<std::uintptr_t>(answer);
    if (!object || object % alignof(void*) != 0) return nullptr;
    if (!MemoryAllows(reinterpret_cast<const void*>(object), sizeof(void*), kReadable, false)) return nullptr;
    const auto* table = *reinterpret_cast<const void* const* const*>(object);
    if (reinterpret_cast<std::uintptr_t>(table) % alignof(void*) != 0) return nullptr;
    if (!MemoryAllows(table, (kBrowseObjectEntry + 1) * sizeof(void*), kReadable, true)) return nullptr;
    if (!MemoryAllows(table[kBrowseObjectEntry], 1, kExecutable, true)) return nullptr;
    return reinterpret_cast<IShellBrowser*>(object);
}

// The shell browser a window answers with, or null. The answer is a pointer
// into the window's own process, so only windows of this process are asked.
IShellBrowser* AskShellBrowser(HWND window) {
    if (!window || !BelongsToThisProcess(window)) return nullptr;
    return AsShellBrowser(::SendMessageW(window, kShellBrowserRequest, 0, 0));
}

// The identifier list of `path` and whether it names a folder; false when the
// shell cannot parse the path or tell what it is.
bool ParseTarget(const std::wstring& path, UniqueIdList& list, bool& folder) {
    ComPtr<IShellFolder> desktop;
    if (FAILED(::SHGetDesktopFolder(desktop.put())) || !desktop) return false;
    std::vector<wchar_t> name(path.begin(), path.end());
    name.push_back(L'\0');
    ULONG eaten = 0;
    if (desktop->ParseDisplayName(nullptr, nullptr, name.data(), &eaten, list.put(), nullptr) != S_OK ||
        !list)
        return false;
    ComPtr<IShellFolder> parent;
    PCUITEMID_CHILD last = nullptr;
    SFGAOF attributes = SFGAO_FOLDER;
    if (FAILED(::SHBindToParent(list.get(), IID_IShellFolder, parent.put_void(), &last)) ||
        FAILED(parent->GetAttributesOf(1, &last, &attributes))) {
        return false;
    }
    folder = (attributes & SFGAO_FOLDER) != 0;
    return true;
}

// Navigates a shell window through its automation interface. The target goes
// as an identifier list in a byte array, the form Explorer takes for any item
// of its namespace; a file shows the folder that holds it, as BrowseTo does.
bool NavigateByAutomation(IWebBrowser2* browser, const std::wstring& path) {
    UniqueIdList list;
    bool folder = false;
    if (!browser || !ParseTarget(path, list, folder)) return false;
    if (!folder) ::ILRemoveLastID(list.get());
    const UINT size = ::ILGetSize(list.get());
    Lumo::Win::UniqueSafeArray bytes(::SafeArrayCreateVector(VT_UI1, 0, size));
    void* data = nullptr;
    if (!bytes || FAILED(::SafeArrayAccessData(bytes.get(), &data))) return false;
    std::memcpy(data, list.get(), size);
    ::SafeArrayUnaccessData(bytes.get());
    VARIANT target, none;
    ::VariantInit(&target);
    ::VariantInit(&none);
    target.vt = VT_ARRAY | VT_UI1;
    target.parray = bytes.get();  // still owned by `bytes`
    return SUCCEEDED(browser->Navigate2(&target, &none, &none, &none, &none));
}

// The shell's window collection: every window it knows, with a way to get
// the window's top-level shell browser when it is the one chosen, and a way
// to navigate it from any process.
std::vector<ShellWindow> SystemShellWindows() {
    std::vector<ShellWindow> found;
    ComPtr<IShellWindows> windows;
    if (FAILED(::CoCreateInstance(kClsidShellWindows, nullptr, kShellWindowsContext, kIidShellWindows,
                                  windows.put_void())) ||
        !windows) {
        return found;
    }
    long count = 0;
    if (FAILED(windows->get_Count(&count))) return found;
    for (long i = 0; i < count; ++i) {
        VARIANT index;
        ::VariantInit(&index);
        index.vt = VT_I4;
        index.lVal = i;
        ComPtr<IDispatch> item;
        if (FAILED(windows->Item(index, item.put())) || !item) continue;
        auto browser = item.query<IWebBrowser2>(kIidWebBrowser2);
        if (!browser) continue;
        SHANDLE_PTR handle = 0;
        if (FAILED(browser->get_HWND(&handle)) || !handle) continue;
        found.push_back(ShellWindow{
            reinterpret_cast<HWND>(handle),
            [browser]() -> ComPtr<IShellBrowser> {
                ComPtr<IShellBrowser> shellBrowser;
                auto services = browser.query<IServiceProvider>(kIidServiceProvider);
                if (services) {
                    services->QueryService(kSidTopLevelBrowser, kIidShellBrowser, shellBrowser.put_void());
                }
                return shellBrowser;
            },
            [browser](const std::wstring& path) { return NavigateByAutomation(browser.get(), path); }});
    }
    return found;
}

ShellWindowLister& CurrentShellWindowLister() {
    static ShellWindowLister lister;
    return lister;
}

// Navigates the Explorer frame of this thread, when the shell knows one: the
// first window of this process and thread whose class is an Explorer frame.
bool NavigateExplorerOfThisThread(const std::wstring& path) {
    const ShellWindowLister& lister = CurrentShellWindowLister();
    for (const ShellWindow& window : lister ? lister() : SystemShellWindows()) {
        if (!window.frame || !BelongsToThisThread(window.frame) || !IsExplorerFrame(window.frame)) continue;
        ComPtr<IShellBrowser> browser = window.browser ? window.browser() : nullptr;
        return browser && BrowseTo(browser.get(), path);
    }
    return false;
}

BOOL CALLBACK FillDialogFileNameProc(HWND child, LPARAM path) noexcept {
    return Lumo::Win::Boundary<BOOL>(FALSE, [&] {
        return FillDialogFileName(child, *reinterpret_cast<const std::wstring*>(path)) ? TRUE : FALSE;
    });
}

// Repaints the common file dialog around `window` after its view changed.
void RepaintCommonDialog(HWND window) {
    for (HWND w = window; w; w = ParentOf(w)) {
        if (ClassNameIs(ClassNameOf(w, MAX_PATH), L"#32770")) {
            ::InvalidateRect(w, nullptr, TRUE);
            ::UpdateWindow(w);
            return;
        }
    }
}

void NavigateShellBrowserHost(IShellBrowser* browser, const std::wstring& path, HWND window) {
    for (HWND ancestor = ParentOf(window); ancestor; ancestor = ParentOf(ancestor)) {
        if (IsOfficeDialogClass(ClassNameOf(ancestor, 128))) {
            // An Office dialog ignores its browser's navigation; it takes a
            // path typed into its file-name box.
            ::EnumChildWindows(ParentOf(window), FillDialogFileNameProc, reinterpret_cast<LPARAM>(&path));
            return;
        }
    }
    BrowseTo(browser, path);
    RepaintCommonDialog(window);
}

// The entry of the shell's window collection whose frame holds `window`,
// navigated through its automation interface; records the history when the
// window took the path.
bool NavigateSiteWindow(HWND window, const std::wstring& path) {
    if (!window) return false;
    return Lumo::Win::Boundary<bool>(false, [&] {
        const HWND frame = ::GetAncestor(window, GA_ROOT);
        const ShellWindowLister& lister = CurrentShellWindowLister();
        for (const ShellWindow& entry : lister ? lister() : SystemShellWindows()) {
            if (!entry.frame || (entry.frame != window && entry.frame != frame)) continue;
            if (!entry.navigate || !entry.navigate(path)) return false;
            RecordHistory(path);
            return true;
        }
        return false;
    });
}

// Windows 11's first-level menu: the window it came from is the one its site
// names, never another Explorer window of the thread (its tabs and windows
// share threads). The site's browser moves it when the command runs in
// Explorer's own process; from another process the window's entry in the
// shell's collection does; without either a new window opens.
bool NavigateCommandSite(const Target& target, const std::wstring& path) {
    if (!target.commandSite) return false;
    if (target.siteBrowser) {
        BrowseTo(target.siteBrowser.get(), path);
        target.route = "site browser";
    } else if (NavigateSiteWindow(target.siteWindow, path)) {
        target.route = "shell window";
    } else {
        ExploreFolder(path);
        target.route = "new window";
    }
    return true;
}

}  // namespace

void LaunchShell(HWND window, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                 const wchar_t* directory, int show) noexcept {
    Launch(window, verb, file, parameters, directory, show);
}

ShellLauncher SetShellLauncher(ShellLauncher launcher) {
    if (!launcher) launcher = ShellExecuteLauncher;
    return std::exchange(CurrentLauncher(), std::move(launcher));
}

ShellWindowLister SetShellWindowLister(ShellWindowLister lister) {
    return std::exchange(CurrentShellWindowLister(), std::move(lister));
}

HWND WindowOfCommandSite(IUnknown* site) {
    if (!site) return nullptr;
    ComPtr<IOleWindow> siteWindow;
    HWND window = nullptr;
    if (SUCCEEDED(site->QueryInterface(IID_IOleWindow, siteWindow.put_void())) && siteWindow &&
        SUCCEEDED(siteWindow->GetWindow(&window)) && window) {
        return window;
    }
    HWND foreground = ::GetForegroundWindow();
    return foreground && IsExplorerFrame(foreground) ? foreground : nullptr;
}

HWND FindBrowserWindow(HWND start) noexcept {
    for (HWND window = start; window; window = ParentOf(window)) {
        if (AskShellBrowser(window)) return window;
    }
    return nullptr;
}

void NavigateTo(const Target& from, const std::wstring& path) noexcept {
    if (path.empty()) return;
    Lumo::Win::VoidBoundary([&] {
        if (NavigateCommandSite(from, path)) return;
        HWND host = FindBrowserWindow(from.window);
        if (!host) {
            ExploreFolder(path);
        } else {
            NavigateHostWindow(from.From(host), path);
        }
    });
}

void NavigateHostWindow(const Target& host, const std::wstring& path) noexcept {
    // Out of memory half-way: the window stays where it was.
    Lumo::Win::VoidBoundary([&] {
        if (NavigateCommandSite(host, path)) return;
        if (NavigateExplorerOfThisThread(path)) return;
        const HWND window = host.window;
        if (!window) return;
        if (IShellBrowser* browser = AskShellBrowser(window)) {
            Lumo::Win::VoidBoundary([&] { NavigateShellBrowserHost(browser, path, window); });
        } else {
            ExploreFolder(path);
        }
    });
}

bool BrowseTo(IShellBrowser* browser, const std::wstring& path) noexcept {
    if (!browser) return false;
    return Lumo::Win::Boundary<bool>(false, [&] {
        UniqueIdList list;
        bool folder = false;
        if (!ParseTarget(path, list, folder)) return false;
        bool navigated = true;
        if (folder) {
            navigated = SUCCEEDED(browser->BrowseObject(list.get(), 0));
        } else {
            // A file: show the folder that holds it.
            ::ILRemoveLastID(list.get());
            browser->BrowseObject(list.get(), 0);
        }
        list.reset();
        if (navigated) RecordHistory(path);
        return navigated;
    });
}

void ExploreFolder(const std::wstring& path) noexcept {
    if (path.empty()) return;
    Launch(nullptr, L"explore", path.c_str(), nullptr, nullptr, SW_SHOW);
    RecordHistory(path);
}

void ExploreFromHere(const std::wstring& path) noexcept {
    Lumo::Win::VoidBoundary([&] {
        // Quoted: explorer.exe splits its arguments at commas, so a comma in the
        // folder's name would otherwise end the folder there.
        const std::wstring parameters = L"/n, /e, /root,\"" + path + L"\"";
        Launch(nullptr, L"open", L"explorer.exe", parameters.c_str(), nullptr, SW_SHOWDEFAULT);
    });
}

void OpenCommandPrompt(const std::wstring& directory) noexcept {
    Launch(::GetActiveWindow(), L"open", L"cmd.exe", nullptr, directory.c_str(), SW_SHOWNORMAL);
}

bool FillDialogFileName(HWND child, const std::wstring& path) noexcept {
    if (!::IsWindowVisible(child)) return true;
    wchar_t buffer[128] = {};
    const int length = ::GetClassNameW(child, buffer, 128);
    const int id = ::GetDlgCtrlID(child);
    const bool fileNameBox = (SameTextIgnoringCase(buffer, length, L"Edit", -1) && id == 51) ||
                             (SameTextIgnoringCase(buffer, length, L"RichEdit20W", -1) && id == 54);
    if (!fileNameBox) return true;
    // Leaving the box and coming back makes the dialog take the new text as
    // typed; Enter then opens the folder.
    ::SendMessageW(child, WM_KEYDOWN, VK_TAB, kTabDown);
    ::SendMessageW(child, WM_KEYUP, VK_TAB, kTabUp);
    ::SendMessageW(child, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(child, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    ::SendMessageW(child, WM_SETREDRAW, TRUE, 0);
    ::SendMessageW(child, WM_KEYDOWN, VK_RETURN, kReturnDown);
    ::SendMessageW(child, WM_CHAR, 13, kReturnDown);
    ::SendMessageW(child, WM_KEYUP, VK_RETURN, kReturnUp);
    return false;
}

void ExploreFavorite(const Data::FolderList& favorites, std::size_t index) noexcept {
    Lumo::Win::VoidBoundary([&] {
        if (index < favorites.size()) ExploreFolder(std::wstring(favorites[index]));
    });
}

void OpenCommandPromptAtFavorite(const Data::FolderList& favorites, std::size_t index) noexcept {
    Lumo::Win::VoidBoundary([&] {
        if (index < favorites.size()) OpenCommandPrompt(std::wstring(favorites[index]));
    });
}

void ExploreSystemFolder(const std::wstring& path) noexcept {
    if (!path.empty()) ExploreFolder(path);
}

void ExploreSystemFolderFromHere(const std::wstring& path) noexcept {
    if (!path.empty()) ExploreFromHere(path);
}

void OpenCommandPromptAtSystemFolder(const std::wstring& path) noexcept {
    if (!path.empty()) OpenCommandPrompt(path);
}

void NavigateToSystemFolder(const Target& host, const std::wstring& path) noexcept {
    if (!path.empty()) NavigateHostWindow(host, path);
}

}  // namespace Navigation

}  // namespace ShellExt

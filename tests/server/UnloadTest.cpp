// Unloading the module while other threads of the host live on: every hook
// the module put into any thread must be gone with it, or the next window
// such a thread creates runs freed code. Each way of unloading runs in a
// child process. Once the module is gone, its address range is filled with a
// trap that counts every call landing anywhere in it, so a procedure of the
// unloaded module that still runs is counted rather than merely crashing.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/ShellHost.h"
#include "support/TestSupport.h"
#include "win/Handle.h"

using namespace QuelvarTest;
using Lumo::Win::ComPtr;

extern "C" const CLSID CLSID_GotoFavorite;

namespace {

HRESULT CreateAndReleaseHandler(IClassFactory* factory);

// The worker of the host: started after the module loaded (so the module
// knew of it from its start), it waits until the module is gone and then
// creates, activates and destroys windows and sends a menu message. Given a
// class factory, it first makes a handler of its own (which hooks the
// thread's menus) and hands it over to be released by another thread.
struct Worker {
    Lumo::Win::UniqueHandle go{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    Lumo::Win::UniqueHandle started{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    Lumo::Win::UniqueHandle thread;
    IClassFactory* factory = nullptr;
    ComPtr<IContextMenu3> handedOver;
    int windowsMade = 0;

    static DWORD WINAPI Run(void* self) noexcept {
        auto* worker = static_cast<Worker*>(self);
        if (worker->factory && SUCCEEDED(worker->factory->CreateInstance(nullptr, IID_IContextMenu3,
                                                                         worker->handedOver.put_void()))) {
            Lumo::Win::UniqueMenu menu(::CreatePopupMenu());
            worker->handedOver->QueryContextMenu(menu.get(), 0, 1, 0x7FFF, CMF_NORMAL | CMF_CANRENAME);
        }
        ::SetEvent(worker->started.get());
        ::WaitForSingleObject(worker->go.get(), INFINITE);
        for (int i = 0; i < 3; ++i) {
            HWND window = ::CreateWindowExW(0, L"STATIC", L"after unload", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                            0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
            if (!window) continue;
            ::SetActiveWindow(window);
            ::SendMessageW(window, WM_INITMENUPOPUP, 0, 0);
            ::DestroyWindow(window);
            ++worker->windowsMade;
        }
        return 0;
    }
    void Start() {
        thread.reset(::CreateThread(nullptr, 0, Run, this, 0, nullptr));
        ::WaitForSingleObject(started.get(), INFINITE);
    }
    int Finish() {
        ::SetEvent(go.get());
        ::WaitForSingleObject(thread.get(), 30000);
        return windowsMade;
    }
};

bool ModuleGone(const std::wstring& path) { return ::GetModuleHandleW(path.c_str()) == nullptr; }

// The address range a loaded module occupies.
struct ImageRange {
    BYTE* base = nullptr;
    SIZE_T size = 0;
};
ImageRange RangeOf(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return {base, nt->OptionalHeader.SizeOfImage};
}

// Fills a freed image range with no-operations that slide into a tail which
// counts the call and returns 0, so a stale procedure call is seen and harmless.
class CallTrap {
public:
    explicit CallTrap(ImageRange range) : range_(range) {
        void* memory =
            ::VirtualAlloc(range.base, range.size, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE);
        if (memory != range.base) return;
        auto* bytes = static_cast<BYTE*>(memory);
        volatile LONG* counter = &calls_;
#if defined(_WIN64)
        unsigned char tail[] = {0x48, 0xB8, 0,    0, 0, 0, 0, 0, 0, 0,  // movabs rax, &calls_
                                0xF0, 0xFF, 0x00,                       // lock inc dword ptr [rax]
                                0x31, 0xC0,                             // xor eax, eax
                                0xC3};                                  // ret
        std::memcpy(tail + 2, &counter, sizeof(counter));
#else
        // The hook procedures take three arguments and clear them (stdcall).
        unsigned char tail[] = {0xB8, 0,    0,    0, 0,  // mov eax, &calls_
                                0xF0, 0xFF, 0x00,        // lock inc dword ptr [eax]
                                0x31, 0xC0,              // xor eax, eax
                                0xC2, 0x0C, 0x00};       // ret 12
        std::memcpy(tail + 1, &counter, sizeof(counter));
#endif
        std::memset(bytes, 0x90, range.size - sizeof(tail));
        std::memcpy(bytes + range.size - sizeof(tail), tail, sizeof(tail));
        ::FlushInstructionCache(::GetCurrentProcess(), bytes, range.size);
        armed_ = true;
    }
    ~CallTrap() {
        if (armed_) ::VirtualFree(range_.base, 0, MEM_RELEASE);
    }
    CallTrap(const CallTrap&) = delete;
    CallTrap& operator=(const CallTrap&) = delete;
    bool Armed() const { return armed_; }
    LONG Calls() const { return calls_; }

private:
    ImageRange range_;
    bool armed_ = false;
    volatile LONG calls_ = 0;
};

// Creates one handler through the class factory, lets it install its menu
// hooks on this thread, and releases it.
HRESULT CreateAndReleaseHandler(IClassFactory* factory) {
    ComPtr<IContextMenu3> handler;
    HRESULT hr = factory->CreateInstance(nullptr, IID_IContextMenu3, handler.put_void());
    if (FAILED(hr)) return hr;
    Lumo::Win::UniqueMenu menu(::CreatePopupMenu());
    handler->QueryContextMenu(menu.get(), 0, 1, 0x7FFF, CMF_NORMAL | CMF_CANRENAME);
    return S_OK;
}

// The checksum tools of the registered module, used as a person would: on a
// thread of its own, a host asks the handler for its menu on `file`,
// highlights "MD5" under Shell Tools and chooses it; the checksum runs (with
// its progress window) until Cancel.
constexpr wchar_t kProgressClass[] = L"QuelvarChecksumProgress";

bool HighlightMd5(ShellHost& host) {
    HMENU main = host.OpenQuelvarSubmenu();
    for (const ShellHost::Entry& entry : host.Entries(main)) {
        if (!entry.Own() || !entry.submenu) continue;
        HMENU popup = host.OpenSubmenu(main, entry.position);
        for (const ShellHost::Entry& inner : host.Entries(popup)) {
            if (!inner.Own() || inner.submenu || inner.Separator()) continue;
            host.Draw(popup, inner.position, ODS_SELECTED, 200, 20);
            if (host.HelpText() == L"Calculate MD5 checksum for selected file") {
                host.CloseAll();
                return true;
            }
        }
        host.SendUninitMenuPopup(popup);
    }
    host.CloseAll();
    return false;
}

struct ChecksumUser {
    explicit ChecksumUser(std::wstring path) : file(std::move(path)) {}
    std::wstring file;
    std::atomic<DWORD> threadId{0};
    HRESULT invoked = E_FAIL;
    std::thread thread;
    void Start() {
        thread = std::thread([this] {
            ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            try {
                ShellHost host;
                if (SUCCEEDED(host.CreateHandlerThroughCom()) &&
                    SUCCEEDED(host.InitializeSelection({file})) && SUCCEEDED(host.QueryContextMenu()) &&
                    HighlightMd5(host)) {
                    threadId = ::GetCurrentThreadId();
                    invoked = host.Invoke(0);
                }
            } catch (const std::exception&) {
            }
            ::CoUninitialize();
        });
    }
};

BOOL CALLBACK FindProgressWindow(HWND window, LPARAM result) {
    wchar_t name[64] = {};
    if (::GetClassNameW(window, name, 64) && std::wstring(name) == kProgressClass) {
        *reinterpret_cast<HWND*>(result) = window;
        return FALSE;
    }
    return TRUE;
}

HWND ProgressWindowOf(DWORD thread) {
    HWND found = nullptr;
    ::EnumThreadWindows(thread, FindProgressWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Runs `count` checksum users at once, each starting while the ones before it
// still run, and cancels them in the order they started: the thread that
// registered the progress window's class is the first to finish. Returns how
// many showed their window and were cancelled.
int OverlappingChecksums(const std::wstring& file, int count) {
    std::vector<std::unique_ptr<ChecksumUser>> users;
    std::vector<HWND> windows;
    for (int i = 0; i < count; ++i) {
        users.push_back(std::make_unique<ChecksumUser>(file));
        users.back()->Start();
        HWND window = nullptr;
        for (int tries = 0; tries < 3000 && !window; ++tries, ::Sleep(10)) {
            if (DWORD thread = users.back()->threadId) window = ProgressWindowOf(thread);
        }
        windows.push_back(window);
    }
    int cancelled = 0;
    for (size_t i = 0; i < users.size(); ++i) {
        if (windows[i]) ::PostMessageW(windows[i], WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        users[i]->thread.join();
        if (windows[i] && users[i]->invoked == S_OK) ++cancelled;
    }
    return cancelled;
}

// A file that takes a checksum many seconds: sparse, so it costs no disk space.
std::wstring LongFile(const TempFolder& folder) {
    const std::wstring path = folder.File(L"long.bin");
    Lumo::Win::UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    LARGE_INTEGER end{};
    end.QuadPart = 8LL << 30;
    ::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN);
    ::SetEndOfFile(file.get());
    return path;
}

bool ClassRegistered(const void* module) {
    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    return ::GetClassInfoExW(static_cast<HINSTANCE>(const_cast<void*>(module)), kProgressClass, &info) !=
           FALSE;
}

DWORD RunChild(const char* name) {
    const std::wstring command = L"\"" + ProgramPath() +
                                 L"\" --gtest_also_run_disabled_tests --gtest_filter=UnloadChild.DISABLED_" +
                                 std::wstring(name, name + std::strlen(name));
    return RunProcess(command, 60000);
}

}  // namespace

TEST(Unload, NoHookOfTheModuleOutlivesItWhicheverWayItIsUnloaded) {
    ASSERT_EQ(0u, RunProcess(L"regsvr32.exe /s \"" + BuiltModulePath() + L"\""));
    for (const char* way :
         {"FreeLibrary", "CoFreeUnusedLibraries", "LoadAlone", "FreeLibraryWithoutAsking",
          "ChecksumWindowClassAcrossReload", "FirstHandlersWhileThreadsEnd", "HookCallInFlight"}) {
        EXPECT_EQ(0u, RunChild(way)) << way << ": the child crashed, failed or hung";
    }
    RunProcess(L"regsvr32.exe /s /u \"" + BuiltModulePath() + L"\"");
}

// The module loaded as a host that bypasses COM loads it, with the two
// exports such a host calls; freeing it is the test's own step.
struct HandLoaded {
    explicit HandLoaded(const std::wstring& path) : module(::LoadLibraryW(path.c_str())) {
        if (!module) return;
        getClassObject =
            reinterpret_cast<decltype(getClassObject)>(::GetProcAddress(module, "DllGetClassObject"));
        canUnloadNow = reinterpret_cast<decltype(canUnloadNow)>(::GetProcAddress(module, "DllCanUnloadNow"));
    }
    HMODULE module;
    HRESULT(WINAPI* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(WINAPI* canUnloadNow)() = nullptr;

    // The worker makes a handler through this module, which hooks its thread, and hands it over; the
    // handler dies here, on another thread, while the worker's hooks stay in.
    void HookWorker(Worker& worker) const {
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(S_OK, getClassObject(CLSID_GotoFavorite, IID_IClassFactory, factory.put_void()));
        worker.factory = factory.get();
        worker.Start();
        ASSERT_TRUE(worker.handedOver);
        worker.handedOver.reset();
        worker.factory = nullptr;
    }
};

// Once the module is gone, the worker's windows and menu message must reach nothing in its old range.
void ExpectNothingOfTheModuleRuns(const ImageRange& range, Worker& worker) {
    CallTrap trap(range);
    ASSERT_TRUE(trap.Armed()) << "the module's address range could not be taken";
    EXPECT_EQ(3, worker.Finish());
    // The calling thread may have had hooks too: its own windows must not reach freed code either.
    Lumo::Win::UniqueWindow window(::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50,
                                                     nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(window);
    EXPECT_EQ(0, trap.Calls()) << "a procedure of the unloaded module ran";
}

// Loads the module itself, asks it whether it may go, and frees it.
TEST(UnloadChild, DISABLED_FreeLibrary) {
    const std::wstring path = BuiltModulePath();
    const HandLoaded loaded(path);
    ASSERT_TRUE(loaded.module && loaded.getClassObject && loaded.canUnloadNow);
    Worker worker;
    ASSERT_NO_FATAL_FAILURE(loaded.HookWorker(worker));
    {
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(S_OK, loaded.getClassObject(CLSID_GotoFavorite, IID_IClassFactory, factory.put_void()));
        ASSERT_EQ(S_OK, CreateAndReleaseHandler(factory.get()));
    }
    ASSERT_EQ(S_OK, loaded.canUnloadNow());
    const ImageRange range = RangeOf(loaded.module);
    ASSERT_TRUE(::FreeLibrary(loaded.module));
    ASSERT_TRUE(ModuleGone(path)) << "the module stayed loaded: the test would prove nothing";
    ExpectNothingOfTheModuleRuns(range, worker);
}

// COM loads the module for an activation and frees it when asked to.
TEST(UnloadChild, DISABLED_CoFreeUnusedLibraries) {
    const std::wstring path = BuiltModulePath();
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    Worker worker;
    ImageRange range;
    {
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(S_OK, ::CoGetClassObject(CLSID_GotoFavorite, CLSCTX_INPROC_SERVER, nullptr,
                                           IID_IClassFactory, factory.put_void()));
        ASSERT_FALSE(ModuleGone(path));
        range = RangeOf(::GetModuleHandleW(path.c_str()));
        worker.Start();
        ASSERT_EQ(S_OK, CreateAndReleaseHandler(factory.get()));
    }
    ::CoFreeUnusedLibrariesEx(0, 0);
    ASSERT_TRUE(ModuleGone(path)) << "COM kept the module: the test would prove nothing";
    ExpectNothingOfTheModuleRuns(range, worker);
    ::CoUninitialize();
}

// A host that loads the module and frees it without using it: loading built
// nothing (the process holds as many GDI objects as before: no menu images)
// and gave no thread a hook, so nothing holds the module back and nothing of
// it runs afterwards.
TEST(UnloadChild, DISABLED_LoadAlone) {
    const std::wstring path = BuiltModulePath();
    const long gdiBefore = CountResources().gdiObjects;
    HMODULE module = ::LoadLibraryW(path.c_str());
    ASSERT_TRUE(module);
    Worker worker;
    worker.Start();
    EXPECT_EQ(gdiBefore, CountResources().gdiObjects) << "loading the module built its objects";
    const ImageRange range = RangeOf(module);
    ASSERT_TRUE(::FreeLibrary(module));
    ASSERT_TRUE(ModuleGone(path)) << "a load alone keeps the module";
    ExpectNothingOfTheModuleRuns(range, worker);
}

// A host that frees the module without asking DllCanUnloadNow while a thread
// still holds its hook: the module stays rather than leave the hook pointing
// into freed code, and goes once it is asked.
TEST(UnloadChild, DISABLED_FreeLibraryWithoutAsking) {
    const std::wstring path = BuiltModulePath();
    const HandLoaded loaded(path);
    ASSERT_TRUE(loaded.module && loaded.getClassObject && loaded.canUnloadNow);
    Worker worker;
    ASSERT_NO_FATAL_FAILURE(loaded.HookWorker(worker));
    ASSERT_TRUE(::FreeLibrary(loaded.module));
    EXPECT_FALSE(ModuleGone(path)) << "the module went while a thread held its hook";
    EXPECT_EQ(3, worker.Finish());
    // Asked through a reference of its own, it takes the hooks out and goes with that reference.
    HMODULE again = ::LoadLibraryW(path.c_str());
    ASSERT_EQ(loaded.module, again);
    EXPECT_EQ(S_OK, loaded.canUnloadNow());
    ASSERT_TRUE(::FreeLibrary(again));
    EXPECT_TRUE(ModuleGone(path));
}

// Asks COM to free unused modules until `path` is gone, for at most 10 s.
static void FreeWhenUnused(const std::wstring& path) {
    for (int attempt = 0; attempt < 200; ++attempt) {
        ::CoFreeUnusedLibrariesEx(0, 0);
        if (ModuleGone(path)) return;
        ::Sleep(50);
    }
}

// The checksum progress window's class, used by two overlapping threads,
// goes with the last window; after an unload the next load lands elsewhere
// (the old range is taken) and the tools work again without running anything
// at the old address.
TEST(UnloadChild, DISABLED_ChecksumWindowClassAcrossReload) {
    const std::wstring path = BuiltModulePath();
    TempFolder temp;
    const std::wstring appData = temp.File(L"AppData");
    ASSERT_TRUE(::CreateDirectoryW(appData.c_str(), nullptr));
    ScopedUserShellFolder scopedAppData(L"AppData", appData);
    const std::wstring file = LongFile(temp);
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ImageRange first;
    {
        // This apartment holds the module while the users' apartments come and go.
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(S_OK, ::CoGetClassObject(CLSID_GotoFavorite, CLSCTX_INPROC_SERVER, nullptr,
                                           IID_IClassFactory, factory.put_void()));
        first = RangeOf(::GetModuleHandleW(path.c_str()));
        EXPECT_EQ(2, OverlappingChecksums(file, 2));
        EXPECT_FALSE(ClassRegistered(first.base)) << "the class outlived its last window";
    }
    // A cancelled job's worker thread holds the module until it has ended,
    // which may be a moment after its window went: ask again until then.
    FreeWhenUnused(path);
    ASSERT_TRUE(ModuleGone(path)) << "COM kept the module: the test would prove nothing";
    EXPECT_FALSE(ClassRegistered(first.base)) << "the class outlived the module";
    CallTrap trap(first);
    ASSERT_TRUE(trap.Armed()) << "the module's address range could not be taken";
    {
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(S_OK, ::CoGetClassObject(CLSID_GotoFavorite, CLSCTX_INPROC_SERVER, nullptr,
                                           IID_IClassFactory, factory.put_void()));
        HMODULE second = ::GetModuleHandleW(path.c_str());
        ASSERT_TRUE(second);
        EXPECT_NE(static_cast<void*>(first.base), static_cast<void*>(second));
        EXPECT_EQ(1, OverlappingChecksums(file, 1));
        EXPECT_FALSE(ClassRegistered(second));
    }
    EXPECT_EQ(0, trap.Calls()) << "a procedure of the unloaded module ran";
    FreeWhenUnused(path);
    EXPECT_TRUE(ModuleGone(path));
    ::CoUninitialize();
}

// After an unload took every hook out, threads make their first handler
// (taking the module's loader reference again) while threads that had one end
// (the module forgets their records under the loader lock). A hang ends in
// the parent's deadline.
TEST(UnloadChild, DISABLED_FirstHandlersWhileThreadsEnd) {
    const std::wstring path = BuiltModulePath();
    const HandLoaded loaded(path);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, loaded.getClassObject(CLSID_GotoFavorite, IID_IClassFactory, factory.put_void()));
    for (int round = 0; round < 150; ++round) {
        Lumo::Win::UniqueHandle go(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < 8; ++i) {
            threads.emplace_back([&, ending = i < 4] {
                if (!ending) ::WaitForSingleObject(go.get(), INFINITE);
                EXPECT_EQ(S_OK, CreateAndReleaseHandler(factory.get()));
                if (ending) ++ready, ::WaitForSingleObject(go.get(), INFINITE);
            });
        }
        while (ready < 4) ::Sleep(1);
        EXPECT_EQ(S_OK, loaded.canUnloadNow()) << "round " << round;
        ::SetEvent(go.get());
        for (std::thread& thread : threads) thread.join();
    }
    factory.reset();
    EXPECT_EQ(S_OK, loaded.canUnloadNow());
    ASSERT_TRUE(::FreeLibrary(loaded.module));
    EXPECT_TRUE(ModuleGone(path));
}

// The host asks while a hook call of the module still runs on another thread
// (held in the next hook of the chain): removing the hook does not wait for it.
HANDLE g_insideHookCall = nullptr;
HANDLE g_endHookCall = nullptr;
LRESULT CALLBACK HoldingHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && g_insideHookCall) {
        ::SignalObjectAndWait(std::exchange(g_insideHookCall, nullptr), g_endHookCall, INFINITE, FALSE);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(UnloadChild, DISABLED_HookCallInFlight) {
    const std::wstring path = BuiltModulePath();
    const HandLoaded loaded(path);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, loaded.getClassObject(CLSID_GotoFavorite, IID_IClassFactory, factory.put_void()));
    Lumo::Win::UniqueHandle inside(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Lumo::Win::UniqueHandle end(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_endHookCall = end.get();
    std::thread thread([&] {
        // Put in before the module's watcher, so that the watcher calls it.
        HHOOK holding = ::SetWindowsHookExW(WH_CBT, HoldingHook, nullptr, ::GetCurrentThreadId());
        EXPECT_EQ(S_OK, CreateAndReleaseHandler(factory.get()));
        g_insideHookCall = inside.get();
        ::DestroyWindow(
            ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
        ::UnhookWindowsHookEx(holding);
    });
    ::WaitForSingleObject(inside.get(), INFINITE);
    factory.reset();
    EXPECT_EQ(S_FALSE, loaded.canUnloadNow()) << "the module would go while its hook call runs";
    ::SetEvent(end.get());
    thread.join();
    EXPECT_EQ(S_OK, loaded.canUnloadNow());
    ASSERT_TRUE(::FreeLibrary(loaded.module));
    EXPECT_TRUE(ModuleGone(path));
}

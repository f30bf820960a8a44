// The module's reference count and threads that keep it loaded.
#include "win/ModuleReference.h"

#include <memory>

#include "win/Boundary.h"
#include "win/Errors.h"

namespace Lumo::Win {
namespace {

volatile LONG g_references = 0;
volatile LONG g_hookCallsInFlight = 0;

struct ThreadStart {
    std::function<void()> work;
    ModuleReference keepsUnloadAway;
    HMODULE loaderReference = nullptr;
};

DWORD WINAPI ModuleThreadProc(void* parameter) noexcept {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(parameter));
    const HMODULE module = start->loaderReference;
    const DWORD code = ThreadBoundary([&]() -> DWORD {
        start->work();
        return 0;
    });
    start.reset();  // ends the ModuleReference before the loader reference goes
    if (module) ::FreeLibraryAndExitThread(module, code);
    return code;
}

}  // namespace

LONG ModuleReference::Lock() noexcept { return ::InterlockedIncrement(&g_references); }
LONG ModuleReference::Unlock() noexcept { return ::InterlockedDecrement(&g_references); }
LONG ModuleReference::Count() noexcept { return g_references; }

HookCallInFlight::HookCallInFlight() noexcept { ::InterlockedIncrement(&g_hookCallsInFlight); }
HookCallInFlight::~HookCallInFlight() { ::InterlockedDecrement(&g_hookCallsInFlight); }
LONG HookCallInFlight::Count() noexcept { return ::InterlockedCompareExchange(&g_hookCallsInFlight, 0, 0); }

UniqueHandle StartModuleThread(std::function<void()> work) {
    auto start = std::make_unique<ThreadStart>();
    start->work = std::move(work);
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCWSTR>(&ModuleThreadProc), &start->loaderReference)) {
        throw Lumo::LastError();
    }
    UniqueHandle thread(::CreateThread(nullptr, 0, ModuleThreadProc, start.get(), 0, nullptr));
    if (!thread) {
        const DWORD error = ::GetLastError();
        ::FreeLibrary(start->loaderReference);
        throw Lumo::LastError(error);
    }
    start.release();  // the thread owns it now
    return thread;
}

}  // namespace Lumo::Win

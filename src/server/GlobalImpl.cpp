// Creation and destruction of the process-wide objects.
#include "server/GlobalImpl.h"

#include <memory>

#include "data/DataCenter.h"
#include "shellext/ThreadMenuState.h"
#include "system/MenuImages.h"
#include "system/ShellFolders.h"
#include "system/ModulePath.h"
#include "system/SystemInfo.h"
#include "win/Boundary.h"
#include "win/Lock.h"
#include "win/ModuleReference.h"

using ShellExt::ThreadMenuState;
using ShellExt::ThreadStates;

namespace {

template <class T>
void DestroySingleton() {
    T* instance = T::Instance();
    T::SetInstance(nullptr);
    delete instance;
}

}  // namespace

void GlobalImpl::Create(HINSTANCE resources) {
    if (Instance()) return;
    std::unique_ptr<GlobalImpl> global(new GlobalImpl(resources));
    SetInstance(global.get());
    try {
        global->Build();
    } catch (...) {
        SetInstance(nullptr);
        throw;  // the unique_ptr tears down what was built
    }
    global.release();
}

void GlobalImpl::Destroy() {
    GlobalImpl* global = Instance();
    if (global) {
        SetInstance(nullptr);
        delete global;
    }
    // Thread records made for the module itself (outside Create) go too.
    DestroySingleton<ThreadStates>();
}

void GlobalImpl::Build() {
    if (!ThreadStates::Instance()) {
        ThreadStates::SetInstance(new ThreadStates());
        ownsThreadStates_ = true;
    }
    Lumo::System::DllVersion::SetInstance(new Lumo::System::DllVersion());
    Lumo::System::OSVersion::SetInstance(new Lumo::System::OSVersion());
    Lumo::System::SpecialFolder::SetInstance(new Lumo::System::SpecialFolder());
    Lumo::System::MenuImageList::SetInstance(new Lumo::System::MenuImageList(resources_));
    Data::DataCenter::SetInstance(new Data::DataCenter());
}

void GlobalImpl::Teardown() {
    DestroySingleton<Data::DataCenter>();
    DestroySingleton<Lumo::System::MenuImageList>();
    DestroySingleton<Lumo::System::SpecialFolder>();
    DestroySingleton<Lumo::System::OSVersion>();
    DestroySingleton<Lumo::System::DllVersion>();
    if (ownsThreadStates_) DestroySingleton<ThreadStates>();
}

GlobalImpl::~GlobalImpl() { Teardown(); }

// The module's own lifetime ----------------------------------------------------

namespace {

HINSTANCE g_module = nullptr;
// Guards building and destroying against each other and against a handler
// being made meanwhile. A slim lock needs no set-up, so DllMain has nothing
// to initialise.
SRWLOCK g_lifetime = SRWLOCK_INIT;

}  // namespace

void GlobalImpl::Attach(HINSTANCE module) noexcept { g_module = module; }

HRESULT GlobalImpl::CreateInUse(const std::function<HRESULT()>& create) {
    Lumo::Win::ScopedLock lock(g_lifetime);
    if (!ThreadStates::Instance()) ThreadStates::SetInstance(new ThreadStates());
    if (!Instance()) {
        Create(g_module);
        try {
            Data::DataCenter::Instance()->SetInstallFolder(Lumo::System::ModuleFileName(g_module));
        } catch (...) {
            GlobalImpl* global = Instance();
            SetInstance(nullptr);
            delete global;
            throw;
        }
    }
    return create();
}

bool GlobalImpl::ReleaseIfUnused() noexcept {
    HMODULE pin = nullptr;
    const bool unused = Lumo::Win::Boundary<bool>(false, [&] {
        Lumo::Win::ScopedLock lock(g_lifetime);
        if (Lumo::Win::ModuleReference::Count() != 0) return false;
        if (ThreadStates* states = ThreadStates::Instance()) pin = states->UnhookAll();
        // Unhooking does not wait for a hook call already running on another
        // thread: its code and the objects it reads stay until it has
        // returned, and the next question finds it gone.
        if (Lumo::Win::HookCallInFlight::Count() != 0) return false;
        GlobalImpl* global = Instance();
        SetInstance(nullptr);
        delete global;
        return true;
    });
    // The module's own loader reference, held while hooks existed, goes last:
    // the caller holds one of its own, so the module stays until it lets go.
    if (pin) ::FreeLibrary(pin);
    return unused;
}

void GlobalImpl::Detach(bool processEnds) noexcept {
    if (processEnds) return;  // the other threads are gone, the memory goes with the process
    // Normally DllCanUnloadNow left nothing built. A host that freed the
    // module without asking may have: no window, image list or COM call is
    // made under the loader lock, so those objects are left, not destroyed.
    SetInstance(nullptr);
    if (ThreadStates* states = ThreadStates::Instance()) {
        // No hook can be left: while one exists the module holds itself loaded.
        states->Abandon();
        ThreadStates::SetInstance(nullptr);
        delete states;
    }
}

HIMAGELIST GlobalImpl::MenuImages() { return Lumo::System::MenuImages(); }

void GlobalImpl::ReleaseThread() { ThreadStates::Release(); }

void GlobalImpl::ForgetThread() noexcept {
    Lumo::Win::VoidBoundary([] { ThreadStates::Forget(); });
}

ThreadMenuState* GlobalImpl::CurrentThreadState() { return ThreadStates::CurrentState(); }

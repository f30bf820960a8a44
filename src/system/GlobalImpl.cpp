// Creation and destruction of the process-wide objects, per-thread state.
#include "system/GlobalImpl.h"

#include <memory>

#include "data/DataCenter.h"
#include "shellext/ThreadMenuState.h"
#include "win/Errors.h"
#include "system/ShellFolders.h"
#include "system/SystemInfo.h"
#include "win/Handle.h"

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
    if (!global) return;
    SetInstance(nullptr);
    delete global;
}

void GlobalImpl::Build() {
    threadSlot_ = ::TlsAlloc();
    if (threadSlot_ == TLS_OUT_OF_INDEXES) throw Lumo::LastError();

    Lumo::System::DllVersion::SetInstance(new Lumo::System::DllVersion());
    Lumo::System::OSVersion::SetInstance(new Lumo::System::OSVersion());
    Lumo::System::SpecialFolder::SetInstance(new Lumo::System::SpecialFolder());

    imageList_.reset(::ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, kMenuImageCount, 1));
    if (!imageList_) throw Lumo::LastError();
    Lumo::Win::UniqueGdiObject bitmap(
        ::LoadImageW(resources_, MAKEINTRESOURCEW(kMenuBitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bitmap) throw Lumo::LastError();
    if (::ImageList_AddMasked(imageList_.get(), static_cast<HBITMAP>(bitmap.get()), RGB(255, 0, 255)) < 0) {
        throw Lumo::AnyError();
    }

    DataCenter::SetInstance(new DataCenter());
}

void GlobalImpl::Teardown() {
    DestroySingleton<DataCenter>();
    imageList_.reset();
    DestroySingleton<Lumo::System::SpecialFolder>();
    DestroySingleton<Lumo::System::OSVersion>();
    DestroySingleton<Lumo::System::DllVersion>();
    if (threadSlot_ != TLS_OUT_OF_INDEXES) ::TlsFree(threadSlot_);
    threadSlot_ = TLS_OUT_OF_INDEXES;
}

GlobalImpl::~GlobalImpl() { Teardown(); }

HIMAGELIST GlobalImpl::MenuImages() {
    GlobalImpl* global = Instance();
    return global ? global->imageList_.get() : nullptr;
}

void GlobalImpl::PrepareThread() {
    GlobalImpl* global = Instance();
    if (!global || global->threadSlot_ == TLS_OUT_OF_INDEXES) return;
    if (::TlsGetValue(global->threadSlot_)) return;
    auto state = std::make_unique<ThreadMenuState>();
    // A failed hook leaves the record without one; the handler still works in
    // hosts that forward menu messages.
    state->cbtHook.reset(::SetWindowsHookExW(WH_CBT, MenuWindowWatcher, nullptr, ::GetCurrentThreadId()));
    if (!::TlsSetValue(global->threadSlot_, state.get())) throw Lumo::LastError();
    state.release();
}

void GlobalImpl::ReleaseThread() {
    GlobalImpl* global = Instance();
    if (!global || global->threadSlot_ == TLS_OUT_OF_INDEXES) return;
    auto* state = static_cast<ThreadMenuState*>(::TlsGetValue(global->threadSlot_));
    if (!state) return;
    ::TlsSetValue(global->threadSlot_, nullptr);
    delete state;
}

ThreadMenuState* GlobalImpl::CurrentThreadState() {
    GlobalImpl* global = Instance();
    if (!global || global->threadSlot_ == TLS_OUT_OF_INDEXES) return nullptr;
    auto* state = static_cast<ThreadMenuState*>(::TlsGetValue(global->threadSlot_));
    if (!state) {
        PrepareThread();
        state = static_cast<ThreadMenuState*>(::TlsGetValue(global->threadSlot_));
    }
    return state;
}

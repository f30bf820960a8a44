// Creation and destruction of the process-wide objects.
#include "server/GlobalImpl.h"

#include <memory>

#include "data/DataCenter.h"
#include "menu/MainMenu.h"
#include "menu/OptionsMenu.h"
#include "shellext/MenuItem.h"
#include "shellext/ThreadMenuState.h"
#include "system/MenuImages.h"
#include "system/ShellFolders.h"
#include "system/SystemInfo.h"

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
    ThreadStates::SetInstance(new ThreadStates());
    Lumo::System::DllVersion::SetInstance(new Lumo::System::DllVersion());
    Lumo::System::OSVersion::SetInstance(new Lumo::System::OSVersion());
    Lumo::System::SpecialFolder::SetInstance(new Lumo::System::SpecialFolder());
    Lumo::System::MenuImageList::SetInstance(new Lumo::System::MenuImageList(resources_));
    DataCenter::SetInstance(new DataCenter());
    // The menu engine fills the Quelvar entry's submenu with the entries of
    // the menu room, which sits above it.
    Quelvar::SetMainSubmenuBuilder(&BuildMainSubmenu);
    Quelvar::SetItemMenu(&ShowQuelvarItemMenu);
}

void GlobalImpl::Teardown() {
    Quelvar::SetItemMenu(nullptr);
    Quelvar::SetMainSubmenuBuilder(nullptr);
    DestroySingleton<DataCenter>();
    DestroySingleton<Lumo::System::MenuImageList>();
    DestroySingleton<Lumo::System::SpecialFolder>();
    DestroySingleton<Lumo::System::OSVersion>();
    DestroySingleton<Lumo::System::DllVersion>();
    DestroySingleton<ThreadStates>();
}

GlobalImpl::~GlobalImpl() { Teardown(); }

HIMAGELIST GlobalImpl::MenuImages() { return Lumo::System::MenuImages(); }

void GlobalImpl::PrepareThread() { ThreadStates::Prepare(); }

void GlobalImpl::ReleaseThread() { ThreadStates::Release(); }

ThreadMenuState* GlobalImpl::CurrentThreadState() { return ThreadStates::CurrentState(); }

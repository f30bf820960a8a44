// Module lock count, class-factory cache and the class factory.
#include "server/Module.h"

#include <new>

#include "menu/MainMenu.h"
#include "server/ClassFactory.h"
#include "server/GlobalImpl.h"
#include "server/ServerIds.h"
#include "shellext/ExplorerCommand.h"
#include "shellext/GotoFavorite.h"
#include "win/Boundary.h"
#include "win/Lock.h"
#include "win/ModuleReference.h"

namespace {

// A handler needs the process-wide objects: the first one builds them. Both
// the classic handler and the Windows 11 command show the menus of the menu
// room, handed to them here, at the top of the house.
HRESULT CreateGotoFavorite(REFIID iid, void** result) noexcept {
    if (!result) return E_POINTER;
    *result = nullptr;
    return Lumo::Win::ComBoundary(E_FAIL, [&]() -> HRESULT {
        return GlobalImpl::CreateInUse(
            [&] { return ShellExt::CGotoFavorite::CreateInstance(iid, result, Menu::MainMenuDefinition()); });
    });
}

HRESULT CreateCommandTree(REFIID iid, void** result) noexcept {
    if (!result) return E_POINTER;
    *result = nullptr;
    return Lumo::Win::ComBoundary(E_FAIL, [&]() -> HRESULT {
        return GlobalImpl::CreateInUse(
            [&] { return ShellExt::CreateExplorerCommand(iid, result, Menu::MainMenuDefinition()); });
    });
}

}  // namespace

CQuelvarModule::CQuelvarModule() = default;

CQuelvarModule::~CQuelvarModule() = default;

HRESULT CQuelvarModule::GetClassObject(REFCLSID clsid, REFIID iid, void** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    Lumo::Win::ComPtr<IClassFactory>* cache;
    ClassFactory::Creator creator;
    if (::IsEqualCLSID(clsid, CLSID_GotoFavorite)) {
        cache = &gotoFavoriteFactory_;
        creator = &CreateGotoFavorite;
    } else if (::IsEqualCLSID(clsid, kCommandClsid)) {
        cache = &explorerCommandFactory_;
        creator = &CreateCommandTree;
    } else {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    Lumo::Win::ComPtr<IClassFactory> factory;
    {
        Lumo::Win::ScopedLock lock(factoryLock_);
        if (!*cache) {
            auto* created = new (std::nothrow) ClassFactory(creator);
            if (!created) return E_OUTOFMEMORY;
            *cache = Lumo::Win::ComPtr<IClassFactory>::Attach(created);
        }
        factory = *cache;
    }
    return factory->QueryInterface(iid, result);
}

CQuelvarModule& Module() {
    static CQuelvarModule module;
    return module;
}

const Lumo::Win::InterfaceEntry* ClassFactory::Interfaces() noexcept {
    static const Lumo::Win::InterfaceEntry table[] = {
        Lumo::Win::InterfaceEntryOf<ClassFactory, IClassFactory>(IID_IClassFactory),
        {},
    };
    return table;
}

IFACEMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** result) noexcept {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return creator_(iid, result);
}

IFACEMETHODIMP ClassFactory::LockServer(BOOL lock) noexcept {
    if (lock) {
        Lumo::Win::ModuleReference::Lock();
    } else {
        Lumo::Win::ModuleReference::Unlock();
    }
    return S_OK;
}

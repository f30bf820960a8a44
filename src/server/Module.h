// The module object: the class-factory cache of the classes it serves (the
// classic handler and the command of Windows 11's first-level menu). The
// lock count that decides whether COM may unload the module is
// Lumo::Win::ModuleReference.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "win/Handle.h"
#include "win/Lock.h"

extern "C" const CLSID CLSID_GotoFavorite;

class CQuelvarModule {
public:
    CQuelvarModule();
    ~CQuelvarModule();
    CQuelvarModule(const CQuelvarModule&) = delete;
    CQuelvarModule& operator=(const CQuelvarModule&) = delete;

    // The cached class factory for `clsid`, created on first request;
    // CLASS_E_CLASSNOTAVAILABLE for a class the module does not serve.
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** result);

private:
    Lumo::Win::CriticalSection factoryLock_;
    Lumo::Win::ComPtr<IClassFactory> gotoFavoriteFactory_;
    Lumo::Win::ComPtr<IClassFactory> explorerCommandFactory_;
};

// The process's module object.
CQuelvarModule& Module();

// The module object: the lock count that decides whether COM may unload the
// module, and the class-factory cache of the one class it serves.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "win/Handle.h"

extern "C" const CLSID CLSID_GotoFavorite;

class CQuelvarModule {
public:
    CQuelvarModule();
    ~CQuelvarModule();
    CQuelvarModule(const CQuelvarModule&) = delete;
    CQuelvarModule& operator=(const CQuelvarModule&) = delete;

    LONG Lock() { return ::InterlockedIncrement(&lockCount_); }
    LONG Unlock() { return ::InterlockedDecrement(&lockCount_); }
    LONG LockCount() const { return lockCount_; }

    // The cached class factory for `clsid`, created on first request;
    // CLASS_E_CLASSNOTAVAILABLE for a class the module does not serve.
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** result);

private:
    volatile LONG lockCount_ = 0;
    CRITICAL_SECTION factoryLock_;
    Lumo::Win::ComPtr<IClassFactory> gotoFavoriteFactory_;
};

// The process's module object.
CQuelvarModule& Module();

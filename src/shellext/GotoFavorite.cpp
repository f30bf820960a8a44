// COM surface of the handler object: identity, reference counting, module lock
// and registration with the thread's menu state.
#include "shellext/GotoFavorite.h"

#include <new>

#include "server/Module.h"
#include "shellext/ThreadMenuState.h"
#include "system/GlobalImpl.h"
#include "win/Boundary.h"

CGotoFavorite::CGotoFavorite() {
    if (ThreadMenuState* state = GlobalImpl::CurrentThreadState()) state->liveHandlers.insert(this);
    Module().Lock();
}

CGotoFavorite::~CGotoFavorite() {
    if (ThreadMenuState* state = GlobalImpl::CurrentThreadState()) state->liveHandlers.erase(this);
    Module().Unlock();
}

HRESULT CGotoFavorite::CreateInstance(REFIID iid, void** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    return Lumo::Win::ComBoundary(E_FAIL, [&]() -> HRESULT {
        auto* object = new CGotoFavorite();
        HRESULT hr = object->QueryInterface(iid, result);
        object->Release();
        return hr;
    });
}

IFACEMETHODIMP CGotoFavorite::QueryInterface(REFIID iid, void** result) {
    if (!result) return E_POINTER;
    if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IGotoFavorite)) {
        *result = static_cast<IGotoFavorite*>(this);
    } else if (::IsEqualIID(iid, IID_IShellExtInit)) {
        *result = static_cast<IShellExtInit*>(this);
    } else if (::IsEqualIID(iid, IID_IContextMenu) || ::IsEqualIID(iid, IID_IContextMenu2) ||
               ::IsEqualIID(iid, IID_IContextMenu3)) {
        *result = static_cast<IContextMenu3*>(this);
    } else {
        *result = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

IFACEMETHODIMP_(ULONG) CGotoFavorite::AddRef() { return ::InterlockedIncrement(&references_); }

IFACEMETHODIMP_(ULONG) CGotoFavorite::Release() {
    ULONG count = ::InterlockedDecrement(&references_);
    if (count == 0) delete this;
    return count;
}

IFACEMETHODIMP CGotoFavorite::Initialize(PCIDLIST_ABSOLUTE, IDataObject*, HKEY) { return E_NOTIMPL; }

IFACEMETHODIMP CGotoFavorite::QueryContextMenu(HMENU, UINT, UINT, UINT, UINT) { return E_NOTIMPL; }

IFACEMETHODIMP CGotoFavorite::InvokeCommand(CMINVOKECOMMANDINFO*) { return E_NOTIMPL; }

IFACEMETHODIMP CGotoFavorite::GetCommandString(UINT_PTR, UINT, UINT*, LPSTR, UINT) { return E_NOTIMPL; }

IFACEMETHODIMP CGotoFavorite::HandleMenuMsg(UINT, WPARAM, LPARAM) { return E_NOTIMPL; }

IFACEMETHODIMP CGotoFavorite::HandleMenuMsg2(UINT, WPARAM, LPARAM, LRESULT*) { return E_NOTIMPL; }

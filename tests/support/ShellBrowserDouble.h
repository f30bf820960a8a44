// A shell browser standing in for Explorer's window: records every folder it is
// asked to browse to, with the flags, and answers with `browseResult`.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "win/Handle.h"

namespace QuelvarTest {

// Lives on the stack; reference counts are kept only to check that nobody
// releases a pointer it was not given.
class ShellBrowserDouble : public IShellBrowser {
public:
    ShellBrowserDouble() = default;
    ShellBrowserDouble(const ShellBrowserDouble&) = delete;
    ShellBrowserDouble& operator=(const ShellBrowserDouble&) = delete;

    struct Browse {
        Lumo::Win::UniqueIdList list;
        UINT flags;
    };
    std::vector<Browse> browses;
    HRESULT browseResult = S_OK;
    LONG references = 1;

    IFACEMETHODIMP QueryInterface(REFIID iid, void** result) override;
    IFACEMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&references); }
    IFACEMETHODIMP_(ULONG) Release() override { return ::InterlockedDecrement(&references); }
    IFACEMETHODIMP GetWindow(HWND*) override { return E_NOTIMPL; }
    IFACEMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    IFACEMETHODIMP InsertMenusSB(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    IFACEMETHODIMP SetMenuSB(HMENU, HOLEMENU, HWND) override { return E_NOTIMPL; }
    IFACEMETHODIMP RemoveMenusSB(HMENU) override { return E_NOTIMPL; }
    IFACEMETHODIMP SetStatusTextSB(LPCWSTR) override { return E_NOTIMPL; }
    IFACEMETHODIMP EnableModelessSB(BOOL) override { return E_NOTIMPL; }
    IFACEMETHODIMP TranslateAcceleratorSB(MSG*, WORD) override { return E_NOTIMPL; }
    IFACEMETHODIMP BrowseObject(PCUIDLIST_RELATIVE list, UINT flags) override;
    IFACEMETHODIMP GetViewStateStream(DWORD, IStream**) override { return E_NOTIMPL; }
    IFACEMETHODIMP GetControlWindow(UINT, HWND*) override { return E_NOTIMPL; }
    IFACEMETHODIMP SendControlMsg(UINT, UINT, WPARAM, LPARAM, LRESULT*) override { return E_NOTIMPL; }
    IFACEMETHODIMP QueryActiveShellView(IShellView**) override { return E_NOTIMPL; }
    IFACEMETHODIMP OnViewWindowActive(IShellView*) override { return E_NOTIMPL; }
    IFACEMETHODIMP SetToolbarItems(LPTBBUTTONSB, UINT, UINT) override { return E_NOTIMPL; }
};

}  // namespace QuelvarTest

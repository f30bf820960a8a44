#include "support/ShellBrowserDouble.h"

namespace QuelvarTest {

IFACEMETHODIMP ShellBrowserDouble::QueryInterface(REFIID iid, void** result) {
    if (!result) return E_POINTER;
    if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IOleWindow) ||
        ::IsEqualIID(iid, IID_IShellBrowser)) {
        *result = static_cast<IShellBrowser*>(this);
        AddRef();
        return S_OK;
    }
    *result = nullptr;
    return E_NOINTERFACE;
}

IFACEMETHODIMP ShellBrowserDouble::BrowseObject(PCUIDLIST_RELATIVE list, UINT flags) {
    browses.push_back({Lumo::Win::UniqueIdList(::ILClone(list)), flags});
    return browseResult;
}

}  // namespace QuelvarTest

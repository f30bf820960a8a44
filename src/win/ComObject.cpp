// The interface-table search behind every COM object's QueryInterface.
#include "win/ComObject.h"

namespace Lumo::Win {

HRESULT SearchInterfaceTable(void* object, const InterfaceEntry* table, REFIID iid, void** result) noexcept {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (!object || !table || !table->iid) return E_NOINTERFACE;
    const InterfaceEntry* found = ::IsEqualIID(iid, IID_IUnknown) ? table : nullptr;
    for (const InterfaceEntry* entry = table; !found && entry->iid; ++entry) {
        if (::IsEqualIID(iid, *entry->iid)) found = entry;
    }
    if (!found) return E_NOINTERFACE;
    auto* part = reinterpret_cast<IUnknown*>(static_cast<char*>(object) + found->offset);
    part->AddRef();
    *result = part;
    return S_OK;
}

}  // namespace Lumo::Win

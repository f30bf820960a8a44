// The class factory of the module's classes. Server locks count in the
// module lock; the factory itself does not, since the module caches it for
// as long as it is loaded.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "win/ComObject.h"

class ClassFactory final : public Lumo::Win::ComObject<ClassFactory, IClassFactory> {
public:
    using Creator = HRESULT (*)(REFIID iid, void** result) noexcept;
    explicit ClassFactory(Creator creator) : creator_(creator) {}

    static const Lumo::Win::InterfaceEntry* Interfaces() noexcept;

    IFACEMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** result) noexcept override;
    IFACEMETHODIMP LockServer(BOOL lock) noexcept override;

private:
    ~ClassFactory() override = default;
    Creator creator_;
};

// The class factory of CGotoFavorite. Server locks count in the module lock.
#pragma once

#include <windows.h>
#include <unknwn.h>

class ClassFactory final : public IClassFactory {
public:
    using Creator = HRESULT (*)(REFIID iid, void** result) noexcept;
    explicit ClassFactory(Creator creator) : creator_(creator) {}

    IFACEMETHODIMP QueryInterface(REFIID iid, void** result) noexcept override;
    IFACEMETHODIMP_(ULONG) AddRef() noexcept override;
    IFACEMETHODIMP_(ULONG) Release() noexcept override;
    IFACEMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** result) noexcept override;
    IFACEMETHODIMP LockServer(BOOL lock) noexcept override;

private:
    ~ClassFactory() = default;
    volatile LONG references_ = 1;
    Creator creator_;
};

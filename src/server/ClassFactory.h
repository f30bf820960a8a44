// The class factory of CGotoFavorite. Server locks count in the module lock.
#pragma once

#include <windows.h>
#include <unknwn.h>

class ClassFactory final : public IClassFactory {
public:
    using Creator = HRESULT (*)(REFIID iid, void** result);
    explicit ClassFactory(Creator creator) : creator_(creator) {}

    IFACEMETHODIMP QueryInterface(REFIID iid, void** result) override;
    IFACEMETHODIMP_(ULONG) AddRef() override;
    IFACEMETHODIMP_(ULONG) Release() override;
    IFACEMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** result) override;
    IFACEMETHODIMP LockServer(BOOL lock) override;

private:
    ~ClassFactory() = default;
    volatile LONG references_ = 1;
    Creator creator_;
};

// The module this code is linked into: the DLL in a host, the program in a test.
#pragma once

#include <windows.h>

namespace Lumo::Win {

inline HMODULE CurrentModule() noexcept {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&CurrentModule), &module);
    return module;
}

}  // namespace Lumo::Win

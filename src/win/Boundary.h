// Turns any exception escaping a call the system makes into the HRESULT the
// boundary promises: the real code of our own COM errors, E_OUTOFMEMORY for
// allocation failures and the given fallback for everything else.
#pragma once

#include <windows.h>

#include <new>

#include "system/Errors.h"

namespace Lumo::Win {

template <class Body>
HRESULT ComBoundary(HRESULT fallback, Body&& body) noexcept {
    try {
        return body();
    } catch (const Lumo::ComError& e) {
        return FAILED(e.Result()) ? e.Result() : fallback;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return fallback;
    }
}

}  // namespace Lumo::Win

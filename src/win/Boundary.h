// The one-line policies that end every call the system makes into the module:
// COM methods and exports, hook procedures, window and dialog procedures,
// thread procedures. Each runs its body and turns any exception into the value
// the boundary promises, so no exception ever reaches the host's frames; each
// exception caught leaves one line in the diagnostic log, under the name of the
// function that holds the boundary (filled in by the compiler at the call).
#pragma once

#include <windows.h>

#include <new>
#include <optional>

#include "win/DiagnosticLog.h"
#include "win/Errors.h"
#include "win/ModuleReference.h"

namespace Lumo::Win {

// COM methods and exports: the real code of our own COM errors,
// E_OUTOFMEMORY for allocation failures and `fallback` for everything else.
template <class Body>
HRESULT ComBoundary(HRESULT fallback, Body&& body, const char* function = __builtin_FUNCTION()) noexcept {
    try {
        return body();
    } catch (const Lumo::ComError& e) {
        LogCurrentException(function);
        return FAILED(e.Result()) ? e.Result() : fallback;
    } catch (const std::bad_alloc&) {
        LogCurrentException(function);
        return E_OUTOFMEMORY;
    } catch (...) {
        LogCurrentException(function);
        return fallback;
    }
}

// Any boundary with a plain result: the body's value, or `fallback` when it throws.
template <class Result, class Body>
Result Boundary(Result fallback, Body&& body, const char* function = __builtin_FUNCTION()) noexcept {
    try {
        return body();
    } catch (...) {
        LogCurrentException(function);
        return fallback;
    }
}

// Boundaries without a result (callbacks, notifications).
template <class Body>
void VoidBoundary(Body&& body, const char* function = __builtin_FUNCTION()) noexcept {
    try {
        body();
    } catch (...) {
        LogCurrentException(function);
    }
}

// Window procedures: `fallback` (usually what DefWindowProc would give) on failure.
template <class Body>
LRESULT WindowBoundary(LRESULT fallback, Body&& body, const char* function = __builtin_FUNCTION()) noexcept {
    return Boundary<LRESULT>(fallback, std::forward<Body>(body), function);
}

// Dialog procedures: FALSE (not handled) on failure.
template <class Body>
INT_PTR DialogBoundary(Body&& body, const char* function = __builtin_FUNCTION()) noexcept {
    return Boundary<INT_PTR>(FALSE, std::forward<Body>(body), function);
}

// Thread procedures: exit code 1 on failure.
template <class Body>
DWORD ThreadBoundary(Body&& body, const char* function = __builtin_FUNCTION()) noexcept {
    return Boundary<DWORD>(1, std::forward<Body>(body), function);
}

// Hook procedures: the body answers a value to end the chain with, or nothing
// to pass the event on; a failure passes it on as if we were not there. The
// call counts as in flight, the rest of the chain included, until it returns.
template <class Body>
LRESULT HookBoundary(int code, WPARAM wParam, LPARAM lParam, Body&& body,
                     const char* function = __builtin_FUNCTION()) noexcept {
    const HookCallInFlight inFlight;
    try {
        std::optional<LRESULT> answer = body();
        if (answer) return *answer;
    } catch (...) {
        LogCurrentException(function);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace Lumo::Win

// Owners of network handles: WinINet's internet and request handles, and the
// network provider's enumeration handles. Their libraries are loaded only
// when a rare command needs them, so these stay out of win/Handle.h, which
// every room includes.
#pragma once

#include <windows.h>
#include <wininet.h>
#include <winnetwk.h>

#include "win/Handle.h"

namespace Lumo::Win {

// Closing an internet handle also ends what it started: a request handle
// ends its request, the session's handle an open that has none yet. Where
// the result of the close matters (a close that fails leaves WinINet
// reporting on the handle), hand the value over with release() and close it
// by hand.
struct InternetHandleTraits {
    static HINTERNET Invalid() { return nullptr; }
    static void Close(HINTERNET handle) { ::InternetCloseHandle(handle); }
};

struct NetworkEnumerationTraits {
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE enumeration) { ::WNetCloseEnum(enumeration); }
};

using UniqueInternet = UniqueResource<HINTERNET, InternetHandleTraits>;
using UniqueNetworkEnumeration = UniqueResource<HANDLE, NetworkEnumerationTraits>;

}  // namespace Lumo::Win

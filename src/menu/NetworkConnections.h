// The network-connection services a favorite needs before it can be opened:
// connecting a share, asking what a drive letter is connected to, and the
// remembered drive connections. The system's functions are the default; a
// test puts a double of its own in their place.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace Lumo::Menu {

class NetworkConnections {
public:
    virtual ~NetworkConnections() = default;

    // WNetUseConnectionW, interactive, owned by `owner`; an empty local name
    // connects without a drive letter.
    virtual DWORD UseConnection(HWND owner, const std::wstring& localName, const std::wstring& remoteName);
    // WNetGetConnectionW: the status, and the remote name when connected.
    virtual DWORD GetConnection(const std::wstring& localName, std::wstring& remoteName);
    // Remembered disk connections, upper-cased local name -> remote name;
    // false when they cannot be enumerated to the end.
    virtual bool RememberedConnections(std::map<std::wstring, std::wstring>& connections);

    // The services in use; SetCurrent(nullptr) restores the system's.
    static NetworkConnections& Current();
    static void SetCurrent(NetworkConnections* connections);
};

}  // namespace Lumo::Menu

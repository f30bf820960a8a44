// The system's network-connection functions.
#include "menu/NetworkConnections.h"

#include <winnetwk.h>

#include <vector>

#include "win/DiagnosticLog.h"
#include "win/Network.h"

namespace Menu {

namespace {

NetworkConnections* g_current = nullptr;

}  // namespace

NetworkConnections& NetworkConnections::Current() {
    static NetworkConnections system;
    return g_current ? *g_current : system;
}

void NetworkConnections::SetCurrent(NetworkConnections* connections) { g_current = connections; }

DWORD NetworkConnections::UseConnection(HWND owner, const std::wstring& localName,
                                        const std::wstring& remoteName) {
    NETRESOURCEW resource{};
    resource.dwType = RESOURCETYPE_DISK;
    std::wstring local = localName;
    std::wstring remote = remoteName;
    resource.lpLocalName = local.data();
    resource.lpRemoteName = remote.data();
    DWORD resultFlags = 0;
    DWORD accessSize = 0;
    return ::WNetUseConnectionW(owner, &resource, nullptr, nullptr, CONNECT_INTERACTIVE, nullptr, &accessSize,
                                &resultFlags);
}

DWORD NetworkConnections::GetConnection(const std::wstring& localName, std::wstring& remoteName) {
    std::vector<wchar_t> remote(80);
    for (;;) {
        DWORD size = static_cast<DWORD>(remote.size());
        DWORD status = ::WNetGetConnectionW(localName.c_str(), remote.data(), &size);
        if (status == ERROR_MORE_DATA && size > remote.size()) {
            remote.resize(size);
            continue;
        }
        if (status == NO_ERROR) remoteName.assign(remote.data());
        return status;
    }
}

bool NetworkConnections::RememberedConnections(std::map<std::wstring, std::wstring>& connections) {
    Lumo::Win::UniqueNetworkEnumeration enumeration;
    if (::WNetOpenEnumW(RESOURCE_REMEMBERED, RESOURCETYPE_DISK, RESOURCEUSAGE_CONNECTABLE, nullptr,
                        enumeration.put()) != NO_ERROR) {
        return false;
    }
    std::vector<BYTE> buffer;
    try {
        buffer.resize(16384);
    } catch (...) {
        Lumo::Win::LogCurrentException("NetworkConnections::RememberedConnections");
        return false;
    }
    for (;;) {
        DWORD count = static_cast<DWORD>(-1);
        DWORD size = static_cast<DWORD>(buffer.size());
        if (::WNetEnumResourceW(enumeration.get(), &count, buffer.data(), &size) != NO_ERROR) break;
        const auto* resources = reinterpret_cast<const NETRESOURCEW*>(buffer.data());
        for (DWORD i = 0; i < count; ++i) {
            if (!resources[i].lpLocalName || !resources[i].lpRemoteName) continue;
            std::wstring local = resources[i].lpLocalName;
            ::CharUpperBuffW(local.data(), static_cast<DWORD>(local.size()));
            connections[local] = resources[i].lpRemoteName;
        }
    }
    // Closed by hand: its answer is the caller's.
    return ::WNetCloseEnum(enumeration.release()) == NO_ERROR;
}

}  // namespace Menu

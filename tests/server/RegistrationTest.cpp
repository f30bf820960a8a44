// Registration of the built module with regsvr32 in the test prefix: what it
// writes, that registering twice changes nothing, and what unregistering
// removes and keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "server/ServerIds.h"
#include "support/TestSupport.h"
#include "win/Handle.h"

using namespace QuelvarTest;

namespace {

const std::wstring kClsid = kClsidText;
const std::wstring kAppId = kAppIdText;
const std::wstring kInterfaceId = L"{6206B70C-262C-47A1-8772-D3E656ECDA97}";
const std::vector<std::wstring> kHandlerParents = {
    L"lnkfile", L"*", L"Folder", L"Directory\\Background", L"Directory", L"Drive", L"InternetShortcut"};

std::wstring HandlerKey(const std::wstring& parent) {
    return parent + L"\\ShellEx\\ContextMenuHandlers\\Quelvar";
}

DWORD Regsvr32(bool unregister) {
    std::wstring line = L"regsvr32.exe /s ";
    if (unregister) line += L"/u ";
    line += L"\"" + BuiltModulePath() + L"\"";
    return RunProcess(line);
}

// Names and texts of the values of a key, "name=text" with "@" for the default.
std::vector<std::wstring> ValueTexts(HKEY root, const std::wstring& path) {
    std::vector<std::wstring> texts;
    for (const RegistryValue& value : Values(root, path)) {
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), value.type)
            << "value " << std::string(value.name.begin(), value.name.end());
        texts.push_back((value.name.empty() ? L"@" : value.name) + L"=" + value.Text());
    }
    return texts;
}

void ExpectRegistered() {
    const std::wstring clsidKey = L"CLSID\\" + kClsid;
    EXPECT_EQ((std::vector<std::wstring>{L"@=GotoFavorite Class", L"AppID=" + kAppId}),
              ValueTexts(HKEY_CLASSES_ROOT, clsidKey));
    EXPECT_EQ(std::vector<std::wstring>{L"InprocServer32"}, SubkeyNames(HKEY_CLASSES_ROOT, clsidKey));
    // regsvr32 may hand over the path in another letter case or form; the
    // key must name this very module file.
    std::vector<RegistryValue> server = Values(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32");
    ASSERT_EQ(2u, server.size());
    EXPECT_EQ(L"", server[0].name);
    EXPECT_EQ(0, ::lstrcmpiW(server[0].Text().c_str(), BuiltModulePath().c_str()));
    EXPECT_EQ(L"ThreadingModel", server[1].name);
    EXPECT_EQ(L"Apartment", server[1].Text());

    // The class of Windows 11's first-level menu: its CLSID and server, and no handler key of its own
    // (the handler keys above name the classic class alone).
    const std::wstring commandKey = L"CLSID\\" + std::wstring(kCommandClsidText);
    EXPECT_EQ(std::vector<std::wstring>{L"@=Quelvar Explorer Command"},
              ValueTexts(HKEY_CLASSES_ROOT, commandKey));
    std::vector<RegistryValue> commandServer = Values(HKEY_CLASSES_ROOT, commandKey + L"\\InprocServer32");
    ASSERT_EQ(2u, commandServer.size());
    EXPECT_EQ(0, ::lstrcmpiW(commandServer[0].Text().c_str(), BuiltModulePath().c_str()));
    EXPECT_EQ(L"Apartment", commandServer[1].Text());

    EXPECT_EQ(std::vector<std::wstring>{L"@=Quelvar"}, ValueTexts(HKEY_CLASSES_ROOT, L"AppID\\" + kAppId));
    EXPECT_EQ(std::vector<std::wstring>{L"AppID=" + kAppId},
              ValueTexts(HKEY_CLASSES_ROOT, L"AppID\\Quelvar.DLL"));

    for (const std::wstring& parent : kHandlerParents) {
        EXPECT_EQ(std::vector<std::wstring>{L"@=" + kClsid},
                  ValueTexts(HKEY_CLASSES_ROOT, HandlerKey(parent)))
            << std::string(parent.begin(), parent.end());
        std::vector<std::wstring> handlers =
            SubkeyNames(HKEY_CLASSES_ROOT, parent + L"\\ShellEx\\ContextMenuHandlers");
        EXPECT_EQ(1, std::count(handlers.begin(), handlers.end(), L"Quelvar"));
        EXPECT_TRUE(SubkeyNames(HKEY_CLASSES_ROOT, HandlerKey(parent)).empty());
    }

    // The approved value: REG_SZ "Quelvar" with its terminating null counted.
    bool found = false;
    for (const RegistryValue& value : Values(HKEY_LOCAL_MACHINE, kApprovedKey)) {
        if (value.name != kClsid) continue;
        found = true;
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), value.type);
        EXPECT_EQ(sizeof(L"Quelvar"), value.data.size());
        EXPECT_EQ(L"Quelvar", value.Text());
    }
    EXPECT_TRUE(found) << "approved value missing";

    // The merged proxy/stub registers the interface and its factory class.
    const std::wstring proxyKey = L"Interface\\" + kInterfaceId + L"\\ProxyStubClsid32";
    std::vector<RegistryValue> proxy = Values(HKEY_CLASSES_ROOT, proxyKey);
    ASSERT_EQ(1u, proxy.size());
    EXPECT_EQ(L"{C9FD8392-C0B9-4AF0-8330-09594D0DCC66}", proxy[0].Text());
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + proxy[0].Text() + L"\\InProcServer32"));
}

// Whether a key written below HKEY_CURRENT_USER\Software\Classes shows in HKEY_CLASSES_ROOT, as the
// user's own classes do on Windows.
bool SystemMergesUserClasses() {
    const wchar_t* probe = L"Software\\Classes\\QuelvarMergeProbe";
    Lumo::Win::UniqueKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, probe, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    key.reset();
    const bool merged = KeyExists(HKEY_CLASSES_ROOT, L"QuelvarMergeProbe");
    ::RegDeleteKeyW(HKEY_CURRENT_USER, probe);
    return merged;
}

bool ApprovedValuePresent() {
    for (const RegistryValue& value : Values(HKEY_LOCAL_MACHINE, kApprovedKey)) {
        if (value.name == kClsid) return true;
    }
    return false;
}

}  // namespace

TEST(Registration, Regsvr32WritesBothScriptsAndTheApprovedValueOnce) {
    ASSERT_EQ(0u, Regsvr32(false));
    ExpectRegistered();

    // Something left below the class key is swept away by the next
    // registration, which rewrites the ForceRemove keys instead of adding.
    {
        Lumo::Win::UniqueKey stray;
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegCreateKeyExW(HKEY_CLASSES_ROOT, (L"CLSID\\" + kClsid + L"\\Stray").c_str(), 0, nullptr,
                                    0, KEY_WRITE, nullptr, stray.put(), nullptr));
    }
    ASSERT_EQ(0u, Regsvr32(false));
    ExpectRegistered();
}

TEST(Registration, UnregisterRemovesOwnKeysAndKeepsNoRemoveParents) {
    ASSERT_EQ(0u, Regsvr32(false));
    // A foreign handler beside ours must survive.
    {
        Lumo::Win::UniqueKey foreign;
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegCreateKeyExW(HKEY_CLASSES_ROOT,
                                    L"Directory\\Background\\ShellEx\\ContextMenuHandlers\\Other", 0, nullptr,
                                    0, KEY_WRITE, nullptr, foreign.put(), nullptr));
    }
    ASSERT_EQ(0u, Regsvr32(true));

    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + kClsid));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + std::wstring(kCommandClsidText)));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"AppID\\" + kAppId));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"AppID\\Quelvar.DLL"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"AppID"));
    for (const std::wstring& parent : kHandlerParents) {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, HandlerKey(parent)))
            << std::string(parent.begin(), parent.end());
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, parent + L"\\ShellEx\\ContextMenuHandlers"));
    }
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"Directory\\Background\\ShellEx\\ContextMenuHandlers\\Other"));
    EXPECT_FALSE(ApprovedValuePresent());
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Interface\\" + kInterfaceId));

    // Unregistering what is not registered is not an error.
    EXPECT_EQ(0u, Regsvr32(true));
    ::RegDeleteKeyW(HKEY_CLASSES_ROOT, L"Directory\\Background\\ShellEx\\ContextMenuHandlers\\Other");
}

// regsvr32 /n /i:user registers for the signed-in user alone: the same keys
// below HKEY_CURRENT_USER\Software\Classes, the approved value below
// HKEY_CURRENT_USER, nothing for the machine; COM finds the class through it;
// /u takes all of it away again.
TEST(Registration, PerUserInstallWritesOnlyTheUsersKeysAndComFindsIt) {
    ASSERT_EQ(0u, Regsvr32(true));
    const std::wstring module = L"\"" + BuiltModulePath() + L"\"";
    const std::wstring userClasses = L"Software\\Classes\\";
    ASSERT_EQ(0u, RunProcess(L"regsvr32.exe /s /n /i:user " + module));

    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID\\" + kClsid));
    EXPECT_FALSE(ApprovedValuePresent());
    struct Expected {
        std::wstring key;
        std::wstring defaultText;
    };
    const std::vector<Expected> keys = {
        {L"CLSID\\" + kClsid, L"GotoFavorite Class"},
        {L"CLSID\\" + kClsid + L"\\InprocServer32", L""},
        {L"AppID\\" + kAppId, L"Quelvar"},
        {L"Interface\\" + kInterfaceId, L""},
        {HandlerKey(L"*"), kClsid},
        {HandlerKey(L"Directory\\Background"), kClsid},
        {HandlerKey(L"Folder"), kClsid},
    };
    for (const Expected& expected : keys) {
        SCOPED_TRACE(std::string(expected.key.begin(), expected.key.end()));
        ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, userClasses + expected.key));
        if (expected.defaultText.empty()) continue;
        std::vector<RegistryValue> values = Values(HKEY_CURRENT_USER, userClasses + expected.key);
        ASSERT_FALSE(values.empty());
        EXPECT_EQ(expected.defaultText, values[0].Text());
    }
    EXPECT_EQ(
        0, ::lstrcmpiW(Values(HKEY_CURRENT_USER, userClasses + L"CLSID\\" + kClsid + L"\\InprocServer32")[0]
                           .Text()
                           .c_str(),
                       BuiltModulePath().c_str()));
    bool approved = false;
    for (const RegistryValue& value : Values(HKEY_CURRENT_USER, kApprovedKey)) {
        approved = approved || (value.name == kClsid && value.Text() == L"Quelvar");
    }
    EXPECT_TRUE(approved);

    if (!SystemMergesUserClasses()) {
        // Wine (8.0) reads HKEY_CLASSES_ROOT from the machine's classes alone, so neither the registry
        // functions nor COM see a class the user registered; Windows merges the user's classes in.
        std::printf(
            "[  WINE    ] no COM activation check: HKEY_CLASSES_ROOT does not show "
            "HKEY_CURRENT_USER\\Software\\Classes here\n");
    } else {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CLSID clsid{};
        ASSERT_EQ(S_OK, ::CLSIDFromString(kClsid.c_str(), &clsid));
        IUnknown* object = nullptr;
        EXPECT_EQ(S_OK, ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                           reinterpret_cast<void**>(&object)));
        if (object) object->Release();
        ::CoUninitialize();
    }

    ASSERT_EQ(0u, RunProcess(L"regsvr32.exe /s /u /n /i:user " + module));
    for (const Expected& expected : keys) {
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, userClasses + expected.key))
            << std::string(expected.key.begin(), expected.key.end());
    }
    for (const RegistryValue& value : Values(HKEY_CURRENT_USER, kApprovedKey)) EXPECT_NE(kClsid, value.name);
    // Any other command line is refused and writes nothing.
    EXPECT_NE(0u, RunProcess(L"regsvr32.exe /s /n /i:machine " + module));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, userClasses + L"CLSID\\" + kClsid));
}

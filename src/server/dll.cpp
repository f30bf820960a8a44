// The module entry point and the exports through which COM finds, registers
// and unloads the server; DllInstall registers it for the signed-in user alone.
#include <windows.h>

#include <string>

#include "server/Module.h"
#include "server/Registrar.h"
#include "server/ServerIds.h"
#include "server/GlobalImpl.h"
#include "system/ModulePath.h"
#include "win/Boundary.h"
#include "win/Errors.h"
#include "win/Handle.h"

extern "C" {
BOOL WINAPI PrxDllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
HRESULT WINAPI PrxDllGetClassObject(REFCLSID clsid, REFIID iid, void** result);
HRESULT WINAPI PrxDllCanUnloadNow();
HRESULT WINAPI PrxDllRegisterServer();
HRESULT WINAPI PrxDllUnregisterServer();
}

namespace {

HINSTANCE g_instance = nullptr;

// Under the loader lock: only what kernel32 does without loading or waiting
// for anything. The process-wide objects are built on first use.
BOOL ProcessAttach(HINSTANCE instance, LPVOID reserved) noexcept {
    g_instance = instance;
    GlobalImpl::Attach(instance);
    return PrxDllMain(instance, DLL_PROCESS_ATTACH, reserved);
}

// The thread locale used while the scripts run, restored on every path.
class SystemLocaleScope {
public:
    SystemLocaleScope() : saved_(::GetThreadLocale()) { ::SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~SystemLocaleScope() { ::SetThreadLocale(saved_); }

private:
    LCID saved_;
};

Lumo::Registry::Registrar ModuleRegistrar() {
    Lumo::Registry::Registrar registrar;
    registrar.AddReplacement(L"APPID", kAppIdText);
    registrar.AddReplacement(L"CLSID", kClsidText);
    registrar.AddReplacement(L"COMMAND_CLSID", kCommandClsidText);
    registrar.AddReplacement(L"MODULE", Lumo::System::ModuleFileName(g_instance));
    return registrar;
}

// Writes (registering) or removes the module's registration wherever HKEY_CLASSES_ROOT points: the registry
// scripts in one sequence (the AppID; the handler's class and the shell keys that name it; the class of
// Windows 11's first-level menu, its CLSID only, as the package declares where Explorer uses it), removed
// in the reverse order, then the proxy/stub.
HRESULT RunRegistration(bool registering) {
    HRESULT hr;
    {
        SystemLocaleScope locale;
        hr = ModuleRegistrar().RunResources(g_instance, {kAppIdScriptId, kClassScriptId, kCommandScriptId},
                                            registering);
    }
    if (FAILED(hr)) return hr;
    // The proxy/stub is written before it is removed, so that its removal finds every key it takes out
    // even after an earlier removal took some of them.
    hr = PrxDllRegisterServer();
    if (SUCCEEDED(hr) && !registering) hr = PrxDllUnregisterServer();
    return hr;
}

// While it lives, HKEY_CLASSES_ROOT of this process stands for the user's own
// HKEY_CURRENT_USER\Software\Classes, the part of the classes root that the
// system merges in for that user alone and that needs no administrator rights.
// The registry scripts and the proxy/stub registration then write there
// unchanged.
class PerUserClassesRoot {
public:
    PerUserClassesRoot() {
        Lumo::Win::UniqueKey classes;
        const LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, classes.put(), nullptr);
        if (status != ERROR_SUCCESS) throw Lumo::LastError(status);
        const LSTATUS overridden = ::RegOverridePredefKey(HKEY_CLASSES_ROOT, classes.get());
        if (overridden != ERROR_SUCCESS) throw Lumo::LastError(overridden);
    }
    ~PerUserClassesRoot() { ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr); }
    PerUserClassesRoot(const PerUserClassesRoot&) = delete;
    PerUserClassesRoot& operator=(const PerUserClassesRoot&) = delete;
};

void SetUserApprovedValue(bool approve) {
    Lumo::Win::UniqueKey approved;
    if (approve) {
        const LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, kApprovedKey, 0, nullptr, 0,
                                                 KEY_SET_VALUE, nullptr, approved.put(), nullptr);
        if (status != ERROR_SUCCESS) throw Lumo::LastError(status);
        const std::wstring data = kHandlerName;
        const LSTATUS set = ::RegSetValueExW(approved.get(), kClsidText, 0, REG_SZ,
                                             reinterpret_cast<const BYTE*>(data.c_str()),
                                             static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        if (set != ERROR_SUCCESS) throw Lumo::LastError(set);
    } else if (::RegOpenKeyExW(HKEY_CURRENT_USER, kApprovedKey, 0, KEY_SET_VALUE, approved.put()) ==
               ERROR_SUCCESS) {
        ::RegDeleteValueW(approved.get(), kClsidText);
    }
}

HRESULT RegisterForUser(bool install) {
    if (install) SetUserApprovedValue(true);
    HRESULT hr;
    {
        PerUserClassesRoot classesRoot;
        hr = RunRegistration(install);
    }
    if (SUCCEEDED(hr) && !install) SetUserApprovedValue(false);
    return hr;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) noexcept {
    const Lumo::Win::LoaderLockScope loaderLock;  // failures logged here reach only the debugger
    if (reason == DLL_PROCESS_ATTACH) return ProcessAttach(instance, reserved);
    Lumo::Win::VoidBoundary([&] {
        switch (reason) {
            case DLL_THREAD_DETACH:
                // The system removes the thread's hooks with the thread.
                GlobalImpl::ForgetThread();
                break;
            case DLL_PROCESS_DETACH:
                // Every hook is gone by now: DllCanUnloadNow took them out,
                // and while one exists the module keeps itself loaded.
                GlobalImpl::Detach(reserved != nullptr);
                break;
        }
        PrxDllMain(instance, reason, reserved);
    });
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** result) noexcept {
    if (!result) return E_POINTER;
    return Lumo::Win::ComBoundary(E_FAIL, [&]() -> HRESULT {
        *result = nullptr;
        if (SUCCEEDED(PrxDllGetClassObject(clsid, iid, result))) return S_OK;
        *result = nullptr;
        return Module().GetClassObject(clsid, iid, result);
    });
}

// Outside the loader lock, and the last word before COM frees the module:
// when nothing of it is in use, every thread's hooks and the process-wide
// objects go here.
extern "C" HRESULT WINAPI DllCanUnloadNow() noexcept {
    if (PrxDllCanUnloadNow() != S_OK) return S_FALSE;
    return GlobalImpl::ReleaseIfUnused() ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllRegisterServer() noexcept {
    return Lumo::Win::ComBoundary(E_FAIL, [&]() -> HRESULT {
        // Only an administrator may write the machine's list of approved
        // extensions: without that right nothing is registered.
        Lumo::Win::UniqueKey approved;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kApprovedKey, 0, KEY_SET_VALUE, approved.put()) !=
            ERROR_SUCCESS) {
            return E_ACCESSDENIED;
        }
        const std::wstring data = kHandlerName;
        if (::RegSetValueExW(approved.get(), kClsidText, 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS) {
            return E_ACCESSDENIED;
        }
        return RunRegistration(true);
    });
}

extern "C" HRESULT WINAPI DllUnregisterServer() noexcept {
    return Lumo::Win::ComBoundary(E_FAIL, [&]() -> HRESULT {
        Lumo::Win::UniqueKey approved;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kApprovedKey, 0, KEY_SET_VALUE, approved.put()) ==
            ERROR_SUCCESS) {
            ::RegDeleteValueW(approved.get(), kClsidText);
        }
        return RunRegistration(false);
    });
}

// regsvr32 /n /i:user (install) and regsvr32 /u /n /i:user (uninstall): the
// registration for the signed-in user only. Any other command line is refused,
// so that a mistyped one never writes where the user did not mean.
extern "C" HRESULT WINAPI DllInstall(BOOL install, PCWSTR commandLine) noexcept {
    return Lumo::Win::ComBoundary(E_FAIL, [&]() -> HRESULT {
        if (!commandLine || ::lstrcmpiW(commandLine, L"user") != 0) return E_INVALIDARG;
        return RegisterForUser(install != FALSE);
    });
}

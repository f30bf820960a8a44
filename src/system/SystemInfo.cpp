// Operating-system and shell-version probes, product version.
#include "system/SystemInfo.h"

#include "Version.h"  // generated from project()
#include "win/Errors.h"
#include "win/Handle.h"

namespace Lumo::System {

COSVersion::COSVersion() {
    using GetVersionExFn = BOOL(WINAPI*)(OSVERSIONINFOW*);
    HMODULE kernel = ::GetModuleHandleW(L"KERNEL32.DLL");
    auto getVersionEx =
        kernel ? reinterpret_cast<GetVersionExFn>(::GetProcAddress(kernel, "GetVersionExW")) : nullptr;
    if (!getVersionEx) throw Lumo::AnyError();

    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
    bool extended = getVersionEx(reinterpret_cast<OSVERSIONINFOW*>(&info)) != FALSE;
    if (!extended) {
        info = OSVERSIONINFOEXW{};
        info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
        if (!getVersionEx(reinterpret_cast<OSVERSIONINFOW*>(&info))) throw Lumo::AnyError();
    }
    Record(info, extended);
}

COSVersion::COSVersion(const OSVERSIONINFOEXW& info) {
    Record(info, info.dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXW));
}

void COSVersion::Record(const OSVERSIONINFOEXW& info, bool extended) {
    switch (info.dwPlatformId) {
        case VER_PLATFORM_WIN32_WINDOWS:
            family_ = Windows95Family;
            break;
        case VER_PLATFORM_WIN32_NT:
            family_ = NTFamily;
            break;
        case 3 /* VER_PLATFORM_WIN32_CE */:
            family_ = WindowsCE;
            break;
        default:
            family_ = Unknown;
            break;
    }
    major_ = info.dwMajorVersion;
    minor_ = info.dwMinorVersion;
    // The 95 family keeps major and minor version in the high word of the build.
    build_ = family_ == Windows95Family ? LOWORD(info.dwBuildNumber) : info.dwBuildNumber;
    servicePack_.assign(info.szCSDVersion, wcsnlen(info.szCSDVersion, 128));
    if (extended) {
        servicePackMajor_ = info.wServicePackMajor;
        servicePackMinor_ = info.wServicePackMinor;
        suiteMask_ = info.wSuiteMask;
        productType_ = info.wProductType;
    }
}

DllVersion::DllVersion() : DllVersion(&DllVersion::ProbeModule) {}

DllVersion::DllVersion(Probe probe) : probe_(std::move(probe)) {}

DllVersionInfoPtr DllVersion::ShellVersion() { return Get(L"shell32.dll"); }

DllVersionInfoPtr DllVersion::Get(const std::wstring& module) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = cache_.find(module);
    if (found != cache_.end()) return found->second;
    DllVersionInfoPtr info = probe_(module);
    cache_.emplace(module, info);
    return info;
}

DllVersionInfoPtr DllVersion::ProbeModule(const std::wstring& module) {
    Lumo::Win::UniqueModule library(::LoadLibraryW(module.c_str()));
    if (!library) return nullptr;
    auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(::GetProcAddress(library.get(), "DllGetVersion"));
    if (!getVersion) return nullptr;
    auto info = std::make_shared<DllVersionInfo>();
    *info = DllVersionInfo{};
    info->cbSize = sizeof(DllVersionInfo);
    if (FAILED(getVersion(info.get()))) return nullptr;
    return info;
}

std::wstring ProductVersion() { return QV_VERSION_WTEXT; }

}  // namespace Lumo::System

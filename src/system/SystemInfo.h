// Probes of the running system (operating-system and shell versions) and the
// module's product version.
#pragma once

#include <windows.h>
#include <shlwapi.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "system/Singleton.h"

namespace Lumo::System {

// The operating-system probe: what GetVersionEx reports, read at construction.
class COSVersion {
public:
    enum PlatformFamily { Unknown = 0, Windows95Family = 2, NTFamily = 3, WindowsCE = 4 };

    // Probes the running system; throws Lumo::AnyError when it cannot.
    COSVersion();
    // Takes a version record as the system would report it.
    explicit COSVersion(const OSVERSIONINFOEXW& info);
    virtual ~COSVersion() = default;

    int Family() const { return family_; }
    DWORD Major() const { return major_; }
    DWORD Minor() const { return minor_; }
    DWORD Build() const { return build_; }
    const std::wstring& ServicePack() const { return servicePack_; }

private:
    void Record(const OSVERSIONINFOEXW& info, bool extended);

    int family_ = Unknown;
    DWORD major_ = 0;
    DWORD minor_ = 0;
    DWORD build_ = 0;
    std::wstring servicePack_;
    WORD servicePackMajor_ = 0;
    WORD servicePackMinor_ = 0;
    WORD suiteMask_ = 0;
    BYTE productType_ = 0;
};

class OSVersion : public COSVersion, public Lumo::Global::Singleton<OSVersion> {
public:
    OSVersion() = default;
    explicit OSVersion(const OSVERSIONINFOEXW& info) : COSVersion(info) {}
};

// A module's version record; null when the module gives none.
using DllVersionInfo = DLLVERSIONINFO;
using DllVersionInfoPtr = std::shared_ptr<const DllVersionInfo>;

// Caches version records of system modules; only shell32.dll is asked for.
// Each module is probed at most once per process.
class DllVersion : public Lumo::Global::Singleton<DllVersion> {
public:
    using Probe = std::function<DllVersionInfoPtr(const std::wstring& module)>;

    DllVersion();
    explicit DllVersion(Probe probe);

    DllVersionInfoPtr ShellVersion();
    DllVersionInfoPtr Get(const std::wstring& module);

    // Loads the module and asks its DllGetVersion.
    static DllVersionInfoPtr ProbeModule(const std::wstring& module);

private:
    Probe probe_;
    std::mutex mutex_;
    std::map<std::wstring, DllVersionInfoPtr> cache_;
};

// The product version of project(), such as "1.5.1.3".
std::wstring ProductVersion();

}  // namespace Lumo::System

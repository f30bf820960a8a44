// Operating-system and shell-version probes, product version.
#include <gtest/gtest.h>

#include "system/SystemInfo.h"

using namespace Lumo::System;

namespace {

OSVERSIONINFOEXW Version(DWORD platform, DWORD major, DWORD minor) {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    info.dwPlatformId = platform;
    info.dwMajorVersion = major;
    info.dwMinorVersion = minor;
    return info;
}

}  // namespace

TEST(OSVersionProbe, TheFamilyFollowsThePlatform) {
    EXPECT_EQ(COSVersion::Windows95Family, COSVersion(Version(VER_PLATFORM_WIN32_WINDOWS, 4, 0)).Family());
    EXPECT_EQ(COSVersion::WindowsCE, COSVersion(Version(3, 4, 0)).Family());

    // The real probe works here and sees an NT-family system.
    COSVersion running;
    EXPECT_EQ(COSVersion::NTFamily, running.Family());
    EXPECT_GE(running.Major(), 5u);
}

TEST(ShellVersionProbe, ProbesEachModuleOnce) {
    int probes = 0;
    DllVersion versions([&](const std::wstring& module) -> DllVersionInfoPtr {
        ++probes;
        if (module != L"shell32.dll") return nullptr;
        auto info = std::make_shared<DllVersionInfo>();
        info->dwMajorVersion = 6;
        return info;
    });
    DllVersionInfoPtr first = versions.ShellVersion();
    DllVersionInfoPtr second = versions.ShellVersion();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, second);
    EXPECT_EQ(1, probes);
    // A module without a version is remembered as such, too.
    EXPECT_EQ(nullptr, versions.Get(L"other.dll"));
    EXPECT_EQ(nullptr, versions.Get(L"other.dll"));
    EXPECT_EQ(2, probes);
}

TEST(ShellVersionProbe, RealModules) {
    DllVersionInfoPtr shell = DllVersion::ProbeModule(L"shell32.dll");
    ASSERT_NE(nullptr, shell);
    EXPECT_GE(shell->dwMajorVersion, 5u);
    EXPECT_EQ(nullptr, DllVersion::ProbeModule(L"kernel32.dll"));  // no DllGetVersion
    EXPECT_EQ(nullptr, DllVersion::ProbeModule(L"no-such-module-here.dll"));
    EXPECT_EQ(L"1.5.1.3", ProductVersion());
}

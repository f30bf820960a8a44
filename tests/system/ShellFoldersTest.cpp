// The fifteen system folders and CSIDL lookups.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "support/TestSupport.h"
#include "win/Errors.h"
#include "system/ShellFolders.h"
#include "system/SystemInfo.h"
#include "win/Handle.h"

using namespace Lumo::System;

namespace {

// Stands in the process-wide shell-version probe for one test.
class ShellVersionScope {
public:
    explicit ShellVersionScope(int major)
        : versions_([major](const std::wstring&) -> DllVersionInfoPtr {
              if (major < 0) return nullptr;
              auto info = std::make_shared<DllVersionInfo>();
              info->dwMajorVersion = static_cast<DWORD>(major);
              return info;
          }),
          saved_(DllVersion::Instance()) {
        DllVersion::SetInstance(&versions_);
    }
    ~ShellVersionScope() { DllVersion::SetInstance(saved_); }

private:
    DllVersion versions_;
    DllVersion* saved_;
};

std::wstring WithBackslash(std::wstring path) {
    if (path.back() != L'\\') path += L'\\';
    return path;
}

}  // namespace

TEST(SpecialFolders, EveryFolderEndsWithABackslashOrFailsByException) {
    SpecialFolder folders;
    int found = 0;
    for (int number = 0; number < SpecialFolder::kSystemFolderCount; ++number) {
        try {
            std::wstring path = folders.SystemFolderPath(number);
            ASSERT_FALSE(path.empty()) << number;
            EXPECT_EQ(L'\\', path.back()) << number;
            EXPECT_NE(L'\\', path[path.size() - 2]) << number;
            ++found;
        } catch (const Lumo::AnyError&) {
            // A folder the system cannot give is reported, never empty.
        }
    }
    // These always exist in a fresh profile.
    for (int number : {0, 4, 5, 6, 7, 9, 11, 12}) EXPECT_NO_THROW(folders.SystemFolderPath(number)) << number;
    EXPECT_GE(found, 8);
    EXPECT_THROW(folders.SystemFolderPath(15), Lumo::AnyError);
    EXPECT_THROW(folders.SystemFolderPath(-1), Lumo::AnyError);

    wchar_t temp[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, temp);
    EXPECT_EQ(temp, folders.SystemFolderPath(7));
    EXPECT_EQ(folders.SpecialFolderPath(CSIDL_APPDATA), folders.SystemFolderPath(9));
}

TEST(SpecialFolders, OldShellsUseTheDirectoryFunctions) {
    SpecialFolder folders;
    wchar_t windows[MAX_PATH];
    wchar_t system[MAX_PATH];
    ASSERT_GT(::GetWindowsDirectoryW(windows, MAX_PATH), 0u);
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    {
        ShellVersionScope shell4(4);
        EXPECT_EQ(WithBackslash(windows), folders.SystemFolderPath(4));
        EXPECT_EQ(WithBackslash(system), folders.SystemFolderPath(5));
    }
    {
        ShellVersionScope shell6(6);
        EXPECT_EQ(folders.SpecialFolderPath(CSIDL_WINDOWS), folders.SystemFolderPath(4));
        EXPECT_EQ(0, ::lstrcmpiW(WithBackslash(windows).c_str(), folders.SystemFolderPath(4).c_str()));
    }
    {
        ShellVersionScope unknown(-1);
        EXPECT_THROW(folders.SystemFolderPath(4), Lumo::AnyError);
        EXPECT_THROW(folders.SystemFolderPath(5), Lumo::AnyError);
        EXPECT_NO_THROW(folders.SystemFolderPath(0));  // others do not ask
    }
}

TEST(SpecialFolders, AMissingVideoFolderFailsAlone) {
    // Point the user's video folder at a folder that does not exist; the
    // lookup must not create it and must fail.
    QuelvarTest::TempFolder temp;
    const std::wstring missing = temp.Path() + L"NoVideosHere";
    QuelvarTest::ScopedUserShellFolder video(L"My Video", missing);
    SpecialFolder folders;
    if (QuelvarTest::ShellFindsMissingFolders(CSIDL_MYVIDEO)) {
        GTEST_SKIP()
            << "this system's SHGetSpecialFolderPathW reports the missing folder as found (Wine does; "
               "Windows fails the call when the folder does not exist and creation is not asked for)";
    }
    EXPECT_THROW(folders.SystemFolderPath(3), Lumo::AnyError);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(missing.c_str()));
    EXPECT_NO_THROW(folders.SystemFolderPath(0));
    EXPECT_NO_THROW(folders.SystemFolderPath(11));
}

// Shared pieces of the navigation tests: a fixture with the process-wide
// objects over a private data file, a recorder standing in for the program
// launcher, a small shell-browser test double and windows that answer the
// shell-browser request with it.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "data/DataCenter.h"
#include "navigation/Navigation.h"
#include "support/ShellBrowserDouble.h"
#include "support/TestSupport.h"
#include "win/Handle.h"

using namespace ShellExt;

namespace NavigationTest {

// One call of the program launcher.
struct Launch {
    HWND window = nullptr;
    std::wstring verb, file, parameters, directory;
    bool hasParameters = false, hasDirectory = false;
    int show = 0;
};

using ShellBrowserDouble = QuelvarTest::ShellBrowserDouble;

// A window of class "QvNavigationTestHost" (a child when `parent` is given)
// that answers the shell-browser request with `browser` (0 when null).
HWND CreateBrowserHost(HWND parent, ShellBrowserDouble* browser);
// A plain window that answers the request with 0.
HWND CreatePlainWindow(HWND parent, const wchar_t* className = L"QvNavigationTestPlain");

// The absolute identifier list of a parsing name (empty when unknown).
Lumo::Win::UniqueIdList ParseName(const std::wstring& name);
// Both paths name the same folder (case and a trailing backslash ignored).
bool SamePath(std::wstring a, std::wstring b);

// Process-wide objects with a Data::DataCenter over a private folder, a launcher
// that records instead of starting programs.
class NavigationFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The navigate history as stored in the data file, most recent first.
    std::vector<std::wstring> StoredHistory() const;
    const std::wstring& Folder() const { return temp_.Path(); }
    // Creates a sub-folder (or, with `file`, an empty file) of the temporary
    // folder and returns its path without a trailing backslash.
    std::wstring MakeFolder(const std::wstring& name);
    std::wstring MakeFile(const std::wstring& name);

    QuelvarTest::TempFolder temp_;
    QuelvarTest::TempFolder dataFolder_;
    std::vector<Launch> launches_;

private:
    Data::DataCenter* previousCenter_ = nullptr;
    std::unique_ptr<Data::DataCenter> center_;
    Navigation::ShellLauncher previousLauncher_;
    bool comInitialized_ = false;

protected:
    Data::DataCenter& Center() { return *center_; }
};

}  // namespace NavigationTest

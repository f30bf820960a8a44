// Helpers shared by the test programs: temporary folders, child processes,
// the location of the built module, registry reading.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace QuelvarTest {

// The folder holding the running test program (and Quelvar.dll), with a
// trailing backslash.
std::wstring ProgramFolder();
std::wstring ProgramPath();
std::wstring BuiltModulePath();

// A fresh folder under the temporary folder, removed with its content.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // With a trailing backslash.
    const std::wstring& Path() const { return path_; }
    std::wstring File(const std::wstring& name) const { return path_ + name; }

private:
    std::wstring path_;
};

void DeleteFolderTree(const std::wstring& folder);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);

// Runs a command line and waits; returns the exit code (or -1 when it could
// not be started or did not end within the timeout).
DWORD RunProcess(const std::wstring& commandLine, DWORD timeoutMs = 60000);

// Points one of the user's shell folders ("My Video", ...) at `path` for the
// scope, restoring the previous registry value afterwards.
class ScopedUserShellFolder {
public:
    ScopedUserShellFolder(const std::wstring& valueName, const std::wstring& path);
    ~ScopedUserShellFolder();
    ScopedUserShellFolder(const ScopedUserShellFolder&) = delete;
    ScopedUserShellFolder& operator=(const ScopedUserShellFolder&) = delete;

private:
    std::wstring name_;
    HKEY key_ = nullptr;
    bool hadValue_ = false;
    DWORD savedType_ = 0;
    std::vector<BYTE> saved_;
};

// Whether this system's shell reports a folder that does not exist as found
// when asked without creating it (Wine does; Windows fails the call).
bool ShellFindsMissingFolders(int csidl);

// Registry reading for assertions.
bool KeyExists(HKEY root, const std::wstring& path);
std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& path);
struct RegistryValue {
    std::wstring name;
    DWORD type = 0;
    std::vector<BYTE> data;
    std::wstring Text() const;
};
std::vector<RegistryValue> Values(HKEY root, const std::wstring& path);

}  // namespace QuelvarTest

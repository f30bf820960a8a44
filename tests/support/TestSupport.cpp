// Helpers shared by the test programs.
#include "support/TestSupport.h"

#include <algorithm>
#include <stdexcept>

#include <shlobj.h>

#include "win/Handle.h"

namespace QuelvarTest {

std::wstring ProgramPath() {
    std::vector<wchar_t> buffer(32768);
    DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::wstring(buffer.data(), length);
}

std::wstring ProgramFolder() {
    std::wstring path = ProgramPath();
    return path.substr(0, path.rfind(L'\\') + 1);
}

std::wstring BuiltModulePath() { return ProgramFolder() + L"Quelvar.dll"; }

TempFolder::TempFolder() {
    wchar_t base[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, base);
    static LONG counter = 0;
    for (;;) {
        std::wstring candidate = std::wstring(base) + L"qvtest-" + std::to_wstring(::GetCurrentProcessId()) +
                                 L"-" + std::to_wstring(::InterlockedIncrement(&counter)) + L"-" +
                                 std::to_wstring(::GetTickCount());
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            path_ = candidate + L"\\";
            return;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            throw std::runtime_error("cannot create a temporary folder");
    }
}

TempFolder::~TempFolder() { DeleteFolderTree(path_); }

void DeleteFolderTree(const std::wstring& folder) {
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    // The long-path prefix lets the walk reach folders deeper than MAX_PATH.
    if (base.compare(0, 4, L"\\\\?\\") != 0 && base.compare(0, 2, L"\\\\") != 0) base.insert(0, L"\\\\?\\");
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((base + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = base + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteFolderTree(full);
            } else {
                ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(full.c_str());
            }
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(base.c_str());
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    Lumo::Win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw std::runtime_error("cannot create a test file");
    DWORD written = 0;
    if (!bytes.empty() &&
        (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
         written != bytes.size())) {
        throw std::runtime_error("cannot write a test file");
    }
}

std::string ReadFileBytes(const std::wstring& path) {
    Lumo::Win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw std::runtime_error("cannot open a test file");
    std::string bytes;
    char chunk[65536];
    DWORD read = 0;
    while (::ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    return bytes;
}

DWORD RunProcess(const std::wstring& commandLine, DWORD timeoutMs) {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        return static_cast<DWORD>(-1);
    }
    Lumo::Win::UniqueHandle processHandle(process.hProcess);
    Lumo::Win::UniqueHandle threadHandle(process.hThread);
    if (::WaitForSingleObject(processHandle.get(), timeoutMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(processHandle.get(), 1);
        return static_cast<DWORD>(-1);
    }
    DWORD code = 0;
    ::GetExitCodeProcess(processHandle.get(), &code);
    return code;
}

ScopedUserShellFolder::ScopedUserShellFolder(const std::wstring& valueName, const std::wstring& path)
    : name_(valueName), saved_(4096) {
    const wchar_t* userShellFolders =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, userShellFolders, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                          &key_, nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot open the user shell folders");
    }
    DWORD size = static_cast<DWORD>(saved_.size());
    hadValue_ =
        ::RegQueryValueExW(key_, name_.c_str(), nullptr, &savedType_, saved_.data(), &size) == ERROR_SUCCESS;
    saved_.resize(hadValue_ ? size : 0);
    ::RegSetValueExW(key_, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                     static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
}

ScopedUserShellFolder::~ScopedUserShellFolder() {
    if (hadValue_) {
        ::RegSetValueExW(key_, name_.c_str(), 0, savedType_, saved_.data(),
                         static_cast<DWORD>(saved_.size()));
    } else {
        ::RegDeleteValueW(key_, name_.c_str());
    }
    ::RegCloseKey(key_);
}

bool ShellFindsMissingFolders(int csidl) {
    wchar_t path[MAX_PATH] = {};
    return ::SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE) != FALSE;
}

bool KeyExists(HKEY root, const std::wstring& path) {
    Lumo::Win::UniqueKey key;
    return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& path) {
    std::vector<std::wstring> names;
    Lumo::Win::UniqueKey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        if (::RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::wstring RegistryValue::Text() const {
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

std::vector<RegistryValue> Values(HKEY root, const std::wstring& path) {
    std::vector<RegistryValue> values;
    Lumo::Win::UniqueKey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return values;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = 16384;
        BYTE data[65536];
        DWORD dataLength = sizeof(data);
        DWORD type = 0;
        if (::RegEnumValueW(key.get(), index, name, &nameLength, nullptr, &type, data, &dataLength) !=
            ERROR_SUCCESS) {
            break;
        }
        values.push_back(
            RegistryValue{std::wstring(name, nameLength), type, std::vector<BYTE>(data, data + dataLength)});
    }
    std::sort(values.begin(), values.end(),
              [](const RegistryValue& a, const RegistryValue& b) { return a.name < b.name; });
    return values;
}

}  // namespace QuelvarTest

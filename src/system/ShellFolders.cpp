// Lookups of the well-known folders.
#include "system/ShellFolders.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "win/Errors.h"
#include "system/SystemInfo.h"

namespace Lumo::System {
namespace {

std::wstring WithBackslash(std::wstring path) {
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path;
}

// Calls a GetXxxDirectoryW-style function, growing the buffer while the
// answer does not fit.
template <class Call>
std::wstring GrowingBufferCall(Call call) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        UINT length = call(buffer.data(), static_cast<UINT>(buffer.size()));
        if (length == 0) throw Lumo::LastError();
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.assign(length + 1, L'\0');
    }
}

int ShellMajorVersion() {
    DllVersion* versions = DllVersion::Instance();
    DllVersionInfoPtr info = versions ? versions->ShellVersion() : DllVersion::ProbeModule(L"shell32.dll");
    if (!info) throw Lumo::AnyError();
    return static_cast<int>(info->dwMajorVersion);
}

}  // namespace

std::wstring SpecialFolder::SpecialFolderPath(int csidl) const {
    wchar_t buffer[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) throw Lumo::AnyError();
    return WithBackslash(buffer);
}

std::wstring SpecialFolder::SystemFolderPath(int number) const {
    switch (number) {
        case 0:
            return SpecialFolderPath(CSIDL_PERSONAL);
        case 1:
            return SpecialFolderPath(CSIDL_MYPICTURES);
        case 2:
            return SpecialFolderPath(CSIDL_MYMUSIC);
        case 3:
            return SpecialFolderPath(CSIDL_MYVIDEO);
        case 4:
            if (ShellMajorVersion() < 5) {
                return WithBackslash(GrowingBufferCall(
                    [](wchar_t* buffer, UINT size) { return ::GetWindowsDirectoryW(buffer, size); }));
            }
            return SpecialFolderPath(CSIDL_WINDOWS);
        case 5:
            if (ShellMajorVersion() < 5) {
                return WithBackslash(GrowingBufferCall(
                    [](wchar_t* buffer, UINT size) { return ::GetSystemDirectoryW(buffer, size); }));
            }
            return SpecialFolderPath(CSIDL_SYSTEM);
        case 6:
            return SpecialFolderPath(CSIDL_PROGRAM_FILES);
        case 7:
            return GrowingBufferCall(
                [](wchar_t* buffer, UINT size) { return static_cast<UINT>(::GetTempPathW(size, buffer)); });
        case 8:
            return SpecialFolderPath(CSIDL_FONTS);
        case 9:
            return SpecialFolderPath(CSIDL_APPDATA);
        case 10:
            return SpecialFolderPath(CSIDL_INTERNET_CACHE);
        case 11:
            return SpecialFolderPath(CSIDL_DESKTOP);
        case 12:
            return SpecialFolderPath(CSIDL_PROFILE);
        case 13:
            return SpecialFolderPath(CSIDL_FAVORITES);
        case 14:
            return SpecialFolderPath(CSIDL_COOKIES);
        default:
            throw Lumo::AnyError();
    }
}

}  // namespace Lumo::System

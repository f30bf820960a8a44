// Makes three failures a user may meet, each of which the module survives and
// logs: a damaged data file, an update check that cannot reach its server, and
// the shell handing the built Quelvar.dll a menu that is gone. The first two
// log as an elevated process would, or not, as told; the DLL's log asks the
// real token, whose answer the probe prints.
//   DiagnosticLogProbe.exe <Quelvar.dll> elevated|not-elevated
// Or appends numbered lines to the log file of `folder`, starting together
// with a second copy of itself, under a lowered size limit:
//   DiagnosticLogProbe.exe --append <folder> <lines> <limit in bytes>
// The script beside it reads what reached the debugger and the log file.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "data/DataCenter.h"
#include "update/UpdateCheck.h"
#include "win/DiagnosticLog.h"
#include "win/Handle.h"

namespace {

int DamagedDataFile() {
    wchar_t appData[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, appData))) return 1;
    const std::wstring folder = std::wstring(appData) + L"\\Quelvar\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    Lumo::Win::UniqueFile file(::CreateFileW((folder + L"Data.qvd").c_str(), GENERIC_WRITE, 0, nullptr,
                                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const char damaged[] = "not a data file of any release";
    DWORD written = 0;
    if (!file || !::WriteFile(file.get(), damaged, sizeof(damaged) - 1, &written, nullptr)) return 1;
    file.reset();
    Lumo::Data::DataCenter center(folder);
    return center.Load() ? 0 : 1;
}

int UnreachableUpdateServer() {
    // Nothing listens on port 1 of this machine: the connection is refused.
    Lumo::Update::UpdateCheck check(L"Quelvar", L"1.5.1.3", L"http://127.0.0.1:1/update/");
    bool done = false;
    check.SetCompletion([&] { done = true; });
    check.Session().Open();
    check.Session().RequestVersionInfo();
    const ULONGLONG until = ::GetTickCount64() + 60000;
    MSG message;
    while (!done && ::GetTickCount64() < until) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    }
    return done && !check.Succeeded() ? 0 : 1;
}

int MenuThatIsGone(const wchar_t* modulePath) {
    Lumo::Win::UniqueModule module(::LoadLibraryW(modulePath));
    if (!module) return 1;
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    auto getClassObject =
        reinterpret_cast<GetClassObject>(::GetProcAddress(module.get(), "DllGetClassObject"));
    CLSID clsid{};
    if (!getClassObject || FAILED(::CLSIDFromString(L"{6F41C2A8-93D0-4B7E-8C15-2E9A7D3B5F60}", &clsid)))
        return 1;
    int result = 1;
    {
        Lumo::Win::ComPtr<IClassFactory> factory;
        Lumo::Win::ComPtr<IContextMenu> menu;
        if (FAILED(getClassObject(clsid, IID_IClassFactory, factory.put_void())) ||
            FAILED(factory->CreateInstance(nullptr, IID_IContextMenu, menu.put_void())))
            return 1;
        HMENU gone = ::CreatePopupMenu();
        ::DestroyMenu(gone);
        // The shell's menu is left as it is: no entries, no failure for the host.
        const HRESULT hr = menu->QueryContextMenu(gone, 0, 1, 100, CMF_CANRENAME);
        result = SUCCEEDED(hr) && HRESULT_CODE(hr) == 0 ? 0 : 1;
    }
    return result;
}

int AppendLines(const std::wstring& folder, int lines, std::uint64_t limit) {
    // The first copy waits for the second, so both cross the limit together.
    Lumo::Win::UniqueHandle start(::CreateEventW(nullptr, TRUE, FALSE, L"Local\\QuelvarLogProbeStart"));
    if (!start) return 1;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::SetEvent(start.get());
    } else if (::WaitForSingleObject(start.get(), 30000) != WAIT_OBJECT_0) {
        return 1;
    }
    wchar_t line[64] = {};
    for (int n = 1; n <= lines; ++n) {
        std::swprintf(line, 64, L"probe %6lu line %6d of %6d ........\r\n", ::GetCurrentProcessId(), n,
                      lines);
        if (!Lumo::Win::AppendToLogFile(folder, line, limit)) return 1;
    }
    return 0;
}

bool Elevated() noexcept { return true; }
bool NotElevated() noexcept { return false; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && std::wstring(argv[1]) == L"--append")
        return AppendLines(argv[2], _wtoi(argv[3]), _wcstoui64(argv[4], nullptr, 10));
    if (argc < 3) return 2;
    Lumo::Win::SetDiagnosticLogElevationProbe(std::wstring(argv[2]) == L"elevated" ? &Elevated
                                                                                   : &NotElevated);
    std::printf("process elevated: %d\n", Lumo::Win::IsProcessElevated() ? 1 : 0);
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    // Each case recovers on its own; an exception here is an unexpected outcome too.
    const auto guarded = [](auto&& step) {
        try {
            return step();
        } catch (...) {
            return 1;
        }
    };
    const int failures = guarded(DamagedDataFile) + guarded(UnreachableUpdateServer) +
                         guarded([&] { return MenuThatIsGone(argv[1]); });
    ::CoUninitialize();
    std::printf("probe: %d unexpected outcome(s)\n", failures);
    return failures;
}

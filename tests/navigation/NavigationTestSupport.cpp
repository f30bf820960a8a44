// Fixture, launcher recorder and test doubles of the navigation tests.
#include "NavigationTestSupport.h"

#include <shlwapi.h>

#include <algorithm>

#include "server/GlobalImpl.h"

using namespace ShellExt;

namespace NavigationTest {

namespace {

constexpr wchar_t kHostClass[] = L"QvNavigationTestHost";

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == Navigation::kShellBrowserRequest) {
        return ::GetWindowLongPtrW(window, GWLP_USERDATA);
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void RegisterClassOnce(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSW existing{};
    if (::GetClassInfoW(::GetModuleHandleW(nullptr), name, &existing)) return;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = name;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    ::RegisterClassW(&windowClass);
}

HWND CreateTestWindow(const wchar_t* className, HWND parent) {
    const DWORD style = parent ? (WS_CHILD | WS_VISIBLE) : (WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    return ::CreateWindowExW(0, className, L"", style, 0, 0, 300, 200, parent, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

HWND CreateBrowserHost(HWND parent, ShellBrowserDouble* browser) {
    RegisterClassOnce(kHostClass, HostProc);
    HWND window = CreateTestWindow(kHostClass, parent);
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(static_cast<IShellBrowser*>(browser)));
    return window;
}

HWND CreatePlainWindow(HWND parent, const wchar_t* className) {
    RegisterClassOnce(className, ::DefWindowProcW);
    return CreateTestWindow(className, parent);
}

Lumo::Win::UniqueIdList ParseName(const std::wstring& name) {
    Lumo::Win::UniqueIdList list;
    SFGAOF attributes = 0;
    ::SHParseDisplayName(name.c_str(), nullptr, list.put(), 0, &attributes);
    return list;
}

bool SamePath(std::wstring a, std::wstring b) {
    while (!a.empty() && a.back() == L'\\') a.pop_back();
    while (!b.empty() && b.back() == L'\\') b.pop_back();
    return ::lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

void NavigationFixture::SetUp() {
    comInitialized_ = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    GlobalImpl::Create(::GetModuleHandleW(nullptr));
    previousCenter_ = Data::DataCenter::Instance();
    center_ = std::make_unique<Data::DataCenter>(dataFolder_.Path());
    Data::DataCenter::SetInstance(center_.get());
    previousLauncher_ =
        Navigation::SetShellLauncher([this](HWND window, const wchar_t* verb, const wchar_t* file,
                                            const wchar_t* parameters, const wchar_t* directory, int show) {
            Launch launch;
            launch.window = window;
            launch.verb = verb ? verb : L"";
            launch.file = file ? file : L"";
            launch.hasParameters = parameters != nullptr;
            launch.parameters = parameters ? parameters : L"";
            launch.hasDirectory = directory != nullptr;
            launch.directory = directory ? directory : L"";
            launch.show = show;
            launches_.push_back(launch);
            return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
        });
}

void NavigationFixture::TearDown() {
    Navigation::SetShellLauncher(previousLauncher_);
    Data::DataCenter::SetInstance(previousCenter_);
    center_.reset();
    GlobalImpl::ReleaseThread();
    GlobalImpl::Destroy();
    if (comInitialized_) ::CoUninitialize();
}

std::vector<std::wstring> NavigationFixture::StoredHistory() const {
    // A second Data::DataCenter reads the file itself, not anything cached.
    Data::DataCenter reader(dataFolder_.Path());
    const auto data = reader.Load();
    const auto& items = data->navigateHistory->items;
    return std::vector<std::wstring>(items.begin(), items.end());
}

std::wstring NavigationFixture::MakeFolder(const std::wstring& name) {
    const std::wstring path = temp_.File(name);
    ::CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

std::wstring NavigationFixture::MakeFile(const std::wstring& name) {
    const std::wstring path = temp_.File(name);
    QuelvarTest::WriteFileBytes(path, "x");
    return path;
}

}  // namespace NavigationTest

// Window capture into a 32-bit DIB and PNG encoding through WIC.
#include "support/Screenshot.h"

#include <wincodec.h>

#include <vector>

#include "support/TestSupport.h"
#include "win/Errors.h"
#include "win/Handle.h"

namespace QuelvarTest {
namespace {

void WritePng(const std::wstring& path, int width, int height, std::vector<BYTE>& pixels) {
    const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    struct ComScope {
        bool own;
        ~ComScope() {
            if (own) ::CoUninitialize();
        }
    } scope{SUCCEEDED(init)};
    using Lumo::ThrowIfFailed;
    Lumo::Win::ComPtr<IWICImagingFactory> factory;
    ThrowIfFailed(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IWICImagingFactory, factory.put_void()));
    Lumo::Win::ComPtr<IWICStream> stream;
    ThrowIfFailed(factory->CreateStream(stream.put()));
    ThrowIfFailed(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE));
    Lumo::Win::ComPtr<IWICBitmapEncoder> encoder;
    ThrowIfFailed(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put()));
    ThrowIfFailed(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache));
    Lumo::Win::ComPtr<IWICBitmapFrameEncode> frame;
    ThrowIfFailed(encoder->CreateNewFrame(frame.put(), nullptr));
    ThrowIfFailed(frame->Initialize(nullptr));
    ThrowIfFailed(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height)));
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    ThrowIfFailed(frame->SetPixelFormat(&format));
    if (format != GUID_WICPixelFormat32bppBGRA) throw Lumo::AnyError();
    ThrowIfFailed(frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(width) * 4,
                                     static_cast<UINT>(pixels.size()), pixels.data()));
    ThrowIfFailed(frame->Commit());
    ThrowIfFailed(encoder->Commit());
}

}  // namespace

void SaveWindowPng(HWND window, const std::wstring& path) {
    RECT r{};
    if (!::GetWindowRect(window, &r)) throw Lumo::LastError();
    const int width = r.right - r.left, height = r.bottom - r.top;
    // Everything the window shows must be painted before it is read.
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 2000, &ignored);
    ::Sleep(100);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows, as WIC wants them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = ::GetDC(nullptr);
    if (!screen) throw Lumo::LastError();
    Lumo::Win::UniqueDc memory(::CreateCompatibleDC(screen));
    void* bits = nullptr;
    Lumo::Win::UniqueGdiObject bitmap(::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!memory || !bitmap) {
        ::ReleaseDC(nullptr, screen);
        throw Lumo::LastError();
    }
    {
        Lumo::Win::SelectedObject selected(memory.get(), bitmap.get());
        // What the user sees on the screen, children and frame included.
        const BOOL copied = ::BitBlt(memory.get(), 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
        ::ReleaseDC(nullptr, screen);
        if (!copied && !::PrintWindow(window, memory.get(), 0)) throw Lumo::LastError();
        ::GdiFlush();
    }
    std::vector<BYTE> pixels(static_cast<BYTE*>(bits), static_cast<BYTE*>(bits) + size_t(width) * height * 4);
    for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;  // GDI leaves alpha empty
    WritePng(path, width, height, pixels);
}

std::wstring ScreenshotFolder() {
    // ProgramFolder() is build\bin\; the screenshots go to build\screenshots\.
    std::wstring folder = ProgramFolder();
    folder.resize(folder.size() - 1);
    folder = folder.substr(0, folder.find_last_of(L'\\') + 1) + L"screenshots\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

int ScreenDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ::ReleaseDC(nullptr, screen);
    return dpi;
}

DWORD RunSelfAtDpi(int dpi, const std::wstring& filter) {
    const wchar_t* keyPath = L"Control Panel\\Desktop";
    Lumo::Win::UniqueKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                          key.put(), nullptr) != ERROR_SUCCESS)
        throw Lumo::LastError();
    DWORD saved = 0, type = 0, size = sizeof(saved);
    const bool hadValue = ::RegQueryValueExW(key.get(), L"LogPixels", nullptr, &type,
                                             reinterpret_cast<BYTE*>(&saved), &size) == ERROR_SUCCESS &&
                          type == REG_DWORD;
    const DWORD wanted = static_cast<DWORD>(dpi);
    ::RegSetValueExW(key.get(), L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&wanted),
                     sizeof(wanted));
    const DWORD exitCode = RunProcess(
        L"\"" + ProgramPath() + L"\" --gtest_also_run_disabled_tests --gtest_filter=" + filter, 120000);
    if (hadValue)
        ::RegSetValueExW(key.get(), L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&saved),
                         sizeof(saved));
    else
        ::RegDeleteValueW(key.get(), L"LogPixels");
    return exitCode;
}

}  // namespace QuelvarTest

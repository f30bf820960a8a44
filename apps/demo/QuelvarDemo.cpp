// QuelvarDemo: a small folder window that plays Explorer for the installed Quelvar.dll. It lists a demo
// folder with the shell's icons, and a right-click asks the registered handler (created through COM, as
// Explorer creates it) for its context-menu entries, forwarding the menu messages through IContextMenu3.
// With --tour it walks through the product on its own: the Quelvar menu on a folder with favorites and
// history, "Shell &Tools", and the Checksum Calculator on a file; it saves a PNG of every step and prints
// the menu tree as text (the entries' texts are what the handler draws, recorded in a metafile).
//   QuelvarDemo.exe <demo folder> <screenshot folder> [--tour] [--stay]
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "data/DataCenter.h"
#include "server/ServerIds.h"
#include "win/Boundary.h"
#include "win/Errors.h"
#include "win/Handle.h"

namespace {

using Lumo::ThrowIfFailed;
using Lumo::Win::ComPtr;

constexpr UINT kOpenCommand = 1;
constexpr UINT kFirstHandlerCommand = 100;
constexpr UINT_PTR kTourTimer = 1;
constexpr UINT kTourTickMs = 400;

void Print(const std::wstring& text);

// Fails a step of the demo with a line saying which call failed.
void Check(HRESULT hr, const wchar_t* what) {
    if (SUCCEEDED(hr)) return;
    wchar_t code[16];
    ::wsprintfW(code, L"0x%08X", static_cast<unsigned>(hr));
    Print(std::wstring(L"(") + what + L" failed: " + code + L")");
    throw Lumo::ComError(hr);
}

void Print(const std::wstring& text) {
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(length > 0 ? length : 1, '\0');
    if (length > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), length, nullptr, nullptr);
    std::fputs(bytes.c_str(), stdout);
    std::fputs("\n", stdout);
    std::fflush(stdout);
}

// PNG files through WIC ---------------------------------------------------------------------------------

void WritePng(const std::wstring& path, int width, int height, std::vector<BYTE>& pixels) {
    ComPtr<IWICImagingFactory> factory;
    ThrowIfFailed(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IWICImagingFactory, factory.put_void()));
    ComPtr<IWICStream> stream;
    ThrowIfFailed(factory->CreateStream(stream.put()));
    ThrowIfFailed(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE));
    ComPtr<IWICBitmapEncoder> encoder;
    ThrowIfFailed(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put()));
    ThrowIfFailed(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache));
    ComPtr<IWICBitmapFrameEncode> frame;
    ThrowIfFailed(encoder->CreateNewFrame(frame.put(), nullptr));
    ThrowIfFailed(frame->Initialize(nullptr));
    ThrowIfFailed(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height)));
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    ThrowIfFailed(frame->SetPixelFormat(&format));
    ThrowIfFailed(frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(width) * 4,
                                     static_cast<UINT>(pixels.size()), pixels.data()));
    ThrowIfFailed(frame->Commit());
    ThrowIfFailed(encoder->Commit());
}

// What the screen shows inside `area`, as a person would see it.
void SaveScreenPng(RECT area, const std::wstring& path) {
    const int width = area.right - area.left, height = area.bottom - area.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = ::GetDC(nullptr);
    if (!screen) throw Lumo::LastError();
    Lumo::Win::UniqueDc memory(::CreateCompatibleDC(screen));
    void* bits = nullptr;
    Lumo::Win::UniqueGdiObject bitmap(::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    BOOL copied = FALSE;
    if (memory && bitmap) {
        Lumo::Win::SelectedObject selected(memory.get(), bitmap.get());
        copied = ::BitBlt(memory.get(), 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
        ::GdiFlush();
    }
    ::ReleaseDC(nullptr, screen);
    if (!copied) throw Lumo::LastError();
    std::vector<BYTE> pixels(static_cast<BYTE*>(bits), static_cast<BYTE*>(bits) + size_t(width) * height * 4);
    for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;  // GDI leaves alpha empty
    WritePng(path, width, height, pixels);
}

// Lets every window of the thread paint what it has to before the screen is read.
void SettlePainting() {
    MSG message;
    for (int i = 0; i < 20 && ::PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++i) {
        ::DispatchMessageW(&message);
    }
    ::GdiFlush();
    ::Sleep(150);
}

BOOL CALLBACK AddMenuWindow(HWND window, LPARAM area) noexcept {
    return Lumo::Win::Boundary<BOOL>(TRUE, [&] {
        wchar_t name[16] = {};
        RECT rect{};
        if (::IsWindowVisible(window) && ::GetClassNameW(window, name, 16) &&
            std::wstring(name) == L"#32768" && ::GetWindowRect(window, &rect)) {
            ::UnionRect(reinterpret_cast<RECT*>(area), reinterpret_cast<RECT*>(area), &rect);
        }
        return TRUE;
    });
}

// The demo window ---------------------------------------------------------------------------------------

struct Entry {
    HMENU menu = nullptr;
    UINT position = 0;
    std::wstring text;
    HMENU submenu = nullptr;
    bool separator = false;
    bool hidden = false;  // an owner-drawn entry the handler measures zero pixels high
};

int CALLBACK CollectText(HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM texts) noexcept {
    return Lumo::Win::Boundary<int>(1, [&] {
        if (record->iType != EMR_EXTTEXTOUTW) return 1;
        const auto* text = reinterpret_cast<const EMREXTTEXTOUTW*>(record);
        if (text->emrtext.nChars == 0) return 1;
        const auto* chars =
            reinterpret_cast<const wchar_t*>(reinterpret_cast<const BYTE*>(record) + text->emrtext.offString);
        auto* list = reinterpret_cast<std::vector<std::wstring>*>(texts);
        std::wstring piece(chars, text->emrtext.nChars);
        // A disabled entry is drawn twice (shadow and text): one copy is the text.
        if (list->empty() || list->back() != piece) list->push_back(piece);
        return 1;
    });
}

class DemoWindow {
public:
    DemoWindow(std::wstring folder, std::wstring shots, bool tour, bool stay)
        : folder_(std::move(folder)), shots_(std::move(shots)), tour_(tour), stay_(stay) {}

    void Create(HINSTANCE instance) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = L"QuelvarDemoWindow";
        if (!::RegisterClassW(&windowClass)) throw Lumo::LastError();
        const std::wstring title = L"Quelvar demo - " + folder_;
        window_ = ::CreateWindowExW(0, windowClass.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 40, 40,
                                    560, 380, nullptr, nullptr, instance, this);
        if (!window_) throw Lumo::LastError();
        ::ShowWindow(window_, SW_SHOW);
        ::UpdateWindow(window_);
        if (tour_) {
            BuildTour();
            ::SetTimer(window_, kTourTimer, kTourTickMs, nullptr);
        }
    }

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
        return Lumo::Win::WindowBoundary(0, [&] {
            if (message == WM_NCCREATE) {
                auto* self =
                    static_cast<DemoWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
                self->window_ = window;
                ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
            }
            auto* self = reinterpret_cast<DemoWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
            return self ? self->Handle(message, wParam, lParam)
                        : ::DefWindowProcW(window, message, wParam, lParam);
        });
    }

private:
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
        // While a context menu is up, its owner-drawn entries are measured, drawn and filled by the handler.
        if (handler_ && (message == WM_INITMENUPOPUP || message == WM_DRAWITEM || message == WM_MEASUREITEM ||
                         message == WM_MENUCHAR || message == WM_MENUSELECT)) {
            LRESULT result = 0;
            if (SUCCEEDED(handler_->HandleMenuMsg2(message, wParam, lParam, &result))) return result;
        }
        switch (message) {
            case WM_CREATE:
                CreateList();
                return 0;
            case WM_SIZE:
                if (list_) ::MoveWindow(list_, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
                return 0;
            case WM_CONTEXTMENU: {
                const int item = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
                if (item >= 0) ShowContextMenu(names_[static_cast<size_t>(item)]);
                return 0;
            }
            case WM_TIMER:
                if (wParam == kTourTimer) RunTourStep();
                return 0;
            case WM_DESTROY:
                ::PostQuitMessage(0);
                return 0;
        }
        return ::DefWindowProcW(window_, message, wParam, lParam);
    }

    void CreateList() {
        list_ = ::CreateWindowExW(
            0, WC_LISTVIEWW, L"",
            WS_CHILD | WS_VISIBLE | LVS_ICON | LVS_SINGLESEL | LVS_SHAREIMAGELISTS | LVS_AUTOARRANGE, 0, 0,
            100, 100, window_, nullptr, nullptr, nullptr);
        SHFILEINFOW info{};
        auto images = reinterpret_cast<HIMAGELIST>(
            ::SHGetFileInfoW(L"C:\\", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_LARGEICON));
        ListView_SetImageList(list_, images, LVSIL_NORMAL);
        WIN32_FIND_DATAW found{};
        HANDLE search = ::FindFirstFileW((folder_ + L"\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return;
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            ::SHGetFileInfoW((folder_ + L"\\" + name).c_str(), 0, &info, sizeof(info), SHGFI_SYSICONINDEX);
            LVITEMW item{};
            item.mask = LVIF_TEXT | LVIF_IMAGE;
            item.iItem = static_cast<int>(names_.size());
            item.pszText = const_cast<wchar_t*>(name.c_str());
            item.iImage = info.iIcon;
            ListView_InsertItem(list_, &item);
            names_.push_back(name);
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }

    // Right-click on one item: the shell's data object for it, our handler created through COM and
    // initialized with both, its entries added after "&Open", and the chosen command invoked.
    void ShowContextMenu(const std::wstring& name) {
        Lumo::Win::UniqueIdList folderList;
        Check(::SHParseDisplayName(folder_.c_str(), nullptr, folderList.put(), 0, nullptr),
              L"SHParseDisplayName");
        ComPtr<IShellFolder> desktop;
        Check(::SHGetDesktopFolder(desktop.put()), L"SHGetDesktopFolder");
        ComPtr<IShellFolder> folder;
        Check(desktop->BindToObject(folderList.get(), nullptr, IID_IShellFolder, folder.put_void()),
              L"BindToObject");
        Lumo::Win::UniqueIdList child;
        Check(folder->ParseDisplayName(window_, nullptr, const_cast<wchar_t*>(name.c_str()), nullptr,
                                       child.put(), nullptr),
              L"ParseDisplayName");
        PCUITEMID_CHILD children[] = {child.get()};
        ComPtr<IDataObject> data;
        Check(folder->GetUIObjectOf(window_, 1, children, IID_IDataObject, nullptr, data.put_void()),
              L"GetUIObjectOf");

        CLSID clsid{};
        ThrowIfFailed(::CLSIDFromString(kClsidText, &clsid));
        ComPtr<IShellExtInit> init;
        Check(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.put_void()),
              L"CoCreateInstance of the Quelvar class");
        Check(init->Initialize(folderList.get(), data.get(), nullptr), L"IShellExtInit::Initialize");
        Check(init->QueryInterface(IID_IContextMenu3, handler_.put_void()), L"QueryInterface(IContextMenu3)");

        Lumo::Win::UniqueMenu menu(::CreatePopupMenu());
        ::AppendMenuW(menu.get(), MF_STRING, kOpenCommand, L"&Open");
        // Explorer asks with these flags for the menu it shows (a rename-capable folder view).
        Check(handler_->QueryContextMenu(menu.get(), 1, kFirstHandlerCommand, 0x7FFF,
                                         CMF_EXPLORE | CMF_CANRENAME),
              L"IContextMenu::QueryContextMenu");
        menu_ = menu.get();
        RECT where{};
        ListView_GetItemRect(list_, ListView_GetNextItem(list_, -1, LVNI_SELECTED), &where, LVIR_ICON);
        POINT point{where.right, (where.top + where.bottom) / 2};
        ::ClientToScreen(list_, &point);
        ::SetForegroundWindow(window_);
        const UINT command = static_cast<UINT>(::TrackPopupMenuEx(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                                  point.x, point.y, window_, nullptr));
        menu_ = nullptr;
        if (command >= kFirstHandlerCommand) {
            CMINVOKECOMMANDINFO invoke{sizeof(invoke)};
            invoke.hwnd = window_;
            invoke.lpVerb = MAKEINTRESOURCEA(command - kFirstHandlerCommand);
            invoke.nShow = SW_SHOWNORMAL;
            handler_->InvokeCommand(&invoke);
        }
        handler_.reset();
    }

    // The entries of a menu, owner-drawn ones with the text the handler draws for them.
    std::vector<Entry> Entries(HMENU menu) {
        std::vector<Entry> entries;
        const int count = ::GetMenuItemCount(menu);
        for (int i = 0; i < count; ++i) {
            Entry entry;
            entry.menu = menu;
            entry.position = static_cast<UINT>(i);
            MENUITEMINFOW info{sizeof(info)};
            info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_DATA | MIIM_SUBMENU | MIIM_STATE;
            if (!::GetMenuItemInfoW(menu, entry.position, TRUE, &info)) continue;
            entry.submenu = info.hSubMenu;
            entry.separator = (info.fType & MFT_SEPARATOR) != 0;
            if (info.fType & MFT_OWNERDRAW) {
                entry.text = DrawnText(info, &entry.hidden);
                if (entry.text.empty()) entry.separator = true;
            } else if (!entry.separator) {
                wchar_t text[256] = {};
                ::GetMenuStringW(menu, entry.position, text, 256, MF_BYPOSITION);
                entry.text = text;
                entry.text.erase(std::remove(entry.text.begin(), entry.text.end(), L'&'), entry.text.end());
            }
            entries.push_back(entry);
        }
        return entries;
    }

    std::wstring DrawnText(const MENUITEMINFOW& info, bool* hidden) {
        MEASUREITEMSTRUCT measure{ODT_MENU, 0, info.wID, 0, 0, info.dwItemData};
        LRESULT result = 0;
        handler_->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure), &result);
        *hidden = measure.itemHeight == 0;
        HDC reference = ::GetDC(window_);
        HDC metafile = ::CreateEnhMetaFileW(reference, nullptr, nullptr, nullptr);
        ::ReleaseDC(window_, reference);
        if (!metafile) return L"";
        NONCLIENTMETRICSW metrics{sizeof(metrics)};
        ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
        Lumo::Win::UniqueGdiObject font(::CreateFontIndirectW(&metrics.lfMenuFont));
        ::SelectObject(metafile, font.get());
        DRAWITEMSTRUCT draw{};
        draw.CtlType = ODT_MENU;
        draw.itemID = info.wID;
        draw.itemAction = ODA_DRAWENTIRE;
        draw.itemState = (info.fState & MFS_DISABLED) ? ODS_GRAYED : 0;
        draw.hwndItem = reinterpret_cast<HWND>(menu_);
        draw.hDC = metafile;
        draw.rcItem =
            RECT{0, 0, static_cast<LONG>(measure.itemWidth) + 40, static_cast<LONG>(measure.itemHeight)};
        draw.itemData = info.dwItemData;
        handler_->HandleMenuMsg2(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw), &result);
        HENHMETAFILE recorded = ::CloseEnhMetaFile(metafile);
        std::vector<std::wstring> texts;
        if (recorded) {
            ::EnumEnhMetaFile(nullptr, recorded, CollectText, &texts, nullptr);
            ::DeleteEnhMetaFile(recorded);
        }
        std::wstring text;
        for (const std::wstring& piece : texts) text += (text.empty() ? L"" : L"  ") + piece;
        return text;
    }

    // The tree of the menus now open: submenus that were opened are shown with their entries.
    void PrintTree(HMENU menu, int depth) {
        const auto seen = seen_.find(menu);
        for (const Entry& entry : seen != seen_.end() ? seen->second : Entries(menu)) {
            if (entry.hidden) continue;
            std::wstring line(static_cast<size_t>(depth) * 4, L' ');
            line += entry.separator ? L"----" : entry.text;
            if (entry.submenu) line += L"  >";
            Print(line);
            if (entry.submenu && IsOpen(entry.submenu)) {
                PrintTree(entry.submenu, depth + 1);
            }
        }
    }

    bool IsOpen(HMENU menu) const {
        for (HMENU open : opened_) {
            if (open == menu) return true;
        }
        return false;
    }

    // Clicks the entry of `menu` whose drawn text starts with `text` (the menu loop opens a submenu or
    // chooses the command); the submenu, if any, is remembered as opened.
    void ClickEntry(HMENU menu, const std::wstring& text) {
        for (const Entry& entry : Entries(menu)) {
            if (entry.text.compare(0, text.size(), text) != 0) continue;
            RECT rect{};
            if (!::GetMenuItemRect(nullptr, menu, entry.position, &rect)) {
                ::GetMenuItemRect(window_, menu, entry.position, &rect);
            }
            POINT point{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
            HWND target = ::WindowFromPoint(point);
            ::SetCursorPos(point.x, point.y);
            const LPARAM at = MAKELPARAM(point.x, point.y);
            ::PostMessageW(target, WM_MOUSEMOVE, 0, at);
            ::PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
            ::PostMessageW(target, WM_LBUTTONUP, 0, at);
            if (entry.submenu) opened_.push_back(entry.submenu);
            return;
        }
        Print(L"(no entry \"" + text + L"\" in the menu)");
    }

    HMENU SubmenuOf(HMENU menu, const std::wstring& text) {
        for (const Entry& entry : Entries(menu)) {
            if (entry.submenu && entry.text.compare(0, text.size(), text) == 0) return entry.submenu;
        }
        return nullptr;
    }

    void SelectItem(const std::wstring& name) {
        for (size_t i = 0; i < names_.size(); ++i) {
            const UINT state = names_[i] == name ? LVIS_SELECTED | LVIS_FOCUSED : 0;
            ListView_SetItemState(list_, static_cast<int>(i), state, LVIS_SELECTED | LVIS_FOCUSED);
        }
    }

    void ShotOfMenus(const std::wstring& file, const std::wstring& caption) {
        SettlePainting();
        // What the menu opened last shows now: opening a sibling later may empty it again.
        HMENU shown = opened_.empty() ? menu_ : opened_.back();
        if (shown) seen_[shown] = Entries(shown);
        RECT area{};
        ::GetWindowRect(window_, &area);
        ::EnumWindows(AddMenuWindow, reinterpret_cast<LPARAM>(&area));
        SaveScreenPng(area, shots_ + file);
        Print(L"[screenshot] " + file + L": " + caption);
    }

    void ShotOfWindow(HWND window, const std::wstring& file, const std::wstring& caption) {
        SettlePainting();
        RECT area{};
        ::GetWindowRect(window, &area);
        SaveScreenPng(area, shots_ + file);
        Print(L"[screenshot] " + file + L": " + caption);
    }

    // The tour: one step per timer tick; a step that opens a menu or a dialog runs its modal loop, inside
    // which the following steps go on.
    void BuildTour() {
        auto wait = [] {};
        steps_ = {
            [this] { ShotOfWindow(window_, L"01-folder-window.png", L"the demo folder"); },
            [this] {
                SelectItem(L"Projects");
                opened_.clear();
                ShowContextMenu(L"Projects");
            },
            wait,
            [this] { ShotOfMenus(L"02-context-menu.png", L"the context menu of the folder Projects"); },
            [this] { ClickEntry(menu_, L"Quelvar"); },
            wait,
            [this] { ShotOfMenus(L"03-quelvar-menu.png", L"the Quelvar menu: history, favorites, tools"); },
            [this] { ClickEntry(SubmenuOf(menu_, L"Quelvar"), L"Navigate History"); },
            wait,
            [this] { ShotOfMenus(L"04-navigate-history.png", L"the folders visited last"); },
            [this] { ClickEntry(SubmenuOf(menu_, L"Quelvar"), L"Shell Tools"); },
            wait,
            [this] {
                ShotOfMenus(L"05-shell-tools.png", L"Shell Tools on a folder");
                Print(L"");
                Print(L"Menu tree (right-click on the folder Projects):");
                PrintTree(menu_, 1);
                Print(L"");
            },
            [] { ::EndMenu(); },
            [this] {
                SelectItem(L"Notes.txt");
                opened_.clear();
                seen_.clear();
                ShowContextMenu(L"Notes.txt");
            },
            wait,
            [this] { ClickEntry(menu_, L"Quelvar"); },
            wait,
            [this] { ClickEntry(SubmenuOf(menu_, L"Quelvar"), L"Shell Tools"); },
            wait,
            [this] {
                ShotOfMenus(L"06-shell-tools-file.png", L"Shell Tools on a file");
                Print(L"Menu tree (right-click on the file Notes.txt):");
                PrintTree(menu_, 1);
                Print(L"");
            },
            [this] { ClickEntry(SubmenuOf(SubmenuOf(menu_, L"Quelvar"), L"Shell Tools"), L"More Hash"); },
            wait,
            wait,
            wait,
            [] {
                // "&Hash File" pressed as a click presses it.
                HWND dialog = ::FindWindowW(nullptr, L"Checksum Calculator");
                HWND hash = dialog ? ::FindWindowExW(dialog, nullptr, L"Button", L"&Hash File") : nullptr;
                if (hash) {
                    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(hash), BN_CLICKED),
                                   reinterpret_cast<LPARAM>(hash));
                }
            },
            wait,
            wait,
            [this] {
                HWND dialog = ::FindWindowW(nullptr, L"Checksum Calculator");
                if (!dialog) {
                    Print(L"(the Checksum Calculator did not open)");
                    return;
                }
                ShotOfWindow(dialog, L"07-checksum-calculator.png", L"the Checksum Calculator on Notes.txt");
                if (!stay_) ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            },
            [this] {
                ::KillTimer(window_, kTourTimer);
                Print(L"Screenshots are in " + shots_);
                if (!stay_) ::DestroyWindow(window_);
            },
        };
    }

    void RunTourStep() {
        if (next_ >= steps_.size()) return;
        const std::function<void()> step = steps_[next_++];
        step();
    }

    std::wstring folder_;
    std::wstring shots_;
    bool tour_;
    bool stay_;
    HWND window_ = nullptr;
    HWND list_ = nullptr;
    std::vector<std::wstring> names_;
    ComPtr<IContextMenu3> handler_;
    HMENU menu_ = nullptr;
    std::vector<HMENU> opened_;
    std::map<HMENU, std::vector<Entry>> seen_;
    std::vector<std::function<void()>> steps_;
    size_t next_ = 0;
};

void WriteText(const std::wstring& path, const char* text) {
    Lumo::Win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw Lumo::LastError();
    DWORD written = 0;
    ::WriteFile(file.get(), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

// The demo folder with a few folders and files, and favorites and history entries that point into it.
void PrepareDemoFolder(const std::wstring& folder) {
    ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    for (const wchar_t* name : {L"Projects", L"Photos", L"Music", L"Reports", L"Projects\\Website"}) {
        ::CreateDirectoryW((folder + L"\\" + name).c_str(), nullptr);
    }
    WriteText(folder + L"\\Notes.txt", "Quelvar demo notes.\r\nRight-click me and try Shell Tools.\r\n");
    WriteText(folder + L"\\Budget.csv", "item,amount\r\ncoffee,12\r\nbooks,40\r\n");
    // The file the installed handler reads: the user's roaming application data.
    wchar_t appData[MAX_PATH] = {};
    ThrowIfFailed(::SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, appData));
    Lumo::Data::DataCenter data(std::wstring(appData) + L"\\" + Lumo::Data::DataCenter::kDataFolderName);
    data.AddFavorites({folder + L"\\Projects", folder + L"\\Photos", folder + L"\\Reports"});
    data.AddNavigateHistory(folder + L"\\Music");
    data.AddNavigateHistory(folder + L"\\Projects\\Website");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fputs("usage: QuelvarDemo <demo folder> <screenshot folder> [--tour] [--stay]\n", stderr);
        return 2;
    }
    bool tour = false, stay = false;
    for (int i = 3; i < argc; ++i) {
        tour = tour || std::wstring(argv[i]) == L"--tour";
        stay = stay || std::wstring(argv[i]) == L"--stay";
    }
    std::wstring shots = argv[2];
    if (shots.back() != L'\\') shots += L'\\';
    ::SHCreateDirectoryExW(nullptr, shots.c_str(), nullptr);
    if (FAILED(::OleInitialize(nullptr))) return 1;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    int status = 0;
    try {
        PrepareDemoFolder(argv[1]);
        DemoWindow demo(argv[1], shots, tour, stay);
        demo.Create(::GetModuleHandleW(nullptr));
        MSG message;
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "QuelvarDemo: %s\n", e.what());
        status = 1;
    }
    ::OleUninitialize();
    return status;
}

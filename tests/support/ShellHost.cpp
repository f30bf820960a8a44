// The test shell host: real shell objects, a real window and menu, the
// handler driven the way Explorer and simpler hosts drive it.
#include "support/ShellHost.h"

#include <objidl.h>
#include <shlwapi.h>

#include <algorithm>
#include <stdexcept>

#include "data/DataCenter.h"
#include "menu/MainMenu.h"
#include "shellext/GotoFavorite.h"
#include "shellext/MenuEngine.h"
#include "shellext/ThreadMenuState.h"
#include "server/GlobalImpl.h"

using namespace ShellExt;

using Lumo::Win::ComPtr;
using Lumo::Win::UniqueIdList;

extern "C" const CLSID CLSID_GotoFavorite;

namespace QuelvarTest {

namespace {

constexpr wchar_t kHostClass[] = L"QuelvarTestShellHost";
// Ticks the loop may idle after the last step before the host ends it.
constexpr int kIdleTicksBeforeForcedEnd = 50;
constexpr UINT kTickMs = 10;

thread_local ShellHost* t_trackingHost = nullptr;

void Check(HRESULT hr, const char* what) {
    if (FAILED(hr)) throw std::runtime_error(std::string(what) + " failed");
}

// IDataObject offering one CIDA as "Shell IDList Array"; every request gets a fresh copy.
class CidaObject final : public IDataObject {
public:
    explicit CidaObject(std::vector<BYTE> cida) : cida_(std::move(cida)) {}

    IFACEMETHODIMP QueryInterface(REFIID iid, void** result) override {
        if (!result) return E_POINTER;
        if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IDataObject)) {
            *result = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *result = nullptr;
        return E_NOINTERFACE;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&references_); }
    IFACEMETHODIMP_(ULONG) Release() override {
        ULONG count = ::InterlockedDecrement(&references_);
        if (count == 0) delete this;
        return count;
    }
    IFACEMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!format || !medium) return E_INVALIDARG;
        HRESULT hr = QueryGetData(format);
        if (hr != S_OK) return hr;
        HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, cida_.size());
        if (!block) return E_OUTOFMEMORY;
        void* bytes = ::GlobalLock(block);
        std::copy(cida_.begin(), cida_.end(), static_cast<BYTE*>(bytes));
        ::GlobalUnlock(block);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block;
        medium->pUnkForRelease = nullptr;
        ++requests;
        return S_OK;
    }
    IFACEMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    IFACEMETHODIMP QueryGetData(FORMATETC* format) override {
        if (!format) return E_INVALIDARG;
        static const CLIPFORMAT shellIdList =
            static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(CFSTR_SHELLIDLIST));
        if (format->cfFormat != shellIdList) return DV_E_FORMATETC;
        if (!(format->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
        return S_OK;
    }
    IFACEMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out) out->ptd = nullptr;
        return E_NOTIMPL;
    }
    IFACEMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    IFACEMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    IFACEMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    IFACEMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    IFACEMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

    int requests = 0;

private:
    ~CidaObject() = default;
    volatile LONG references_ = 1;
    std::vector<BYTE> cida_;
};

void RegisterHostClass() {
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXW windowClass{sizeof(windowClass)};
    windowClass.lpfnWndProc = ShellHost::WindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kHostClass;
    if (!::RegisterClassExW(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throw std::runtime_error("cannot register the host window class");
    }
    registered = true;
}

BOOL CALLBACK CountWindow(HWND, LPARAM counter) {
    ++*reinterpret_cast<long*>(counter);
    return TRUE;
}

}  // namespace

// EngineScope ----------------------------------------------------------------------

EngineScope::EngineScope() {
    GlobalImpl::Create(::GetModuleHandleW(nullptr));
    // The user's own data file stays untouched: this test's data lives in its own folder.
    Data::DataCenter* original = Data::DataCenter::Instance();
    Data::DataCenter::SetInstance(new Data::DataCenter(data_.Path() + L"Quelvar\\"));
    delete original;
}

EngineScope::~EngineScope() {
    GlobalImpl::ReleaseThread();
    GlobalImpl::Destroy();
}

ThreadMenuState& EngineScope::State() {
    ThreadMenuState* state = GlobalImpl::CurrentThreadState();
    if (!state) throw std::runtime_error("the module's process-wide objects do not exist");
    return *state;
}

void EngineScope::SetMenuWidthLimit(bool limit, int width) {
    Data::DataCenter* center = Data::DataCenter::Instance();
    auto data = center->Load();
    data->userSettings->limitMenuWidth = limit;
    data->userSettings->menuWidthLimit = width;
    center->Save(*data);
}

// Shell helpers ----------------------------------------------------------------------

UniqueIdList ParseName(const std::wstring& name) {
    UniqueIdList idList;
    PIDLIST_ABSOLUTE parsed = nullptr;
    HRESULT hr = ::SHParseDisplayName(name.c_str(), nullptr, &parsed, 0, nullptr);
    idList.reset(parsed);
    if (FAILED(hr) || !idList) {
        throw std::runtime_error("the shell does not know " + std::string(name.begin(), name.end()));
    }
    return idList;
}

std::wstring ParsingNameOf(PCIDLIST_ABSOLUTE idList) {
    ComPtr<IShellFolder> parent;
    PCUITEMID_CHILD child = nullptr;
    if (FAILED(::SHBindToParent(idList, IID_IShellFolder, parent.put_void(), &child))) return L"";
    STRRET name{};
    if (FAILED(parent->GetDisplayNameOf(child, SHGDN_FORPARSING, &name))) return L"";
    wchar_t buffer[MAX_PATH * 4] = {};
    if (FAILED(::StrRetToBufW(&name, child, buffer, ARRAYSIZE(buffer)))) return L"";
    return buffer;
}

ComPtr<IDataObject> ShellDataObject(const std::vector<std::wstring>& names) {
    if (names.empty()) throw std::invalid_argument("no items");
    std::vector<UniqueIdList> absolute;
    for (const auto& name : names) absolute.push_back(ParseName(name));
    ComPtr<IShellFolder> folder;
    std::vector<PCUITEMID_CHILD> children;
    for (const auto& idList : absolute) {
        ComPtr<IShellFolder> parent;
        PCUITEMID_CHILD child = nullptr;
        Check(::SHBindToParent(idList.get(), IID_IShellFolder, parent.put_void(), &child), "SHBindToParent");
        if (!folder) folder = parent;
        children.push_back(child);
    }
    ComPtr<IDataObject> data;
    Check(folder->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()), children.data(), IID_IDataObject,
                                nullptr, data.put_void()),
          "GetUIObjectOf");
    return data;
}

ComPtr<IDataObject> CidaDataObject(PCIDLIST_ABSOLUTE parent,
                                   const std::vector<PCUIDLIST_RELATIVE>& children) {
    // cidl, cidl + 1 offsets, then the lists themselves.
    const UINT count = static_cast<UINT>(children.size());
    std::vector<BYTE> block(sizeof(UINT) * (count + 2));
    auto append = [&block](LPCITEMIDLIST list) {
        size_t offset = block.size();
        UINT size = list ? ::ILGetSize(list) : 0;
        if (size == 0) {
            block.resize(offset + 2, 0);  // an empty list: its terminator only
        } else {
            const BYTE* bytes = reinterpret_cast<const BYTE*>(list);
            block.insert(block.end(), bytes, bytes + size);
        }
        return static_cast<UINT>(offset);
    };
    std::vector<UINT> offsets;
    offsets.push_back(append(parent));
    for (auto child : children) offsets.push_back(append(child));
    auto* header = reinterpret_cast<UINT*>(block.data());
    header[0] = count;
    for (size_t i = 0; i < offsets.size(); ++i) header[1 + i] = offsets[i];
    return ComPtr<IDataObject>::Attach(new CidaObject(std::move(block)));
}

ComPtr<IDataObject> RawCidaDataObject(std::vector<BYTE> bytes) {
    return ComPtr<IDataObject>::Attach(new CidaObject(std::move(bytes)));
}

void CreateShortcut(const std::wstring& linkPath, const std::wstring& target) {
    ComPtr<IShellLinkW> link;
    Check(
        ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()),
        "CoCreateInstance(ShellLink)");
    Check(link->SetPath(target.c_str()), "IShellLinkW::SetPath");
    auto file = link.query<IPersistFile>(IID_IPersistFile);
    if (!file) throw std::runtime_error("no IPersistFile on the shell link");
    Check(file->Save(linkPath.c_str(), TRUE), "IPersistFile::Save");
}

// Canvas ----------------------------------------------------------------------------

Canvas::Canvas(int width, int height, COLORREF fill) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = ::CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dc_ || !bitmap_) {
        if (bitmap_) ::DeleteObject(bitmap_);
        if (dc_) ::DeleteDC(dc_);
        throw std::runtime_error("cannot create a canvas");
    }
    bits_ = static_cast<DWORD*>(bits);
    oldBitmap_ = ::SelectObject(dc_, bitmap_);
    Fill(fill);
}

Canvas::Canvas(Canvas&& other) noexcept
    : dc_(std::exchange(other.dc_, nullptr)),
      bitmap_(std::exchange(other.bitmap_, nullptr)),
      oldBitmap_(std::exchange(other.oldBitmap_, nullptr)),
      bits_(std::exchange(other.bits_, nullptr)),
      width_(other.width_),
      height_(other.height_) {}

Canvas::~Canvas() {
    if (dc_) {
        ::SelectObject(dc_, oldBitmap_);
        ::DeleteDC(dc_);
    }
    if (bitmap_) ::DeleteObject(bitmap_);
}

void Canvas::Fill(COLORREF color) {
    ::GdiFlush();
    DWORD value = (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
    std::fill(bits_, bits_ + width_ * height_, value);
}

COLORREF Canvas::Pixel(int x, int y) const {
    ::GdiFlush();
    DWORD value = bits_[y * width_ + x];
    return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

int Canvas::Count(COLORREF color) const {
    int count = 0;
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (Pixel(x, y) == color) ++count;
    return count;
}

RECT Canvas::InkBounds(COLORREF background) const {
    RECT bounds{width_, height_, 0, 0};
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            if (Pixel(x, y) == background) continue;
            bounds.left = std::min<LONG>(bounds.left, x);
            bounds.top = std::min<LONG>(bounds.top, y);
            bounds.right = std::max<LONG>(bounds.right, x + 1);
            bounds.bottom = std::max<LONG>(bounds.bottom, y + 1);
        }
    }
    if (bounds.right == 0) return RECT{};
    return bounds;
}

bool Canvas::SameAs(const Canvas& other) const {
    if (width_ != other.width_ || height_ != other.height_) return false;
    ::GdiFlush();
    return std::equal(bits_, bits_ + width_ * height_, other.bits_);
}

Lumo::Win::UniqueGdiObject MenuFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        throw std::runtime_error("no non-client metrics");
    }
    return Lumo::Win::UniqueGdiObject(::CreateFontIndirectW(&metrics.lfMenuFont));
}

ResourceCounts CountResources() {
    ResourceCounts counts;
    HANDLE process = ::GetCurrentProcess();
    counts.gdiObjects = static_cast<long>(::GetGuiResources(process, GR_GDIOBJECTS));
    counts.userObjects = static_cast<long>(::GetGuiResources(process, GR_USEROBJECTS));
    // Wine answers GetGuiResources with 0. Its handle tables accept a handle
    // value without the generation bits, so walking the low words finds every
    // live GDI object and menu of the process.
    if (counts.gdiObjects == 0) {
        for (ULONG_PTR value = 1; value < 0x10000; ++value) {
            if (::GetObjectType(reinterpret_cast<HGDIOBJ>(value))) ++counts.gdiObjects;
        }
    }
    for (ULONG_PTR value = 1; value < 0x10000; ++value) {
        if (::IsMenu(reinterpret_cast<HMENU>(value))) ++counts.menus;
    }
    ::EnumThreadWindows(::GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&counts.threadWindows));
    if (counts.userObjects == 0) counts.userObjects = counts.menus + counts.threadWindows;
    return counts;
}

// ShellHost ---------------------------------------------------------------------------

bool ShellHost::Entry::Own() const { return MenuEngine::IsOwnItemData(data); }

std::wstring ShellHost::Entry::Label() const {
    if (Separator()) return L"-";
    if (Own()) return item ? item->label : L"?";
    return text;
}

ShellHost::ShellHost(MessageRouting routing, UINT firstCommandId)
    : routing_(routing), firstCommandId_(firstCommandId) {
    RegisterHostClass();
    // A borderless window at the screen origin: its client coordinates are
    // screen coordinates, whichever of the two a menu reads from a click.
    window_ = ::CreateWindowExW(0, kHostClass, L"Quelvar test host", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480,
                                nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
    if (!window_) throw std::runtime_error("cannot create the host window");
    ::SetForegroundWindow(window_);
    ResetMenu();
}

void ShellHost::ResetMenu() {
    menu_.reset(::CreatePopupMenu());
    if (!menu_) throw std::runtime_error("cannot create the host menu");
    ::AppendMenuW(menu_.get(), MF_STRING, kOpenCommand, L"&Open");
    ::AppendMenuW(menu_.get(), MF_STRING, kPropertiesCommand, L"P&roperties");
    openPopups_.clear();
}

ShellHost::~ShellHost() {
    if (t_trackingHost == this) t_trackingHost = nullptr;
    ReleaseHandler();
    menu_.reset();
    if (window_) {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        ::DestroyWindow(window_);
    }
}

void ShellHost::CreateHandler() { CreateHandler(::Menu::MainMenuDefinition()); }

void ShellHost::CreateHandler(ShellExt::MenuDefinition definition) {
    ReleaseHandler();
    Check(CGotoFavorite::CreateInstance(IID_IContextMenu3, handler_.put_void(), std::move(definition)),
          "CGotoFavorite::CreateInstance");
    object_ = static_cast<CGotoFavorite*>(handler_.get());
}

HRESULT ShellHost::CreateHandlerThroughCom() {
    ReleaseHandler();
    return ::CoCreateInstance(CLSID_GotoFavorite, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu3,
                              handler_.put_void());
}

void ShellHost::ReleaseHandler() {
    handler_.reset();
    object_ = nullptr;
}

HRESULT ShellHost::Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data) {
    auto init = handler_.query<IShellExtInit>(IID_IShellExtInit);
    if (!init) throw std::runtime_error("no handler to initialize");
    return init->Initialize(folder, data, nullptr);
}

HRESULT ShellHost::InitializeBackground(const std::wstring& folder) {
    UniqueIdList idList = ParseName(folder);
    return Initialize(idList.get(), nullptr);
}

HRESULT ShellHost::InitializeSelection(const std::vector<std::wstring>& names) {
    ComPtr<IDataObject> data = ShellDataObject(names);
    return Initialize(nullptr, data.get());
}

HRESULT ShellHost::QueryContextMenu(UINT flags, UINT indexMenu) {
    if (!handler_) throw std::runtime_error("no handler");
    return handler_->QueryContextMenu(menu_.get(), indexMenu, firstCommandId_, firstCommandId_ + 0x7FFF,
                                      flags);
}

std::vector<ShellHost::Entry> ShellHost::Entries(HMENU menu) const {
    std::vector<Entry> entries;
    int count = ::GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        wchar_t text[512] = {};
        MENUITEMINFOW info{sizeof(info)};
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_DATA | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = ARRAYSIZE(text) - 1;
        if (!::GetMenuItemInfoW(menu, position, TRUE, &info)) continue;
        Entry entry;
        entry.position = position;
        entry.type = info.fType;
        entry.state = info.fState;
        entry.id = info.wID;
        entry.data = info.dwItemData;
        entry.submenu = info.hSubMenu;
        if (!(info.fType & (MFT_OWNERDRAW | MFT_SEPARATOR | MFT_BITMAP))) entry.text = text;
        if (entry.Own() && object_ && GlobalImpl::CurrentThreadState()) {
            entry.item = MenuEngine::GetItem(EngineScope::State(), MenuEngine::IndexOf(entry.data));
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<std::wstring> ShellHost::Labels(HMENU menu) const {
    std::vector<std::wstring> labels;
    for (const auto& entry : Entries(menu)) labels.push_back(entry.Label());
    return labels;
}

int ShellHost::QuelvarPosition() const {
    for (const auto& entry : Entries(menu_.get())) {
        if (entry.Own() && entry.submenu && (!entry.item || entry.item->kind == 3)) {
            return static_cast<int>(entry.position);
        }
    }
    return -1;
}

HMENU ShellHost::QuelvarSubmenu() const {
    int position = QuelvarPosition();
    return position < 0 ? nullptr : ::GetSubMenu(menu_.get(), position);
}

void ShellHost::SendInitMenuPopup(HMENU popup, UINT position) {
    ::SendMessageW(window_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), MAKELPARAM(position, FALSE));
    openPopups_.push_back(popup);
}

void ShellHost::SendUninitMenuPopup(HMENU popup) {
    ::SendMessageW(window_, WM_UNINITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
    auto found = std::find(openPopups_.begin(), openPopups_.end(), popup);
    if (found != openPopups_.end()) openPopups_.erase(found);
}

void ShellHost::SendMenuSelect(HMENU menu, UINT position) {
    MENUITEMINFOW info{sizeof(info)};
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU;
    ::GetMenuItemInfoW(menu, position, TRUE, &info);
    UINT flags = MF_HILITE | (info.hSubMenu ? MF_POPUP : 0) | (info.fType & MFT_OWNERDRAW ? MF_OWNERDRAW : 0);
    UINT item = info.hSubMenu ? position : info.wID;
    ::SendMessageW(window_, WM_MENUSELECT, MAKEWPARAM(item, flags), reinterpret_cast<LPARAM>(menu));
}

HMENU ShellHost::OpenQuelvarSubmenu() {
    int position = QuelvarPosition();
    if (position < 0) throw std::runtime_error("the menu has no Quelvar entry");
    SendInitMenuPopup(menu_.get(), 0);
    return OpenSubmenu(menu_.get(), position);
}

HMENU ShellHost::OpenSubmenu(HMENU parent, UINT position) {
    HMENU popup = ::GetSubMenu(parent, position);
    if (!popup) throw std::runtime_error("the entry has no submenu");
    SendMenuSelect(parent, position);
    SendInitMenuPopup(popup, position);
    return popup;
}

void ShellHost::CloseAll() {
    while (!openPopups_.empty()) SendUninitMenuPopup(openPopups_.back());
    ::SendMessageW(window_, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
}

MEASUREITEMSTRUCT ShellHost::Measure(HMENU menu, UINT position) {
    MENUITEMINFOW info{sizeof(info)};
    info.fMask = MIIM_ID | MIIM_DATA;
    if (!::GetMenuItemInfoW(menu, position, TRUE, &info)) throw std::runtime_error("no such entry");
    MEASUREITEMSTRUCT measure{};
    measure.CtlType = ODT_MENU;
    measure.itemID = info.wID;
    measure.itemData = info.dwItemData;
    // What Wine's menus start from before asking the owner.
    measure.itemWidth = 0;
    measure.itemHeight = ::GetSystemMetrics(SM_CYMENUSIZE);
    ::SendMessageW(window_, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
    return measure;
}

Canvas ShellHost::Draw(HMENU menu, UINT position, UINT itemState, int width, int height) {
    Canvas canvas(width, height, ::GetSysColor(COLOR_MENU));
    Lumo::Win::UniqueGdiObject font = MenuFont();
    HGDIOBJ oldFont = ::SelectObject(canvas.Dc(), font.get());
    Draw(canvas, menu, position, itemState, RECT{0, 0, width, height});
    ::SelectObject(canvas.Dc(), oldFont);
    ::GdiFlush();
    return canvas;
}

void ShellHost::Draw(Canvas& canvas, HMENU menu, UINT position, UINT itemState, const RECT& rect) {
    MENUITEMINFOW info{sizeof(info)};
    info.fMask = MIIM_ID | MIIM_DATA;
    if (!::GetMenuItemInfoW(menu, position, TRUE, &info)) throw std::runtime_error("no such entry");
    // The colours a menu prepares before asking the owner to draw.
    ::SetTextColor(canvas.Dc(), ::GetSysColor(COLOR_MENUTEXT));
    ::SetBkColor(canvas.Dc(), ::GetSysColor(COLOR_MENU));
    DRAWITEMSTRUCT draw{};
    draw.CtlType = ODT_MENU;
    draw.itemID = info.wID;
    draw.itemAction = ODA_DRAWENTIRE;
    draw.itemState = itemState;
    draw.hwndItem = reinterpret_cast<HWND>(menu);
    draw.hDC = canvas.Dc();
    draw.rcItem = rect;
    draw.itemData = info.dwItemData;
    ::SendMessageW(window_, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
}

UINT ShellHost::TrackMenu(const std::vector<Step>& steps, UINT flags) {
    return TrackMenu(menu_.get(), steps, flags);
}

UINT ShellHost::TrackMenu(HMENU menu, const std::vector<Step>& steps, UINT flags) {
    ShellHost* outer = t_trackingHost;
    const std::vector<Step>* outerSteps = steps_;
    size_t outerIndex = stepIndex_;
    t_trackingHost = this;
    steps_ = &steps;
    stepIndex_ = 0;
    idleTicks_ = 0;
    forcedEnd_ = false;
    ++loopDepth_;
    ::SetForegroundWindow(window_);
    UINT_PTR timer = ::SetTimer(nullptr, 0, kTickMs, OnTick);
    UINT result =
        static_cast<UINT>(::TrackPopupMenuEx(menu, flags, 0, 0, menuOwner_ ? menuOwner_ : window_, nullptr));
    ::KillTimer(nullptr, timer);
    --loopDepth_;
    // Whatever the steps left in the queue belongs to this loop only.
    MSG message;
    while (::PeekMessageW(&message, window_, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (::PeekMessageW(&message, window_, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
    steps_ = outerSteps;
    if (outerSteps) {
        // A nested loop ran inside a step: it consumed the steps it was given only.
        stepIndex_ = outerIndex;
    }
    t_trackingHost = outer;
    return result;
}

void CALLBACK ShellHost::OnTick(HWND, UINT, UINT_PTR, DWORD) {
    ShellHost* host = t_trackingHost;
    if (!host || !host->steps_) return;
    try {
        if (host->stepIndex_ < host->steps_->size()) {
            Step step = (*host->steps_)[host->stepIndex_++];
            step();
            return;
        }
        if (++host->idleTicks_ == kIdleTicksBeforeForcedEnd) {
            host->forcedEnd_ = true;
            ::EndMenu();
        } else if (host->idleTicks_ > kIdleTicksBeforeForcedEnd) {
            ::PostMessageW(host->window_, WM_KEYDOWN, VK_ESCAPE, 0);
        }
    } catch (...) {
        host->forcedEnd_ = true;
        ::EndMenu();
    }
}

ShellHost::Step ShellHost::Key(WORD virtualKey) const { return Keys({virtualKey}); }

ShellHost::Step ShellHost::Keys(std::vector<WORD> virtualKeys) const {
    HWND window = window_;
    return [window, virtualKeys] {
        for (WORD key : virtualKeys) {
            ::PostMessageW(window, WM_KEYDOWN, key, 1);
            ::PostMessageW(window, WM_KEYUP, key, 0xC0000001);
        }
    };
}

ShellHost::Step ShellHost::Char(wchar_t character) const {
    HWND window = window_;
    return [window, character] { ::PostMessageW(window, WM_CHAR, character, 1); };
}

RECT ShellHost::EntryRect(HMENU menu, UINT position) const {
    RECT rect{};
    if (!::GetMenuItemRect(nullptr, menu, position, &rect)) ::GetMenuItemRect(window_, menu, position, &rect);
    return rect;
}

void ShellHost::PostClick(UINT down, UINT up, HMENU menu, UINT position) const {
    RECT rect = EntryRect(menu, position);
    POINT point{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    // Clicks go to the menu window showing the entry, as the menu's capture
    // makes them arrive (without one, to the host window); a menu loop reads
    // their points in screen coordinates.
    HWND target = ::WindowFromPoint(point);
    wchar_t className[16] = {};
    if (!target || !::GetClassNameW(target, className, 16) || std::wstring(className) != L"#32768") {
        target = window_;
    }
    LPARAM where = MAKELPARAM(point.x, point.y);
    ::SetCursorPos(point.x, point.y);
    ::PostMessageW(target, WM_MOUSEMOVE, 0, where);
    ::PostMessageW(target, down, down == WM_RBUTTONDOWN ? MK_RBUTTON : MK_LBUTTON, where);
    ::PostMessageW(target, up, 0, where);
}

ShellHost::Step ShellHost::Click(HMENU menu, UINT position) const {
    return [this, menu, position] { PostClick(WM_LBUTTONDOWN, WM_LBUTTONUP, menu, position); };
}

ShellHost::Step ShellHost::Hover(HMENU menu, UINT position) const {
    return [this, menu, position] {
        RECT rect = EntryRect(menu, position);
        POINT point{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        ::SetCursorPos(point.x, point.y);
        ::PostMessageW(window_, WM_MOUSEMOVE, 0, MAKELPARAM(point.x, point.y));
    };
}

ShellHost::Step ShellHost::RightClick(HMENU menu, UINT position) const {
    return [this, menu, position] { PostClick(WM_RBUTTONDOWN, WM_RBUTTONUP, menu, position); };
}

Lumo::Win::UniqueWindow MenuWindowOwnedBy(HWND owner) {
    return Lumo::Win::UniqueWindow(::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"#32768", L"",
                                                     WS_POPUP, 0, 0, 10, 10, owner, nullptr, nullptr,
                                                     nullptr));
}

HRESULT ShellHost::Invoke(UINT offset) {
    CMINVOKECOMMANDINFO info{sizeof(info)};
    info.hwnd = window_;
    info.lpVerb = MAKEINTRESOURCEA(offset);
    info.nShow = SW_SHOWNORMAL;
    return handler_->InvokeCommand(&info);
}

HRESULT ShellHost::InvokeVerb(const char* verb) {
    CMINVOKECOMMANDINFO info{sizeof(info)};
    info.hwnd = window_;
    info.lpVerb = verb;
    info.nShow = SW_SHOWNORMAL;
    return handler_->InvokeCommand(&info);
}

HRESULT ShellHost::CommandString(UINT type, std::wstring* text, UINT bufferSize) {
    if (type & GCS_UNICODE) {
        std::vector<wchar_t> buffer(bufferSize + 1, L'\0');
        HRESULT hr =
            handler_->GetCommandString(0, type, nullptr, reinterpret_cast<LPSTR>(buffer.data()), bufferSize);
        if (text) *text = buffer.data();
        return hr;
    }
    std::vector<char> buffer(bufferSize + 1, '\0');
    HRESULT hr = handler_->GetCommandString(0, type, nullptr, buffer.data(), bufferSize);
    if (text) {
        int length = ::MultiByteToWideChar(CP_ACP, 0, buffer.data(), -1, nullptr, 0);
        std::vector<wchar_t> wide(std::max(length, 1), L'\0');
        ::MultiByteToWideChar(CP_ACP, 0, buffer.data(), -1, wide.data(), length);
        *text = wide.data();
    }
    return hr;
}

std::wstring ShellHost::HelpText() {
    std::wstring text;
    if (FAILED(CommandString(GCS_HELPTEXTW, &text))) return L"";
    return text;
}

LRESULT CALLBACK ShellHost::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<ShellHost*>(create->lpCreateParams)->window_ = window;
    }
    auto* host = reinterpret_cast<ShellHost*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (host) {
        try {
            return host->Handle(message, wParam, lParam);
        } catch (...) {
        }
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT ShellHost::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITMENUPOPUP:
        case WM_UNINITMENUPOPUP:
        case WM_MENUSELECT:
        case WM_DRAWITEM:
        case WM_MEASUREITEM:
        case WM_MENUCHAR: {
            received_.push_back(message);
            LRESULT result = 0;
            bool forwarded = false;
            if (routing_ == MessageRouting::ForwardToHandler && handler_ && message != WM_UNINITMENUPOPUP) {
                forwarded = SUCCEEDED(handler_->HandleMenuMsg2(message, wParam, lParam, &result));
            }
            if (message == WM_MENUCHAR) {
                if (!forwarded) result = ::DefWindowProcW(window_, message, wParam, lParam);
                menuCharResults_.push_back(result);
                return result;
            }
            if (message == WM_DRAWITEM || message == WM_MEASUREITEM) return TRUE;
            return 0;
        }
        default:
            return ::DefWindowProcW(window_, message, wParam, lParam);
    }
}

}  // namespace QuelvarTest

// A test shell host that plays Explorer against the context-menu handler:
// real shell data objects for files, folders, drives and shortcuts, a real
// window owning a real popup menu, submenus opened either by a real menu loop
// (TrackPopupMenuEx driven by posted keystrokes and clicks) or by the message
// sequence a shell sends, menu messages forwarded through IContextMenu3 (as
// Explorer does) or left to the handler's hooks, and the means to read what
// the handler measures, draws and says.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shellext/MenuEntry.h"
#include "support/TestSupport.h"
#include "win/Handle.h"

namespace ShellExt {
class CGotoFavorite;
class OddBase;
struct ThreadMenuState;
}  // namespace ShellExt

namespace QuelvarTest {

using ShellExt::CGotoFavorite;
using ShellExt::OddBase;
using ShellExt::ThreadMenuState;

// The module's process-wide objects for one test, with a Data::DataCenter over a
// private data folder; everything is torn down again at the end.
class EngineScope {
public:
    EngineScope();
    ~EngineScope();
    EngineScope(const EngineScope&) = delete;
    EngineScope& operator=(const EngineScope&) = delete;

    const std::wstring& DataFolder() const { return data_.Path(); }
    // The calling thread's menu state of the module linked into the test.
    static ThreadMenuState& State();
    // Stores the width limit of the menus in the data file.
    static void SetMenuWidthLimit(bool limit, int width);

private:
    TempFolder data_;
};

// Shell helpers --------------------------------------------------------------

// Absolute identifier list of a parsing name; throws when the shell does not know it.
Lumo::Win::UniqueIdList ParseName(const std::wstring& name);
// The parsing name of an absolute identifier list ("" when there is none).
std::wstring ParsingNameOf(PCIDLIST_ABSOLUTE idList);
// The shell's own data object for items of one folder, as Explorer hands it
// to context-menu handlers (IShellFolder::GetUIObjectOf).
Lumo::Win::ComPtr<IDataObject> ShellDataObject(const std::vector<std::wstring>& names);
// A data object of our own holding a "Shell IDList Array" (CIDA) of the given
// parent and child lists, in this order.
Lumo::Win::ComPtr<IDataObject> CidaDataObject(PCIDLIST_ABSOLUTE parent,
                                              const std::vector<PCUIDLIST_RELATIVE>& children);
// A data object handing out `bytes` as its "Shell IDList Array", whatever they hold.
Lumo::Win::ComPtr<IDataObject> RawCidaDataObject(std::vector<BYTE> bytes);
// Writes a shell link at `linkPath` pointing to `target`.
void CreateShortcut(const std::wstring& linkPath, const std::wstring& target);

// A menu window ("#32768") owned by `owner`, as a menu loop creates it: the
// window through which a right-click inside an open menu reaches an item menu.
Lumo::Win::UniqueWindow MenuWindowOwnedBy(HWND owner);

// Pixels -----------------------------------------------------------------------

// A 32-bit top-down bitmap selected into a memory device context.
class Canvas {
public:
    Canvas(int width, int height, COLORREF fill);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    Canvas(Canvas&& other) noexcept;

    HDC Dc() const { return dc_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void Fill(COLORREF color);
    COLORREF Pixel(int x, int y) const;
    int Count(COLORREF color) const;
    // Smallest rectangle holding every pixel that is not `background`
    // (empty when there is none).
    RECT InkBounds(COLORREF background) const;
    bool SameAs(const Canvas& other) const;

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    DWORD* bits_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

// The menu font of the system, as menus select it before owner drawing.
Lumo::Win::UniqueGdiObject MenuFont();

// Counts of what a test process holds, for leak checks.
struct ResourceCounts {
    long gdiObjects = 0;   // GDI objects of the process
    long userObjects = 0;  // menus and windows of the process/thread
    long menus = 0;
    long threadWindows = 0;
    bool operator==(const ResourceCounts& other) const {
        return gdiObjects == other.gdiObjects && userObjects == other.userObjects && menus == other.menus &&
               threadWindows == other.threadWindows;
    }
};
ResourceCounts CountResources();

// The host -------------------------------------------------------------------

enum class MessageRouting {
    ForwardToHandler,  // the window procedure forwards menu messages through HandleMenuMsg2, as Explorer does
    HooksOnly,         // the window procedure forwards nothing: the handler's hooks must do the work
};

class ShellHost {
public:
    // Foreign entries the host puts into its menu before the handler's turn.
    static constexpr UINT kOpenCommand = 1;
    static constexpr UINT kPropertiesCommand = 2;
    static constexpr UINT kDefaultIndexMenu = 1;

    // `firstCommandId` is handed to QueryContextMenu; 0 is what a hooks-only
    // host needs for the hooks to draw and measure the entries.
    explicit ShellHost(MessageRouting routing = MessageRouting::ForwardToHandler, UINT firstCommandId = 100);
    ~ShellHost();
    ShellHost(const ShellHost&) = delete;
    ShellHost& operator=(const ShellHost&) = delete;

    HWND Window() const { return window_; }
    // The shell's context menu: "&Open", "P&roperties" until the handler adds its entries.
    HMENU Menu() const { return menu_.get(); }
    MessageRouting Routing() const { return routing_; }
    void SetRouting(MessageRouting routing) { routing_ = routing; }
    UINT FirstCommandId() const { return firstCommandId_; }

    // Handler ------------------------------------------------------------------
    // Creates the handler in this process (the module linked into the test),
    // showing Quelvar's own menus or, given a definition, those.
    void CreateHandler();
    void CreateHandler(ShellExt::MenuDefinition definition);
    // Creates the handler through COM activation of the registered class.
    HRESULT CreateHandlerThroughCom();
    void ReleaseHandler();
    IContextMenu3* Handler() const { return handler_.get(); }
    // The in-process object (null for one made through COM).
    CGotoFavorite* Object() const { return object_; }

    HRESULT Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data);
    // A right-click on the background of `folder`: no data object.
    HRESULT InitializeBackground(const std::wstring& folder);
    // A right-click on the selected items (all in one folder).
    HRESULT InitializeSelection(const std::vector<std::wstring>& names);
    HRESULT QueryContextMenu(UINT flags = CMF_NORMAL | CMF_CANRENAME, UINT indexMenu = kDefaultIndexMenu);

    // What the menus hold --------------------------------------------------------
    struct Entry {
        UINT position = 0;
        UINT type = 0;   // MFT_ bits
        UINT state = 0;  // MFS_ bits
        UINT id = 0;
        ULONG_PTR data = 0;
        HMENU submenu = nullptr;
        std::wstring text;              // string entries
        std::shared_ptr<OddBase> item;  // the handler's entries (in-process handler only)
        bool Own() const;
        bool Separator() const { return (type & MFT_SEPARATOR) != 0; }
        // The label of an own entry, the text of a foreign one, "-" for a separator.
        std::wstring Label() const;
    };
    std::vector<Entry> Entries(HMENU menu) const;
    std::vector<std::wstring> Labels(HMENU menu) const;
    // Position of the "Quelvar" entry in the shell's menu (-1 when absent).
    int QuelvarPosition() const;
    HMENU QuelvarSubmenu() const;

    // The message sequence a shell sends ----------------------------------------------------
    void SendInitMenuPopup(HMENU popup, UINT position);
    void SendUninitMenuPopup(HMENU popup);
    void SendMenuSelect(HMENU menu, UINT position);
    // Opens the shell's menu and then the Quelvar submenu.
    HMENU OpenQuelvarSubmenu();
    // Opens `popup`, the submenu of the entry at `position` of the innermost open popup.
    HMENU OpenSubmenu(HMENU parent, UINT position);
    // Closes every popup opened through this sequence, innermost first.
    void CloseAll();

    MEASUREITEMSTRUCT Measure(HMENU menu, UINT position);
    // Draws the entry into a fresh canvas filled with the menu colour, the menu
    // font selected and the system's text colours set, as a menu does.
    Canvas Draw(HMENU menu, UINT position, UINT itemState, int width, int height);
    // The same into `rect` of an existing canvas (which keeps what is selected into it).
    void Draw(Canvas& canvas, HMENU menu, UINT position, UINT itemState, const RECT& rect);

    // A real menu loop ---------------------------------------------------------------
    using Step = std::function<void()>;
    // Shows the shell's menu with TrackPopupMenuEx at the screen origin and runs
    // one step per timer tick inside the loop. Returns what the loop returns (the
    // chosen command with TPM_RETURNCMD). Ends the loop itself when the steps are
    // used up and it still runs (then LoopForcedToEnd is true).
    UINT TrackMenu(const std::vector<Step>& steps, UINT flags = TPM_RETURNCMD | TPM_RIGHTBUTTON);
    UINT TrackMenu(HMENU menu, const std::vector<Step>& steps, UINT flags);
    // The window that owns the menus of later loops (the host's own window when null).
    void SetMenuOwner(HWND owner) { menuOwner_ = owner; }
    bool LoopForcedToEnd() const { return forcedEnd_; }
    size_t StepsRun() const { return stepIndex_; }
    Step Key(WORD virtualKey) const;
    Step Keys(std::vector<WORD> virtualKeys) const;
    Step Char(wchar_t character) const;
    Step Click(HMENU menu, UINT position) const;
    // Moves the mouse over an entry of a menu that is showing (the loop highlights it).
    Step Hover(HMENU menu, UINT position) const;
    Step RightClick(HMENU menu, UINT position) const;
    static Step Do(std::function<void()> action) { return action; }
    // Screen rectangle of an entry of a menu that is showing.
    RECT EntryRect(HMENU menu, UINT position) const;

    // Commands ------------------------------------------------------------------------
    HRESULT Invoke(UINT offset);
    HRESULT InvokeVerb(const char* verb);
    // GetCommandString with a wide (GCS_UNICODE) or ANSI request type.
    HRESULT CommandString(UINT type, std::wstring* text, UINT bufferSize = 260);
    std::wstring HelpText();

    // Empties and refills the shell's menu with its two foreign entries.
    void ResetMenu();

    // Messages the window received, in order.
    const std::vector<UINT>& ReceivedMessages() const { return received_; }
    void ClearReceivedMessages() { received_.clear(); }
    // WM_MENUCHAR results the window procedure returned.
    const std::vector<LRESULT>& MenuCharResults() const { return menuCharResults_; }

    // The window procedure of the host's window class.
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    static void CALLBACK OnTick(HWND window, UINT message, UINT_PTR id, DWORD time);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void PostClick(UINT down, UINT up, HMENU menu, UINT position) const;

    MessageRouting routing_;
    UINT firstCommandId_;
    HWND window_ = nullptr;
    Lumo::Win::UniqueMenu menu_;
    Lumo::Win::ComPtr<IContextMenu3> handler_;
    CGotoFavorite* object_ = nullptr;
    std::vector<HMENU> openPopups_;
    std::vector<UINT> received_;
    std::vector<LRESULT> menuCharResults_;

    const std::vector<Step>* steps_ = nullptr;
    size_t stepIndex_ = 0;
    int idleTicks_ = 0;
    bool forcedEnd_ = false;
    int loopDepth_ = 0;
    HWND menuOwner_ = nullptr;
};

}  // namespace QuelvarTest

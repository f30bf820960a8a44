// Folder navigation: moves the window a menu came from (an Explorer frame, a
// common file dialog, an Office file dialog) to a folder the user chose, or
// opens a new Explorer window when there is no such host, and starts the other
// shell programs the menus offer (a rooted Explorer, a command prompt).
// Successful navigations are recorded in the navigate history. Nothing here
// shows a message or lets an exception out: a failed step leaves the window
// where it was.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "data/FolderList.h"
#include "win/Handle.h"

namespace ShellExt {

namespace Navigation {

// Where a command chosen in a menu navigates: the window it came from, and,
// for Windows 11's first-level menu, which names its window through its site
// instead of a window handle, that site's browser (null when the site hands
// out none) or else the site's window in the shell's window collection
// (null when the site names none); without either a new window opens.
struct Target {
    HWND window = nullptr;
    bool commandSite = false;
    Lumo::Win::ComPtr<IShellBrowser> siteBrowser;
    HWND siteWindow = nullptr;
    // Which way a navigation for the site took ("site browser", "shell
    // window", "new window"), for the diagnostic log; null before one. The
    // command that made the target reads it back after running.
    mutable const char* route = nullptr;

    // The same target, coming from another window (an item menu's).
    Target From(HWND other) const {
        Target copy = *this;
        copy.window = other;
        return copy;
    }
};

// Asks a window for the shell browser of the view it hosts; the answer is not
// add-referenced.
inline constexpr UINT kShellBrowserRequest = WM_USER + 7;

// Every program the navigation starts goes through this launcher, which has
// the shape of ShellExecuteW.
using ShellLauncher = std::function<HINSTANCE(HWND window, const wchar_t* verb, const wchar_t* file,
                                              const wchar_t* parameters, const wchar_t* directory, int show)>;
// Replaces the launcher (an empty function restores ShellExecuteW) and returns
// the previous one.
ShellLauncher SetShellLauncher(ShellLauncher launcher);
// Starts a program or opens a document through the launcher; a failure is
// not reported.
void LaunchShell(HWND window, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                 const wchar_t* directory, int show) noexcept;

// A window of the shell's window collection, a way to get its top-level
// shell browser (which reaches only Explorer's own process), and a way to
// navigate it through its automation interface (which reaches it from any
// process); `navigate` answers whether the window took the path.
struct ShellWindow {
    HWND frame = nullptr;
    std::function<Lumo::Win::ComPtr<IShellBrowser>()> browser;
    std::function<bool(const std::wstring& path)> navigate;
};
// Lists the shell's windows; the system's collection by default. Tests put a
// list of their own windows in its place; an empty function restores it.
using ShellWindowLister = std::function<std::vector<ShellWindow>()>;
ShellWindowLister SetShellWindowLister(ShellWindowLister lister);

// The first of `start`, its parent (or owner, for a popup such as a menu
// window), that one's parent, ... that answers the shell-browser request;
// windows of other processes are never asked. An answer that cannot be a
// shell browser (not a readable object whose interface table lies in a loaded
// module's image) counts as no answer. Null when none does.
HWND FindBrowserWindow(HWND start) noexcept;

// The window of a first-level command's site that hands out no shell browser
// (Explorer may create the command in another process, where its browser
// does not reach): the site's own window when the site has one, else the
// Explorer frame in the foreground, where the user just chose the command.
// Null without a site.
HWND WindowOfCommandSite(IUnknown* site);

// Opens a folder chosen in the menu: in the shell browser above the target's
// window when there is one, otherwise in a new Explorer window.
void NavigateTo(const Target& from, const std::wstring& path) noexcept;

// Navigates the Explorer window of the calling thread, or else the host
// window (a shell browser, a common file dialog, an Office file dialog);
// opens a new Explorer window when the host is no shell browser.
void NavigateHostWindow(const Target& host, const std::wstring& path) noexcept;

// Navigates one shell browser to `path` (to the parent folder for a file) and
// records `path` in the history; false when the path cannot be parsed or the
// browser refused a folder.
bool BrowseTo(IShellBrowser* browser, const std::wstring& path) noexcept;

// A new Explorer window on `path`; records the history.
void ExploreFolder(const std::wstring& path) noexcept;
// A new Explorer window whose folder tree is rooted at `path`.
void ExploreFromHere(const std::wstring& path) noexcept;
// A command prompt whose working directory is `directory`.
void OpenCommandPrompt(const std::wstring& directory) noexcept;

// One step of the enumeration of an Office file dialog's children: types
// `path` into the file-name box followed by Enter. Returns whether the
// enumeration goes on (false once the box was found).
bool FillDialogFileName(HWND child, const std::wstring& path) noexcept;

// Forms used by the item menus. Favorite `index` is an entry of the menu's
// `favorites`; an index outside the list does nothing. The system-folder
// forms take the resolved path and do nothing when it is empty.
void ExploreFavorite(const Data::FolderList& favorites, std::size_t index) noexcept;
void OpenCommandPromptAtFavorite(const Data::FolderList& favorites, std::size_t index) noexcept;
void ExploreSystemFolder(const std::wstring& path) noexcept;
void ExploreSystemFolderFromHere(const std::wstring& path) noexcept;
void OpenCommandPromptAtSystemFolder(const std::wstring& path) noexcept;
void NavigateToSystemFolder(const Target& host, const std::wstring& path) noexcept;

}  // namespace Navigation

}  // namespace ShellExt

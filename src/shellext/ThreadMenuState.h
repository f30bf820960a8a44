// Per-thread menu state: the thread's hooks, the popups of the current menu
// loop, the live handlers, the item table and the menu-window watcher flags.
#pragma once

#include <windows.h>

#include <list>
#include <memory>
#include <set>
#include <vector>

#include "shellext/MenuMetrics.h"
#include "win/Handle.h"

class CGotoFavorite;
class OddBase;

struct OpenPopup {
    HMENU menu = nullptr;
    int kind = 0;  // 0 foreign, 1 the handler's fixed popup, 2 a popup filled on opening
};

struct ThreadMenuState {
    Lumo::Win::UniqueHook callWndProcHook;
    Lumo::Win::UniqueHook msgFilterHook;
    Lumo::Win::UniqueHook cbtHook;
    bool rightButtonDown = false;
    std::vector<OpenPopup> openPopups;
    int popupDepth = 0;
    std::set<CGotoFavorite*> liveHandlers;
    WORD selectedItem = 0;
    WORD selectFlags = 0;
    HMENU selectedMenu = nullptr;
    std::vector<std::shared_ptr<OddBase>> itemTable;
    std::list<unsigned> freeSlots;
    int currentItem = -1;
    bool outsideBrowseUiMenu = true;
    HWND browseUiMenuWindow = nullptr;
    bool noMenuWindowYet = true;
    MenuMetrics menuMetrics;

    ~ThreadMenuState();
};

// WH_CBT hook of every prepared thread: notices top-level popup menu windows
// and whether the shell's BROWSEUI module created them.
LRESULT CALLBACK MenuWindowWatcher(int code, WPARAM wParam, LPARAM lParam);

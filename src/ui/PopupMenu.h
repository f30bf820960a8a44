// The small command menu that opens when an entry of the extension's menu is
// right-clicked: command identifiers from 40000 in the order the commands were
// added, a default entry, radio entries in submenus.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "win/Handle.h"

namespace Lumo::WinUi {

class PopupMenu {
public:
    static constexpr UINT kFirstCommandId = 40000;
    using Callback = std::function<void()>;

    class SubMenu {
    public:
        void AppendSeparator();
        void AppendRadioCommand(const std::wstring& text, Callback callback, bool checked);
        HMENU Handle() const { return menu_; }

    private:
        friend class PopupMenu;
        SubMenu(HMENU menu, PopupMenu* owner) : menu_(menu), owner_(owner) {}
        HMENU menu_;  // owned by the parent menu once appended
        PopupMenu* owner_;
    };

    PopupMenu();
    PopupMenu(const PopupMenu&) = delete;
    PopupMenu& operator=(const PopupMenu&) = delete;

    void AppendCommand(const std::wstring& text, Callback callback, bool isDefault = false);
    std::shared_ptr<SubMenu> AppendSubMenu(const std::wstring& text);
    void AppendSeparator();

    // Shows the menu at the cursor and runs the chosen command; returns its
    // identifier, 0 when the menu was dismissed.
    UINT Track(HWND window);
    // Runs the command of `id` as if it had been chosen.
    bool RunCommand(UINT id);

    HMENU Handle() const { return menu_.get(); }

    // Replaces the modal selection (TrackPopupMenuEx) for the whole process;
    // tests answer item menus through it. An empty function restores it.
    using Tracker = std::function<UINT(HMENU menu, HWND window)>;
    static void SetTracker(Tracker tracker);

private:
    UINT Register(Callback callback);

    Lumo::Win::UniqueMenu menu_;
    std::vector<std::shared_ptr<SubMenu>> subMenus_;
    std::vector<Callback> callbacks_;
};

}  // namespace Lumo::WinUi

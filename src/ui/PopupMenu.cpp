// The item menus' popup command menu.
#include "ui/PopupMenu.h"

#include "win/Errors.h"

namespace Lumo::WinUi {
namespace {

PopupMenu::Tracker& CurrentTracker() {
    static PopupMenu::Tracker tracker;
    return tracker;
}

}  // namespace

void PopupMenu::SetTracker(Tracker tracker) { CurrentTracker() = std::move(tracker); }

PopupMenu::PopupMenu() : menu_(::CreatePopupMenu()) {
    if (!menu_) throw Lumo::LastError();
}

UINT PopupMenu::Register(Callback callback) {
    callbacks_.push_back(std::move(callback));
    return kFirstCommandId + static_cast<UINT>(callbacks_.size() - 1);
}

void PopupMenu::AppendCommand(const std::wstring& text, Callback callback, bool isDefault) {
    UINT id = Register(std::move(callback));
    ::AppendMenuW(menu_.get(), MF_STRING, id, text.c_str());
    if (isDefault) ::SetMenuDefaultItem(menu_.get(), id, FALSE);
}

std::shared_ptr<PopupMenu::SubMenu> PopupMenu::AppendSubMenu(const std::wstring& text) {
    Lumo::Win::UniqueMenu popup(::CreatePopupMenu());
    if (!popup) throw Lumo::LastError();
    if (!::AppendMenuW(menu_.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(popup.get()), text.c_str())) {
        throw Lumo::LastError();
    }
    std::shared_ptr<SubMenu> sub(new SubMenu(popup.release(), this));
    subMenus_.push_back(sub);
    return sub;
}

void PopupMenu::AppendSeparator() { ::AppendMenuW(menu_.get(), MF_SEPARATOR, 0, nullptr); }

void PopupMenu::SubMenu::AppendSeparator() { ::AppendMenuW(menu_, MF_SEPARATOR, 0, nullptr); }

void PopupMenu::SubMenu::AppendRadioCommand(const std::wstring& text, Callback callback, bool checked) {
    UINT id = owner_->Register(std::move(callback));
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE | MIIM_ID | MIIM_STRING | MIIM_FTYPE;
    info.fType = MFT_RADIOCHECK;
    info.fState = checked ? MFS_CHECKED : 0;
    info.wID = id;
    std::wstring copy = text;
    info.dwTypeData = copy.data();
    ::InsertMenuItemW(menu_, static_cast<UINT>(::GetMenuItemCount(menu_)), TRUE, &info);
}

UINT PopupMenu::Track(HWND window) {
    UINT id;
    if (CurrentTracker()) {
        id = CurrentTracker()(menu_.get(), window);
    } else {
        POINT cursor{};
        ::GetCursorPos(&cursor);
        id = static_cast<UINT>(
            ::TrackPopupMenuEx(menu_.get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_RECURSE,
                               cursor.x, cursor.y, window, nullptr));
    }
    if (id == 0) {
        ::GetLastError();  // dismissed or failed: nothing to run
        return 0;
    }
    RunCommand(id);
    return id;
}

bool PopupMenu::RunCommand(UINT id) {
    if (id < kFirstCommandId || id - kFirstCommandId >= callbacks_.size()) return false;
    Callback& callback = callbacks_[id - kFirstCommandId];
    if (callback) callback();
    return true;
}

}  // namespace Lumo::WinUi

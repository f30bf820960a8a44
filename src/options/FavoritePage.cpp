// Favorites page: remove, move up and down, and save through Lumo::Data::DataCenter,
// which refuses when another process changed the list meanwhile.
#include "options/FavoritePage.h"

#include <algorithm>
#include <vector>

#include "data/DataCenter.h"
#include "options/PageSupport.h"
#include "system/MenuImages.h"
#include "win/Errors.h"
#include "win/ModuleReference.h"

namespace Lumo::Options {
namespace {

using namespace Lumo::WinUi;

constexpr int kButtonSide = 26;

const wchar_t kRefused[] =
    L"Favorites list has been modified by other explorer.exe instance,\ncurrent changes will not be saved, "
    L"please re-open option dialog\nto edit the newest favorite list.";
const wchar_t kCannotSave[] =
    L"Favorites list cannot be saved now: the data file is in use by another program or cannot be "
    L"written.\nCurrent changes are kept, please try to save them again.";

}  // namespace

FolderListBox::FolderListBox(HWND parent, int id, int width, int height) {
    HWND window =
        ::CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                          WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_HSCROLL |
                              WS_VSCROLL | WS_TABSTOP | LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY,
                          0, 0, width, height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                          Win::CurrentModule(), nullptr);
    if (!window) throw Lumo::LastError();
    ::SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    Attach(window);
}

int FolderListBox::Extent() const {
    return static_cast<int>(::SendMessageW(Window(), LB_GETHORIZONTALEXTENT, 0, 0));
}

int FolderListBox::Measure(const std::wstring& text) const {
    return TextWidth(Window(), text) + 3 * ::GetSystemMetrics(SM_CXBORDER);
}

int FolderListBox::MeasureItem(int index) const {
    const LRESULT length = ::SendMessageW(Window(), LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR) return 0;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT got = ::SendMessageW(Window(), LB_GETTEXT, static_cast<WPARAM>(index),
                                       reinterpret_cast<LPARAM>(text.data()));
    text.resize(got == LB_ERR ? 0 : static_cast<size_t>(got));
    return Measure(text);
}

void FolderListBox::SetExtent(int width) {
    ::SendMessageW(Window(), LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(width), 0);
}

bool FolderListBox::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case LB_ADDSTRING:
        case LB_INSERTSTRING:
            result = Default(message, wParam, lParam);
            if (result != LB_ERR && result != LB_ERRSPACE && lParam) {
                const int width = Measure(reinterpret_cast<const wchar_t*>(lParam));
                if (width > Extent()) SetExtent(width);
            }
            return true;
        case LB_RESETCONTENT:
            result = Default(message, wParam, lParam);
            SetExtent(0);
            return true;
        case LB_DELETESTRING: {
            const int width = MeasureItem(static_cast<int>(wParam));
            result = Default(message, wParam, lParam);
            if (result != LB_ERR && width >= Extent()) {
                // The widest string may have gone: find the next widest.
                int widest = 0;
                for (int i = 0; i < static_cast<int>(result); ++i) widest = std::max(widest, MeasureItem(i));
                SetExtent(widest);
            }
            return true;
        }
        default:
            return false;
    }
}

FavoritePage::FavoritePage(const Lumo::Data::AllData& data)
    : PageBase(L""),
      saved_(std::make_shared<Lumo::Data::Favorites>(data.favorites ? *data.favorites
                                                                    : Lumo::Data::Favorites())),
      edited_(std::make_shared<Lumo::Data::Favorites>(*saved_)) {}

FavoritePage::~FavoritePage() = default;

bool FavoritePage::Modified() const {
    return edited_->revision != saved_->revision || edited_->folders != saved_->folders;
}

void FavoritePage::CreateControls() {
    list_ = std::make_unique<FolderListBox>(Window(), kList, Scale(200), Scale(200));
    struct Button {
        int id, icon;
        const wchar_t* tooltip;
    };
    const HIMAGELIST images = System::MenuImages();
    for (const Button& b :
         {Button{kRemove, 8, L"Remove folder from the list"}, Button{kMoveUp, 9, L"Move up"},
          Button{kMoveDown, 10, L"Move down"}, Button{kSave, 14, L"Save modification"}}) {
        CButtonST& button = AddIconButton(b.id, L"", b.tooltip, kButtonSide, kButtonSide);
        button.SetIcon(images, b.icon, b.icon);
        button.SetFlat(true);
        // Flat buttons show no border until hovered: the focus rectangle is
        // what tells a keyboard user where Tab went.
        button.SetFocusRectInFlat(true);
        if (b.id == kRemove) AddHeader(kSeparator, L"", kButtonSide, 8);
    }
    *edited_ = *saved_;
    Fill();
}

void FavoritePage::DefineLayout() {
    auto root = NewRoot(Horizontal);
    Append(root, ControlItem(kList, Stretch));
    auto buttons = NewPane(Vertical, FixedWidth, 0, 3);
    Append(buttons, ControlItem(kRemove, FixedSize));
    Append(buttons, ControlItem(kSeparator, FixedSize));
    Append(buttons, ControlItem(kMoveUp, FixedSize));
    Append(buttons, ControlItem(kMoveDown, FixedSize));
    Append(buttons, GrowingSpace(Vertical));
    Append(buttons, ControlItem(kSave, FixedSize));
    Append(root, buttons);
}

bool FavoritePage::OnCommand(int id, int code, HWND) {
    if (id == kList) {
        if (code == LBN_SELCHANGE) UpdateButtons();
        return true;
    }
    if (code != BN_CLICKED) return false;
    switch (id) {
        case kRemove:
            Remove();
            return true;
        case kMoveUp:
            Move(true);
            return true;
        case kMoveDown:
            Move(false);
            return true;
        case kSave:
            Save();
            return true;
        default:
            return false;
    }
}

int FavoritePage::Count() const {
    const LRESULT count = ::SendMessageW(list_->Window(), LB_GETCOUNT, 0, 0);
    return count == LB_ERR ? 0 : static_cast<int>(count);
}

std::wstring FavoritePage::ItemText(int index) const {
    HWND list = list_->Window();
    const LRESULT length = ::SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT got =
        ::SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got == LB_ERR ? 0 : static_cast<size_t>(got));
    return text;
}

void FavoritePage::Fill() {
    HWND list = list_->Window();
    ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (std::size_t i = 0; i < edited_->folders.size(); ++i)
        ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(edited_->folders.c_str(i)));
    UpdateButtons();
}

void FavoritePage::UpdateButtons() {
    HWND focus = ::GetFocus();
    HWND list = list_->Window();
    const int selected = static_cast<int>(::SendMessageW(list, LB_GETSELCOUNT, 0, 0));
    const auto enable = [&](int id, bool on) { ::EnableWindow(::GetDlgItem(Window(), id), on); };
    enable(kRemove, selected > 0);
    bool up = false, down = false;
    if (selected == 1) {
        int index = -1;
        ::SendMessageW(list, LB_GETSELITEMS, 1, reinterpret_cast<LPARAM>(&index));
        up = index > 0;
        down = index >= 0 && index < Count() - 1;
    }
    enable(kMoveUp, up);
    enable(kMoveDown, down);
    enable(kSave, Modified());
    // A button that was just disabled cannot keep the focus; give it back.
    if (focus && ::IsWindow(focus) && ::IsWindowEnabled(focus))
        ::SetFocus(focus);
    else if (focus && ::IsChild(Window(), focus))
        ::SetFocus(list);
}

void FavoritePage::Sync() {
    edited_->folders.clear();
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        std::wstring text = ItemText(i);
        if (std::find(edited_->folders.begin(), edited_->folders.end(), text) == edited_->folders.end())
            edited_->folders.push_back(text);
    }
}

void FavoritePage::Remove() {
    HWND list = list_->Window();
    const int selected = static_cast<int>(::SendMessageW(list, LB_GETSELCOUNT, 0, 0));
    if (selected <= 0) return;
    const wchar_t* question = selected == 1 ? L"Do you want to remove the selected folder from the list?"
                                            : L"Do you want to remove these selected folders from the list?";
    if (::MessageBoxW(Window(), question, L"Quelvar", MB_OKCANCEL) != IDOK) return;
    std::vector<int> indexes(static_cast<size_t>(selected));
    const LRESULT got = ::SendMessageW(list, LB_GETSELITEMS, static_cast<WPARAM>(selected),
                                       reinterpret_cast<LPARAM>(indexes.data()));
    indexes.resize(got == LB_ERR ? 0 : static_cast<size_t>(got));
    std::sort(indexes.rbegin(), indexes.rend());
    for (int index : indexes) ::SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
    Sync();
    UpdateButtons();
}

void FavoritePage::Move(bool up) {
    HWND list = list_->Window();
    if (::SendMessageW(list, LB_GETSELCOUNT, 0, 0) != 1) return;
    int selected = -1;
    ::SendMessageW(list, LB_GETSELITEMS, 1, reinterpret_cast<LPARAM>(&selected));
    const int other = up ? selected - 1 : selected + 1;
    if (selected < 0 || other < 0 || other >= Count()) return;
    // The neighbour jumps over the selected entry, which keeps its selection.
    const std::wstring text = ItemText(other);
    ::SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(other), 0);
    const int at = selected >= Count() ? -1 : selected;
    ::SendMessageW(list, LB_INSERTSTRING, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(text.c_str()));
    Sync();
    UpdateButtons();
}

SaveOutcome FavoritePage::Save() {
    const auto commit = [this] { return Lumo::Data::DataCenter::Instance()->CommitFavorites(edited_); };
    const SaveOutcome outcome = CommitEdits(Window(), commit, kRefused, kCannotSave);
    if (outcome != SaveOutcome::Saved) return outcome;
    *saved_ = *edited_;
    UpdateButtons();
    return outcome;
}

bool FavoritePage::CanLeavePage() {
    return CanLeaveEditingPage(
        Window(), Modified(), L"Favorites list has been modified, do you want to save it?",
        [this] { return Save(); },
        [this] {
            *edited_ = *saved_;
            Fill();
        });
}

}  // namespace Lumo::Options

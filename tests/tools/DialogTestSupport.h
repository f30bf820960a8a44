// What the two tool dialog tests share: the process-wide objects (for the
// icon buttons), the real clipboard, and a selection made of plain paths.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "system/Selection.h"
#include "support/DialogDriver.h"
#include "support/Screenshot.h"
#include "server/GlobalImpl.h"

namespace QuelvarTest {

class ToolDialogTest : public ::testing::Test {
protected:
    void SetUp() override { GlobalImpl::Create(::GetModuleHandleW(nullptr)); }
    void TearDown() override { GlobalImpl::Destroy(); }
};

inline std::wstring ClipboardText() {
    std::wstring text;
    if (!::OpenClipboard(nullptr)) return L"<clipboard busy>";
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) {
            text = chars;
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return text;
}

inline void PutOnClipboard(const std::wstring& text) {
    if (!::OpenClipboard(nullptr)) return;
    ::EmptyClipboard();
    if (HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t))) {
        memcpy(::GlobalLock(block), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        ::GlobalUnlock(block);
        if (!::SetClipboardData(CF_UNICODETEXT, block)) ::GlobalFree(block);
    }
    ::CloseClipboard();
}

inline std::shared_ptr<Data::SelectedItemsInfo> Selection(
    const std::vector<std::pair<Data::ItemKind, std::wstring>>& items) {
    auto selection = std::make_shared<Data::SelectedItemsInfo>();
    for (const auto& [kind, path] : items) {
        auto info = std::make_shared<Data::SelectedItemsInfo::OneItemInfo>();
        info->kind = kind;
        info->path = path;
        selection->itemInfos.push_back(info);
    }
    return selection;
}

// One control as the user sees it when the dialog opens.
struct ControlState {
    int id;
    const wchar_t* text;
    bool checked;
    bool enabled;
};

inline void ExpectControls(const DialogDriver& dialog, const std::vector<ControlState>& table) {
    for (const ControlState& c : table) {
        ASSERT_TRUE(dialog.Exists(c.id)) << c.id;
        EXPECT_EQ(dialog.Text(c.id), c.text) << c.id;
        EXPECT_EQ(dialog.Checked(c.id), c.checked) << c.id;
        EXPECT_EQ(dialog.Enabled(c.id), c.enabled) << c.id;
        EXPECT_TRUE(dialog.Visible(c.id)) << c.id;
    }
}

// No two visible controls overlap, and all lie inside the client area.
inline void ExpectNoOverlap(const DialogDriver& dialog) {
    RECT client{};
    ::GetClientRect(dialog.Dialog(), &client);
    std::vector<std::pair<int, RECT>> rects;
    for (int id : dialog.ChildIds()) {
        if (!dialog.Visible(id)) continue;
        RECT r = dialog.Rect(id);
        if (dialog.ClassName(id) == L"ComboBox") r.bottom = r.top + 24 * ScreenDpi() / 96;  // closed height
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom) << id;
        for (const auto& [other, o] : rects) {
            RECT both{};
            EXPECT_FALSE(::IntersectRect(&both, &r, &o)) << id << " overlaps " << other;
        }
        rects.emplace_back(id, r);
    }
}

}  // namespace QuelvarTest

// Measuring and drawing with the font and settings kept for the open menu give
// exactly the sizes and pixels of making a context and a font for every entry,
// and a menu opened after the menu font or the keyboard cues changed uses the
// new ones.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>

#include "EngineTestSupport.h"
#include "server/GlobalImpl.h"

using namespace Lumo::ShellExt;

using namespace QuelvarTest;
using EngineTest::Item;

namespace {

struct Limit {
    bool on;
    int width;
};

NONCLIENTMETRICSW Metrics() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = 500;
    EXPECT_TRUE(::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, 500, &metrics, 0));
    return metrics;
}

// The straightforward measurement: a context and a font made for the one entry.
SIZE ReferenceSize(const std::wstring& label, const Limit& limit) {
    NONCLIENTMETRICSW metrics = Metrics();
    Lumo::Win::UniqueDc dc(::CreateCompatibleDC(nullptr));
    Lumo::Win::UniqueGdiObject font(::CreateFontIndirectW(&metrics.lfMenuFont));
    Lumo::Win::SelectedObject selected(dc.get(), font.get());
    SIZE size{};
    ::GetTextExtentPoint32W(dc.get(), label.c_str(), static_cast<int>(label.size()), &size);
    POINT extent{size.cx, size.cy};
    ::LPtoDP(dc.get(), &extent, 1);
    LONG width = extent.x + extent.y + 3;
    if (limit.on) width = static_cast<LONG>(std::min<UINT>(width, limit.width));
    return SIZE{width, std::max<LONG>(extent.y + 4, metrics.iMenuHeight)};
}

// The straightforward drawing into a canvas prepared as a menu prepares it,
// every setting read afresh.
Canvas ReferenceDrawing(const OddBase& item, UINT state, int width, int height, const Limit& limit) {
    Canvas canvas(width, height, ::GetSysColor(COLOR_MENU));
    Lumo::Win::UniqueGdiObject font = MenuFont();
    Lumo::Win::SelectedObject selectedFont(canvas.Dc(), font.get());
    HDC dc = canvas.Dc();
    ::SetTextColor(dc, ::GetSysColor(COLOR_MENUTEXT));
    const bool selected = state & ODS_SELECTED, grayed = state & ODS_GRAYED;
    if (selected) ::SetTextColor(dc, ::GetSysColor(grayed ? COLOR_GRAYTEXT : COLOR_HIGHLIGHTTEXT));
    ::SetBkColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_MENU));
    RECT r{0, 0, width, height};
    if (item.iconIndex != -1) {
        ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE | ETO_CLIPPED, &r, nullptr, 0, nullptr);
        ::ImageList_DrawEx(GlobalImpl::MenuImages(), item.iconIndex, dc, 3, (height - 16) / 2, 16, 16,
                           CLR_NONE, CLR_NONE, ILD_NORMAL);
        r.left = 3 + 16;
    }
    SIZE text{};
    ::GetTextExtentPoint32W(dc, item.label.c_str(), static_cast<int>(item.label.size()), &text);
    RECT box{3 + 16 + 3, std::max<LONG>(0, (height - text.cy) / 2), width - 4, height};
    if (limit.on) box.right = std::min<LONG>(box.right, limit.width);
    ::ExtTextOutW(dc, box.left, box.top, ETO_OPAQUE | ETO_CLIPPED, &r, nullptr, 0, nullptr);
    BOOL cues = TRUE;
    ::SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &cues, 0);
    const UINT format =
        DT_EXPANDTABS | DT_PATH_ELLIPSIS | ((state & ODS_NOACCEL) && !cues ? DT_HIDEPREFIX : 0);
    const auto drawText = [&](COLORREF color, RECT place) {
        ::SetTextColor(dc, color);
        ::DrawTextW(dc, item.label.c_str(), static_cast<int>(item.label.size()), &place, format);
    };
    if (grayed) {
        ::SetBkMode(dc, TRANSPARENT);
        if (!selected)
            drawText(RGB(255, 255, 255), RECT{box.left + 1, box.top + 1, box.right + 1, box.bottom + 1});
        drawText(RGB(128, 128, 128), box);
    } else {
        ::DrawTextW(dc, item.label.c_str(), static_cast<int>(item.label.size()), &box, format);
    }
    ::GdiFlush();
    return canvas;
}

// Sets the menu font height and the keyboard cues for the scope, without
// telling other windows, and puts both back.
class MenuSettings {
public:
    MenuSettings(LONG fontHeight, BOOL cues) : metrics_(Metrics()) {
        ::SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &cues_, 0);
        NONCLIENTMETRICSW changed = metrics_;
        changed.lfMenuFont.lfHeight = fontHeight;
        EXPECT_TRUE(::SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, 500, &changed, 0));
        EXPECT_TRUE(
            ::SystemParametersInfoW(SPI_SETKEYBOARDCUES, 0, reinterpret_cast<void*>(INT_PTR{cues}), 0));
    }
    ~MenuSettings() {
        ::SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, 500, &metrics_, 0);
        ::SystemParametersInfoW(SPI_SETKEYBOARDCUES, 0, reinterpret_cast<void*>(INT_PTR{cues_}), 0);
    }

private:
    NONCLIENTMETRICSW metrics_;
    BOOL cues_ = TRUE;
};

class MenuMetricsTest : public EngineTest::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        items_ = {
            Item(L"Alpha"), Item(L"&Options...", 0, 16, 'o'),
            Item(L"C:\\Program Files\\Some Vendor\\A Rather Long Folder Name\\Deeper Still\\Final", 0, 7),
            Item(L"Disabled &Entry", OddBase::ItemDisabled, 3, 'e')};
        FillMainSubmenu({items_.begin(), items_.end()});
    }
    // A fresh handler (it reads the width limit once) showing the main submenu.
    HMENU Show(ShellHost& host) {
        host.ReleaseHandler();
        host.ResetMenu();
        ShowContextMenu(host);
        return host.OpenQuelvarSubmenu();
    }
    // Every entry measured and drawn in every state as the straightforward code does it.
    void ExpectSameAsReference(ShellHost& host, HMENU main, const Limit& limit) {
        for (size_t i = 0; i < items_.size(); ++i) {
            const UINT position = static_cast<UINT>(i + 1);
            SCOPED_TRACE(testing::Message()
                         << "entry " << position << ", limit " << limit.on << " " << limit.width);
            const MEASUREITEMSTRUCT measured = host.Measure(main, position);
            const SIZE expected = ReferenceSize(items_[i]->label, limit);
            EXPECT_EQ(static_cast<UINT>(expected.cx), measured.itemWidth);
            EXPECT_EQ(static_cast<UINT>(expected.cy), measured.itemHeight);
            for (UINT state : {0u, UINT{ODS_SELECTED}, UINT{ODS_GRAYED | ODS_DISABLED},
                               UINT{ODS_GRAYED | ODS_SELECTED}, UINT{ODS_NOACCEL}}) {
                for (int height : {static_cast<int>(measured.itemHeight), 12}) {
                    Canvas drawn = host.Draw(main, position, state, 400, height);
                    EXPECT_TRUE(drawn.SameAs(ReferenceDrawing(*items_[i], state, 400, height, limit)))
                        << "state " << state << ", height " << height;
                }
            }
        }
    }

    std::vector<std::shared_ptr<EngineTest::TestItem>> items_;
};

TEST_F(MenuMetricsTest, SizesAndPixelsAreThoseOfAFontMadeForEveryEntry) {
    ShellHost host;
    for (const Limit& limit : {Limit{true, 300}, Limit{false, 300}, Limit{true, 120}}) {
        EngineScope::SetMenuWidthLimit(limit.on, limit.width);
        ExpectSameAsReference(host, Show(host), limit);
        host.CloseAll();
    }
}

TEST_F(MenuMetricsTest, TheNextMenuUsesAChangedMenuFontAndKeyboardCues) {
    ShellHost host;
    HMENU main = Show(host);
    const MEASUREITEMSTRUCT before = host.Measure(main, 2);
    host.CloseAll();
    {
        BOOL cues = TRUE;
        ::SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &cues, 0);
        MenuSettings settings(Metrics().lfMenuFont.lfHeight * 2, !cues);
        main = Show(host);
        EXPECT_GT(host.Measure(main, 2).itemHeight, before.itemHeight);
        ExpectSameAsReference(host, main, Limit{true, 300});
        host.CloseAll();
    }
    main = Show(host);
    EXPECT_EQ(before.itemHeight, host.Measure(main, 2).itemHeight);
    EXPECT_EQ(before.itemWidth, host.Measure(main, 2).itemWidth);
    host.CloseAll();
}

}  // namespace

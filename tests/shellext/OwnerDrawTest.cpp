// Owner drawing as a user sees it: sizes from the menu font and the width
// limit, the invisible first entry, shortened long labels, grayed entries
// with and without their shadow, the icon column, and typed mnemonics.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "shellext/GotoFavorite.h"
#include "shellext/MenuEngine.h"

using namespace ShellExt;

using namespace QuelvarTest;
using EngineTest::Calls;
using EngineTest::Item;

namespace {

constexpr wchar_t kLongLabel[] =
    L"C:\\Program Files\\Some Vendor Name\\A Rather Long Folder Name\\Another Level Of Folders\\Deeper "
    L"Still\\Final Folder";
constexpr int kTextLeft = 3 + 16 + 3;  // margin, icon column, margin
constexpr COLORREF kShadow = RGB(255, 255, 255);
constexpr COLORREF kGray = RGB(128, 128, 128);

SIZE TextSize(const std::wstring& text) {
    Canvas canvas(4, 4, 0);
    Lumo::Win::UniqueGdiObject font = MenuFont();
    HGDIOBJ old = ::SelectObject(canvas.Dc(), font.get());
    SIZE size{};
    ::GetTextExtentPoint32W(canvas.Dc(), text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(canvas.Dc(), old);
    return size;
}

// Changes one system colour for the scope and puts the old one back.
class SystemColor {
public:
    SystemColor(int element, COLORREF color) : element_(element), old_(::GetSysColor(element)) {
        ::SetSysColors(1, &element_, &color);
    }
    ~SystemColor() { ::SetSysColors(1, &element_, &old_); }

private:
    int element_;
    COLORREF old_;
};

class OwnerDrawTest : public EngineTest::EngineFixture {
protected:
    // A fresh handler (its data snapshot is read once) showing the main submenu.
    HMENU Show(ShellHost& host) {
        host.ReleaseHandler();
        host.ResetMenu();
        ShowContextMenu(host);
        return host.OpenQuelvarSubmenu();
    }
    static COLORREF Menu() { return ::GetSysColor(COLOR_MENU); }
};

TEST_F(OwnerDrawTest, SizesComeFromTheMenuFontAndTheWidthLimit) {
    FillMainSubmenu({Item(L"Alpha"), Item(kLongLabel)});
    ShellHost host;
    HMENU main = Show(host);
    ASSERT_EQ(2, host.Entries(main)[0].item->kind);

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0));
    const SIZE alpha = TextSize(L"Alpha");
    MEASUREITEMSTRUCT measured = host.Measure(main, 1);
    EXPECT_EQ(static_cast<UINT>(alpha.cx + alpha.cy + 3), measured.itemWidth);
    EXPECT_EQ(static_cast<UINT>(std::max<LONG>(alpha.cy + 4, metrics.iMenuHeight)), measured.itemHeight);

    // The invisible first entry takes no space at all.
    MEASUREITEMSTRUCT top = host.Measure(main, 0);
    EXPECT_EQ(0u, top.itemWidth);
    EXPECT_EQ(0u, top.itemHeight);

    // A label wider than the limit (300 by default) is measured at the limit.
    const SIZE longText = TextSize(kLongLabel);
    ASSERT_GT(longText.cx, 300);
    EXPECT_EQ(300u, host.Measure(main, 2).itemWidth);

    EngineScope::SetMenuWidthLimit(true, 200);
    main = Show(host);
    EXPECT_EQ(200u, host.Measure(main, 2).itemWidth);
    EXPECT_EQ(static_cast<UINT>(alpha.cx + alpha.cy + 3), host.Measure(main, 1).itemWidth);

    EngineScope::SetMenuWidthLimit(false, 200);
    main = Show(host);
    EXPECT_EQ(static_cast<UINT>(longText.cx + longText.cy + 3), host.Measure(main, 2).itemWidth);
    host.CloseAll();
}

TEST_F(OwnerDrawTest, ALongLabelIsDrawnShortenedWithPathEllipsisInsideTheLimit) {
    FillMainSubmenu({Item(kLongLabel)});
    ShellHost host;
    HMENU main = Show(host);
    const int width = 700, height = 20;
    Canvas drawn = host.Draw(main, 1, 0, width, height);
    RECT ink = drawn.InkBounds(Menu());
    EXPECT_GE(ink.left, kTextLeft);
    EXPECT_LE(ink.right, 300);

    // What the label looks like shortened in the middle, drawn in the same box.
    const SIZE text = TextSize(kLongLabel);
    RECT box{kTextLeft, std::max<LONG>(0, (height - text.cy) / 2), 300, height};
    std::vector<wchar_t> buffer(kLongLabel, kLongLabel + ARRAYSIZE(kLongLabel));
    buffer.resize(buffer.size() + 8, L'\0');
    Canvas expected(width, height, Menu());
    {
        Lumo::Win::UniqueGdiObject font = MenuFont();
        HGDIOBJ old = ::SelectObject(expected.Dc(), font.get());
        ::SetTextColor(expected.Dc(), ::GetSysColor(COLOR_MENUTEXT));
        ::SetBkColor(expected.Dc(), Menu());
        ::DrawTextW(expected.Dc(), buffer.data(), -1, &box,
                    DT_EXPANDTABS | DT_PATH_ELLIPSIS | DT_MODIFYSTRING);
        ::SelectObject(expected.Dc(), old);
    }
    const std::wstring shortened = buffer.data();
    EXPECT_NE(std::wstring::npos, shortened.find(L"...")) << shortened;
    EXPECT_NE(std::wstring::npos, shortened.find(L"Final Folder")) << shortened;
    EXPECT_TRUE(drawn.SameAs(expected))
        << "drawn text is not \"" << std::string(shortened.begin(), shortened.end()) << "\"";

    // Without the limit the whole label is drawn.
    EngineScope::SetMenuWidthLimit(false, 300);
    main = Show(host);
    Canvas full = host.Draw(main, 1, 0, width, height);
    EXPECT_GT(full.InkBounds(Menu()).right, 300);
    EXPECT_GE(full.InkBounds(Menu()).right, kTextLeft + text.cx - 2);
    host.CloseAll();
}

TEST_F(OwnerDrawTest, AGrayedEntryHasAWhiteShadowOnlyWhenNotSelected) {
    // The shadow is white: it shows only on a menu colour that is not white.
    SystemColor menuColor(COLOR_MENU, RGB(0xD4, 0xD0, 0xC8));
    FillMainSubmenu({Item(L"Disabled Entry", OddBase::ItemDisabled)});
    ShellHost host;
    HMENU main = Show(host);
    auto entry = host.Entries(main)[1];
    EXPECT_TRUE(entry.state & MFS_GRAYED);

    Canvas plain = host.Draw(main, 1, ODS_GRAYED | ODS_DISABLED, 200, 20);
    ASSERT_GT(plain.Count(kGray), 0);
    ASSERT_GT(plain.Count(kShadow), 0);
    // The shadow lies one pixel down and right of the gray text.
    RECT gray{200, 20, 0, 0}, shadow{200, 20, 0, 0};
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 200; ++x) {
            RECT* bounds = plain.Pixel(x, y) == kGray     ? &gray
                           : plain.Pixel(x, y) == kShadow ? &shadow
                                                          : nullptr;
            if (!bounds) continue;
            bounds->left = std::min<LONG>(bounds->left, x);
            bounds->top = std::min<LONG>(bounds->top, y);
            bounds->right = std::max<LONG>(bounds->right, x + 1);
            bounds->bottom = std::max<LONG>(bounds->bottom, y + 1);
        }
    }
    EXPECT_EQ(gray.right + 1, shadow.right);
    EXPECT_EQ(gray.bottom + 1, shadow.bottom);
    EXPECT_GE(gray.left, kTextLeft);

    Canvas selected = host.Draw(main, 1, ODS_GRAYED | ODS_DISABLED | ODS_SELECTED, 200, 20);
    EXPECT_GT(selected.Count(kGray), 0);
    EXPECT_EQ(0, selected.Count(kShadow));
    EXPECT_EQ(::GetSysColor(COLOR_HIGHLIGHT), selected.Pixel(1, 1));
    host.CloseAll();
}

TEST_F(OwnerDrawTest, AnEntryWithoutAnIconKeepsTheIconColumn) {
    FillMainSubmenu({Item(L"Alpha"), Item(L"Alpha", 0, 16)});
    ShellHost host;
    HMENU main = Show(host);
    Canvas bare = host.Draw(main, 1, 0, 200, 20);
    Canvas withIcon = host.Draw(main, 2, 0, 200, 20);
    RECT ink = bare.InkBounds(Menu());
    ASSERT_GT(ink.right, ink.left);
    EXPECT_GE(ink.left, kTextLeft);
    // The icon paints into the column; the text sits at the same place either way.
    int iconPixels = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 3; x < 19; ++x) iconPixels += withIcon.Pixel(x, y) != Menu();
    EXPECT_GT(iconPixels, 0);
    int differences = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = kTextLeft; x < 200; ++x) differences += bare.Pixel(x, y) != withIcon.Pixel(x, y);
    EXPECT_EQ(0, differences);
    host.CloseAll();
}

TEST_F(OwnerDrawTest, TypedCharactersExecuteAUniqueMnemonicAndCycleThroughShared) {
    FillMainSubmenu({Item(L"&Options...", 0, 16, 'o'), Item(L"&Beta", 0, -1, 'b'),
                     Item(L"&Sierra", 0, -1, 's'), Item(L"Sierra &Two", 0, -1, 's'),
                     Item(L"&Sierra Three", 0, -1, 's'), Item(L"Plain")});
    ShellHost host;
    HMENU main = Show(host);
    auto menuChar = [&](WCHAR character, HMENU menu, WORD flags = MF_POPUP) {
        LRESULT result = -1;
        EXPECT_EQ(S_OK, host.Handler()->HandleMenuMsg2(WM_MENUCHAR, MAKEWPARAM(character, flags),
                                                       reinterpret_cast<LPARAM>(menu), &result));
        return result;
    };
    auto highlight = [&](UINT position, bool on) {
        MENUITEMINFOW info{sizeof(info)};
        info.fMask = MIIM_STATE;
        info.fState = on ? MFS_HILITE : 0;
        ::SetMenuItemInfoW(main, position, TRUE, &info);
    };
    EXPECT_EQ(MAKELRESULT(1, MNC_EXECUTE), menuChar(L'o', main));
    EXPECT_EQ(MAKELRESULT(1, MNC_EXECUTE), menuChar(L'O', main));
    EXPECT_EQ(MAKELRESULT(2, MNC_EXECUTE), menuChar(L'b', main));
    EXPECT_EQ(0, menuChar(L'x', main));
    EXPECT_EQ(MAKELRESULT(3, MNC_SELECT), menuChar(L's', main));
    highlight(3, true);
    EXPECT_EQ(MAKELRESULT(4, MNC_SELECT), menuChar(L'S', main));
    highlight(3, false);
    highlight(4, true);
    EXPECT_EQ(MAKELRESULT(5, MNC_SELECT), menuChar(L's', main));
    highlight(4, false);
    highlight(5, true);
    EXPECT_EQ(MAKELRESULT(3, MNC_SELECT), menuChar(L's', main));  // wraps to the first
    highlight(5, false);
    Lumo::Win::UniqueMenu empty(::CreatePopupMenu());
    EXPECT_EQ(0, menuChar(L's', empty.get()));
    host.CloseAll();

    // In a real menu loop (a fresh menu) the typed character executes the only entry that has it.
    host.ReleaseHandler();
    host.ResetMenu();
    ShowContextMenu(host);
    UINT result = host.TrackMenu(
        {host.Hover(host.Menu(), host.QuelvarPosition()), host.Key(VK_RIGHT), host.Char(L'o')});
    EXPECT_FALSE(host.LoopForcedToEnd());
    ASSERT_EQ(host.FirstCommandId(), result);
    EXPECT_EQ(S_OK, host.Invoke(result - host.FirstCommandId()));
    EXPECT_EQ(std::vector<std::wstring>{L"execute:&Options..."}, Calls());
    ASSERT_FALSE(host.MenuCharResults().empty());
    EXPECT_EQ(MAKELRESULT(1, MNC_EXECUTE), host.MenuCharResults().back());
}

}  // namespace

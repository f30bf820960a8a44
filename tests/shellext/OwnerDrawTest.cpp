// Owner drawing as a user sees it: sizes from the menu font and the width
// limit, the invisible first entry, shortened long labels, grayed entries
// with and without their shadow, the icon column, typed mnemonics, and the
// real menu loop in light, dark and high-contrast colours at 96, 144 and 192 DPI.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "shellext/GotoFavorite.h"
#include "shellext/MenuEngine.h"
#include "shellext/MenuTheme.h"
#include "shellext/ThreadMenuState.h"
#include "support/Screenshot.h"

using namespace Lumo::ShellExt;

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

// Colour modes and DPIs ------------------------------------------------------------

// WCAG contrast ratio of two colours.
double Contrast(COLORREF a, COLORREF b) {
    auto luminance = [](COLORREF c) {
        auto channel = [](int v) {
            const double s = v / 255.0;
            return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(GetRValue(c)) + 0.7152 * channel(GetGValue(c)) +
               0.0722 * channel(GetBValue(c));
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool HighContrastForTest() { return true; }

// The user's colour mode for the scope. Wine cannot switch high contrast on
// (SPI_SETHIGHCONTRAST fails with ERROR_INVALID_SPI_VALUE), so that mode is
// reported by a probe while the system colours take the "High Contrast Black" scheme's.
class ColourModeScope {
public:
    explicit ColourModeScope(MenuMode mode) : dark_(mode == MenuMode::Dark) {
        const DWORD light = 0;
        if (dark_)
            ::RegSetKeyValueW(HKEY_CURRENT_USER, kPersonalize, kValue, REG_DWORD, &light, sizeof(light));
        if (mode != MenuMode::HighContrast) return;
        SetHighContrastProbe(HighContrastForTest);
        const std::pair<int, COLORREF> scheme[] = {{COLOR_MENU, RGB(0, 0, 0)},
                                                   {COLOR_MENUTEXT, RGB(255, 255, 255)},
                                                   {COLOR_HIGHLIGHT, RGB(0x1A, 0xEB, 0xFF)},
                                                   {COLOR_HIGHLIGHTTEXT, RGB(0, 0, 0)},
                                                   {COLOR_GRAYTEXT, RGB(0x3F, 0xF2, 0x3F)}};
        for (const auto& [element, color] : scheme) colors_.emplace_back(element, color);
    }
    ~ColourModeScope() {
        SetHighContrastProbe(nullptr);
        if (dark_) ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kPersonalize, kValue);
    }

private:
    static constexpr wchar_t kPersonalize[] =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
    static constexpr wchar_t kValue[] = L"AppsUseLightTheme";
    bool dark_;
    std::list<SystemColor> colors_;
};

// What the screen shows of one menu window.
Canvas CaptureScreen(const RECT& area) {
    Canvas canvas(area.right - area.left, area.bottom - area.top, 0);
    HDC screen = ::GetDC(nullptr);
    ::BitBlt(canvas.Dc(), 0, 0, canvas.Width(), canvas.Height(), screen, area.left, area.top, SRCCOPY);
    ::ReleaseDC(nullptr, screen);
    ::GdiFlush();
    return canvas;
}

// FNV-1a over the pixels of a canvas.
unsigned PixelHash(const Canvas& canvas) {
    unsigned hash = 2166136261u;
    for (int y = 0; y < canvas.Height(); ++y)
        for (int x = 0; x < canvas.Width(); ++x) hash = (hash ^ canvas.Pixel(x, y)) * 16777619u;
    return hash;
}

// The light menu at 96 DPI (the first entry highlighted, then the disabled
// one), captured with the drawing of before the colour modes existed.
constexpr unsigned kLightAt96Reference[] = {768547895u, 943134767u};

class MenuLooks : public OwnerDrawTest, public ::testing::WithParamInterface<MenuMode> {};

TEST_P(MenuLooks, EntriesMatchTheModeAndTheDpi) {
    const MenuMode mode = GetParam();
    const int dpi = ScreenDpi();
    const std::map<int, int> iconSides{{96, 16}, {144, 24}, {192, 32}};
    ASSERT_EQ(1u, iconSides.count(dpi));
    const int side = iconSides.at(dpi);
    ColourModeScope scope(mode);
    FillMainSubmenu({Item(L"My &Documents", 0, 7), nullptr,
                     Item(L"Disabled Entry", OddBase::ItemDisabled, 16),
                     Item(L"Shell &Tools", OddBase::ItemHasSubmenu, 21)});
    ShellHost host;
    host.ResetMenu();
    ShowContextMenu(host);
    HMENU main = host.QuelvarSubmenu();
    // Two pictures of the open submenu: the first entry highlighted, then the disabled one.
    const char* names[] = {"light", "dark", "highcontrast"};
    const std::string baseName = std::string("menu-") + names[static_cast<int>(mode)];
    std::vector<Canvas> shots;
    std::vector<RECT> rows;
    std::vector<ShellHost::Step> steps{host.Hover(host.Menu(), host.QuelvarPosition()), host.Key(VK_RIGHT)};
    int highlightedTicks = 0;
    for (UINT position : {1u, 3u}) {
        // Hovered until the loop shows the entry highlighted, and read a tick
        // later: Wine puts what a window painted on the screen between messages.
        for (int attempt = 0; attempt < 8; ++attempt) {
            steps.push_back(host.Hover(main, position));
            steps.push_back(host.Do([&, position] {
                const size_t shot = position == 1 ? 0 : 1;
                if (shots.size() != shot) return;
                if (!(::GetMenuState(main, position, MF_BYPOSITION) & MF_HILITE)) {
                    highlightedTicks = 0;
                    return;
                }
                RECT row = host.EntryRect(main, position), window{};
                HWND menuWindow = ::WindowFromPoint(POINT{row.left + 2, row.top + 2});
                if (++highlightedTicks < 2 || !menuWindow || !::GetWindowRect(menuWindow, &window)) return;
                highlightedTicks = 0;
                shots.push_back(CaptureScreen(window));
                const std::string name = baseName + (position == 1 ? "" : "-disabled") + "-";
                SaveWindowPng(menuWindow, ScreenshotFolder() + std::wstring(name.begin(), name.end()) +
                                              std::to_wstring(dpi) + L"dpi.png");
                ::OffsetRect(&row, -window.left, -window.top);
                rows.push_back(row);
            }));
        }
    }
    steps.push_back(host.Key(VK_ESCAPE));
    steps.push_back(host.Key(VK_ESCAPE));
    host.TrackMenu(steps);
    ASSERT_EQ(2u, shots.size());

    const EntryColors normal = mode == MenuMode::Light
                                   ? EntryColors{::GetSysColor(COLOR_MENU), ::GetSysColor(COLOR_MENUTEXT)}
                                   : ColorsOf(mode, false, false);
    const EntryColors highlighted = mode == MenuMode::Light ? EntryColors{::GetSysColor(COLOR_HIGHLIGHT),
                                                                          ::GetSysColor(COLOR_HIGHLIGHTTEXT)}
                                                            : ColorsOf(mode, true, false);
    // The background at the left end of a row, and the strongest contrast of its text.
    auto look = [&](const Canvas& shot, const RECT& row) {
        const COLORREF background = shot.Pixel(row.left + 1, row.top + 1);
        double contrast = 1;
        for (int y = row.top; y < row.bottom; ++y)
            for (int x = row.left + 6 + side; x < row.right - side; ++x)
                contrast = std::max(contrast, Contrast(background, shot.Pixel(x, y)));
        return std::make_pair(background, contrast);
    };
    const auto [documentsHot, documentsHotContrast] = look(shots[0], rows[0]);
    const auto [documents, documentsContrast] = look(shots[1], rows[0]);
    const auto [disabled, disabledContrast] = look(shots[0], rows[1]);
    const auto [disabledHot, disabledHotContrast] = look(shots[1], rows[1]);
    EXPECT_EQ(normal.background, documents);
    EXPECT_EQ(highlighted.background, documentsHot);
    EXPECT_EQ(normal.background, disabled);
    EXPECT_EQ(mode == MenuMode::HighContrast ? normal.background : highlighted.background, disabledHot);
    EXPECT_GE(documentsContrast, 4.5);
    // The light menu keeps the system's highlight colours and its classic
    // gray for disabled text, whatever their contrast.
    if (mode != MenuMode::Light) {
        EXPECT_GE(documentsHotContrast, 4.5);
        EXPECT_GE(disabledContrast, 4.5);
        EXPECT_GE(disabledHotContrast, 4.5);
    }

    // The icon is drawn at the display's size from a list of that size, over the row's own background.
    int width = 0, height = 0;
    ASSERT_TRUE(::ImageList_GetIconSize(EngineScope::State().menuMetrics.Images(), &width, &height));
    EXPECT_EQ(side, width);
    EXPECT_EQ(side, height);
    const RECT& row = rows[0];
    const int iconTop = row.top + (row.bottom - row.top - side) / 2;
    int inkLines = 0;
    for (int y = iconTop; y < iconTop + side; ++y) {
        bool ink = false;
        for (int x = row.left + 3; x < row.left + 3 + side; ++x)
            ink = ink || shots[1].Pixel(x, y) != documents;
        inkLines += ink;
    }
    EXPECT_GT(inkLines, side * 3 / 4);
    // The round gear of the disabled entry leaves its corners to the background.
    const RECT& gearRow = rows[1];
    const int gearTop = gearRow.top + (gearRow.bottom - gearRow.top - side) / 2;
    EXPECT_EQ(disabled, shots[0].Pixel(gearRow.left + 3, gearTop));
    EXPECT_EQ(disabled, shots[0].Pixel(gearRow.left + 3 + side - 1, gearTop + side - 1));

    for (size_t shot = 0; mode == MenuMode::Light && dpi == 96 && shot < shots.size(); ++shot)
        EXPECT_EQ(kLightAt96Reference[shot], PixelHash(shots[shot]))
            << "the light menu looks as it always did";
}

std::string ModeName(const ::testing::TestParamInfo<MenuMode>& info) {
    return info.param == MenuMode::Light ? "Light" : info.param == MenuMode::Dark ? "Dark" : "HighContrast";
}

INSTANTIATE_TEST_SUITE_P(Modes, MenuLooks,
                         ::testing::Values(MenuMode::Light, MenuMode::Dark, MenuMode::HighContrast),
                         ModeName);

// The same rows at 144 and 192 DPI, in a run of this program at each.
TEST(MenuLooksAtDpi, HigherDpisShowTheSameRows) {
    if (ScreenDpi() != 96) GTEST_SKIP() << "runs the higher DPIs from 96 DPI";
    for (int dpi : {144, 192}) EXPECT_EQ(0u, RunSelfAtDpi(dpi, L"Modes/MenuLooks.*")) << dpi << " DPI";
}

}  // namespace

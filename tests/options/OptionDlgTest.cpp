// The Options dialog: its tabs with and without data, the page it opens on,
// the help button, the leave questions on tab change and OK, Cancel that asks
// nothing, and a screenshot of every page.
#include <string>
#include <vector>

#include "OptionsTestSupport.h"
#include "support/Screenshot.h"

using namespace QuelvarTest;
using namespace OptionsTest;

namespace {

const std::wstring kSaveQuestion = L"Quelvar|Favorites list has been modified, do you want to save it?";

using Lumo::Options::OptionData;

struct TabCase {
    OptionData what;
    int firstPage;
    std::vector<std::wstring> tabs;
    int shown;
};

class OptionTabs : public OptionsFixture, public ::testing::WithParamInterface<TabCase> {};

TEST_P(OptionTabs, OpenOnTheAskedPageOrTheFirst) {
    const TabCase& c = GetParam();
    OpenOptions open(c.what, c.firstPage, &helpOpened);
    ASSERT_TRUE(open.dialog.Dialog());
    EXPECT_EQ(c.tabs, open.Tabs());
    EXPECT_EQ(c.shown, open.SelectedTab());
    EXPECT_EQ(c.shown, open.VisiblePage());
    // The page fills the tab's area below the tab row.
    const RECT tab = open.dialog.Rect(1000);
    RECT page{};
    ::GetWindowRect(open.PageWindow(c.shown), &page);
    ::MapWindowPoints(nullptr, open.dialog.Dialog(), reinterpret_cast<POINT*>(&page), 2);
    EXPECT_GT(page.top, tab.top + 10);
    EXPECT_TRUE(page.left > tab.left && page.right < tab.right && page.bottom < tab.bottom);
    EXPECT_GT(page.bottom - page.top, (tab.bottom - tab.top) * 3 / 4);
    EXPECT_EQ(L"&Help Manual", open.dialog.Text(1001));
    EXPECT_EQ(L"Open help manual", open.dialog.TooltipText(1001));
    EXPECT_TRUE(open.dialog.Click(1001));
    EXPECT_EQ(1, helpOpened);
    if ((c.what == OptionData::CannotReadNow || c.what == OptionData::NoDataFolder) && c.shown < 2) {
        // A file that cannot be read now: the page says so, offers nothing to
        // edit, and OK leaves without a question.
        DialogDriver page = open.Page(c.shown);
        EXPECT_EQ(std::vector<int>{1000}, page.ChildIds());
        const wchar_t* says =
            c.what == OptionData::NoDataFolder ? L"nowhere to store them" : L"cannot be read now";
        EXPECT_NE(std::wstring::npos, page.Text(1000).find(says)) << page.Text(1000);
        EXPECT_EQ(c.what == OptionData::CannotReadNow,
                  page.Text(1000).find(L"in a moment") != std::wstring::npos);
        SaveWindowPng(open.dialog.Dialog(), ScreenshotFolder() + L"options-unreadable-" +
                                                std::to_wstring(c.shown) + L"-" +
                                                std::to_wstring(ScreenDpi()) + L".png");
        EXPECT_TRUE(open.dialog.Click(IDOK));
        ASSERT_TRUE(open.thread.Wait());
        EXPECT_EQ(0u, open.MessageCount());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, OptionTabs,
    ::testing::Values(
        TabCase{OptionData::Loaded, 0, {L"Favorites", L"Settings", L"Update", L"About"}, 0},
        TabCase{OptionData::Loaded, 3, {L"Favorites", L"Settings", L"Update", L"About"}, 3},
        TabCase{OptionData::Loaded, 7, {L"Favorites", L"Settings", L"Update", L"About"}, 0},
        TabCase{OptionData::NewerRelease, 0, {L"Update", L"About"}, 0},
        TabCase{OptionData::NewerRelease, 1, {L"Update", L"About"}, 1},
        // "User Settings..." without data: no such tab, so the first.
        TabCase{OptionData::NewerRelease, 3, {L"Update", L"About"}, 0},
        // Held or unreadable just now: titled "Options", the tabs stay.
        TabCase{OptionData::CannotReadNow, 0, {L"Favorites", L"Settings", L"Update", L"About"}, 0},
        TabCase{OptionData::CannotReadNow, 1, {L"Favorites", L"Settings", L"Update", L"About"}, 1},
        TabCase{OptionData::CannotReadNow, 3, {L"Favorites", L"Settings", L"Update", L"About"}, 3},
        TabCase{OptionData::NoDataFolder, 1, {L"Favorites", L"Settings", L"Update", L"About"}, 1}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

class OptionDialog : public OptionsFixture {};

TEST_F(OptionDialog, LeavingAnEditedPageAsksAndCancelKeepsTheEdit) {
    StoreFavorites({L"C:\\One", L"C:\\Two"});
    OpenOptions open(true, 0);
    DialogDriver favorites = open.Page(0);
    SelectEntries(favorites, 1000, {1});
    ASSERT_TRUE(favorites.Click(1003));  // move up
    const std::vector<std::wstring> edited{L"C:\\Two", L"C:\\One"};
    ASSERT_EQ(edited, ListEntries(favorites, 1000));

    open.thread.Answer(IDCANCEL);
    open.ClickTab(1);
    EXPECT_EQ(kSaveQuestion, open.LastMessage());
    EXPECT_EQ(0, open.SelectedTab());
    EXPECT_EQ(0, open.VisiblePage());
    EXPECT_EQ(edited, ListEntries(favorites, 1000));

    // OK asks too; Cancel there keeps the dialog open.
    open.thread.Answer(IDCANCEL);
    EXPECT_TRUE(open.dialog.Click(IDOK));
    EXPECT_EQ(2u, open.MessageCount());
    EXPECT_FALSE(open.thread.Finished());

    // "No" drops the edit and lets the user go.
    open.thread.Answer(IDNO);
    open.ClickTab(2);
    EXPECT_EQ(2, open.VisiblePage());
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\One", L"C:\\Two"}), ListEntries(favorites, 1000));
    EXPECT_TRUE(open.dialog.Click(IDOK));
    ASSERT_TRUE(open.thread.Wait());
    EXPECT_EQ(1, open.thread.Result());
    EXPECT_EQ(3u, open.MessageCount());
}

TEST_F(OptionDialog, CancelAfterEditsAsksNothingAndWritesNothing) {
    StoreFavorites({L"C:\\One", L"C:\\Two", L"C:\\Three"});
    const std::string before = DataFileBytes();
    for (int way = 0; way < 3; ++way) {
        OpenOptions open(true, 0);
        DialogDriver favorites = open.Page(0);
        SelectEntries(favorites, 1000, {0});
        ASSERT_TRUE(favorites.Click(1004));
        if (way == 0) open.dialog.Click(IDCANCEL);
        if (way == 1) open.dialog.PostKey(1000, VK_ESCAPE);
        if (way == 2) open.dialog.Close();
        ASSERT_TRUE(open.thread.Wait()) << way;
        EXPECT_EQ(2, open.thread.Result()) << way;
        EXPECT_EQ(0u, open.MessageCount()) << way;
    }
    EXPECT_EQ(before, DataFileBytes());
}

// One screenshot per page at the screen's DPI; no control of a page leaves
// its page or overlaps another.
void ShootEveryPage() {
    OpenOptions open(true, 0);
    ASSERT_TRUE(open.dialog.Dialog());
    const std::wstring names[] = {L"favorites", L"settings", L"update", L"about"};
    for (int i = 0; i < 4; ++i) {
        if (i > 0) open.ClickTab(i);
        ASSERT_EQ(i, open.VisiblePage());
        DialogDriver page = open.Page(i);
        RECT client{};
        ::GetClientRect(page.Dialog(), &client);
        std::vector<RECT> seen;
        for (int id : page.ChildIds()) {
            if (!page.Visible(id)) continue;
            const RECT r = page.Rect(id);
            EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom)
                << names[i] << " " << id;
            for (const RECT& o : seen) {
                RECT both{};
                EXPECT_FALSE(::IntersectRect(&both, &r, &o)) << names[i] << " " << id;
            }
            seen.push_back(r);
        }
        ::UpdateWindow(open.dialog.Dialog());
        SaveWindowPng(open.dialog.Dialog(), ScreenshotFolder() + L"options-" + names[i] + L"-" +
                                                std::to_wstring(ScreenDpi()) + L".png");
    }
}

TEST_F(OptionDialog, ScreenshotsOfEveryPage) {
    StoreFavorites({L"C:\\Users\\Public\\Documents", L"D:\\Projects\\Quelvar\\src\\options", L"E:\\Music"});
    WriteFileBytes(temp.File(L"History.txt"), "v1.5.1.3\r\n- Options dialog\r\n");
    ShootEveryPage();
}

// The same at 144 DPI, in a run of this program at that DPI.
class OptionPagesHighDpi : public OptionsFixture {};

TEST_F(OptionPagesHighDpi, DISABLED_ScreenshotsAt144) {
    if (ScreenDpi() != 144) {
        EXPECT_EQ(RunSelfAtDpi(144, L"OptionPagesHighDpi.*"), 0u);
        return;
    }
    StoreFavorites({L"C:\\Users\\Public\\Documents", L"D:\\Projects\\Quelvar\\src\\options"});
    ShootEveryPage();
}

}  // namespace

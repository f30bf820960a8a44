// The pages under a user's clicks: the Favorites page's buttons, remove,
// move, save, a refused save and a save while another program holds the data
// file, the focus rectangle that Tab shows; the Settings page's boxes and save; the Update page's history
// text.
#include <atomic>
#include <set>
#include <thread>

#include "OptionsTestSupport.h"
#include "data/DataFile.h"
#include "support/Screenshot.h"

using namespace QuelvarTest;
using namespace OptionsTest;

namespace {

enum : int { kList = 1000, kRemove = 1001, kUp = 1003, kDown = 1004, kSaveFavorites = 1005 };
enum : int {
    kLimitWidth = 1001,
    kWidth = 1002,
    kLimitTop = 1003,
    kTop = 1004,
    kDepth = 1006,
    kSaveSettings = 1007
};

const std::wstring kFavoritesRefused =
    L"Quelvar|Favorites list has been modified by other explorer.exe instance,\ncurrent changes will not be "
    L"saved, please re-open option dialog\nto edit the newest favorite list.";
const std::wstring kSettingsRefused =
    L"Quelvar|Setting has been modified by other explorer.exe instance,\ncurrent changes will not be saved, "
    L"please re-open option dialog\nto edit the newest setting.";

class FavoritesPage : public OptionsFixture {};

// One user action on the Favorites page and what the page shows after it.
struct FavoriteStep {
    const char* what;
    std::vector<int> select;  // entries to select first (empty: keep)
    int click;                // 0: none
    int answer;               // answer to the removal question (0: none expected)
    const wchar_t* question;
    std::vector<std::wstring> list;
    bool remove, up, down, save;
};

TEST_F(FavoritesPage, ButtonsFollowTheSelectionAndTheEdits) {
    StoreFavorites({L"C:\\A", L"C:\\B", L"C:\\C"});
    OpenOptions open(true, 0);
    DialogDriver page = open.Page(0);
    const std::vector<std::wstring> abc{L"C:\\A", L"C:\\B", L"C:\\C"};
    const wchar_t* one = L"Quelvar|Do you want to remove the selected folder from the list?";
    const wchar_t* several = L"Quelvar|Do you want to remove these selected folders from the list?";
    const FavoriteStep steps[] = {
        {"nothing selected", {}, 0, 0, nullptr, abc, false, false, false, false},
        {"first entry", {0}, 0, 0, nullptr, abc, true, false, true, false},
        {"last entry", {2}, 0, 0, nullptr, abc, true, true, false, false},
        {"two entries", {0, 2}, 0, 0, nullptr, abc, true, false, false, false},
        {"removal answered Cancel", {}, kRemove, IDCANCEL, several, abc, true, false, false, false},
        {"down", {0}, kDown, 0, nullptr, {L"C:\\B", L"C:\\A", L"C:\\C"}, true, true, true, true},
        {"up again", {}, kUp, 0, nullptr, abc, true, false, true, false},
        {"remove two", {0, 1}, kRemove, IDOK, several, {L"C:\\C"}, false, false, false, true},
        {"remove the last", {0}, kRemove, IDOK, one, {}, false, false, false, true},
    };
    size_t questions = 0;
    for (const FavoriteStep& s : steps) {
        if (!s.select.empty()) SelectEntries(page, kList, s.select);
        if (s.answer) open.thread.Answer(s.answer);
        if (s.click) {
            EXPECT_TRUE(page.Click(s.click)) << s.what;
        }
        if (s.answer) {
            ++questions;
            ASSERT_EQ(questions, open.MessageCount()) << s.what;
            EXPECT_EQ(s.question, open.LastMessage()) << s.what;
        }
        EXPECT_EQ(s.list, ListEntries(page, kList)) << s.what;
        EXPECT_EQ(s.remove, page.Enabled(kRemove)) << s.what;
        EXPECT_EQ(s.up, page.Enabled(kUp)) << s.what;
        EXPECT_EQ(s.down, page.Enabled(kDown)) << s.what;
        EXPECT_EQ(s.save, page.Enabled(kSaveFavorites)) << s.what;
    }
    // Saved at last: the file holds the empty list and Save is off again.
    EXPECT_TRUE(page.Click(kSaveFavorites));
    EXPECT_EQ(std::vector<std::wstring>{}, StoredFavorites());
    EXPECT_FALSE(page.Enabled(kSaveFavorites));
}

TEST_F(FavoritesPage, TheScrollExtentFollowsTheWidestPath) {
    const std::wstring longPath = L"C:\\" + std::wstring(180, L'x');
    const std::wstring middle = L"C:\\" + std::wstring(90, L'm');
    StoreFavorites({L"C:\\Short", longPath, middle});
    OpenOptions open(true, 0);
    DialogDriver page = open.Page(0);
    HWND list = page.Control(kList);
    const auto extent = [&] { return static_cast<int>(::SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0)); };
    const int withLong = extent();
    RECT client{};
    ::GetClientRect(list, &client);
    EXPECT_GT(withLong, client.right);
    EXPECT_TRUE(::GetWindowLongW(list, GWL_STYLE) & WS_HSCROLL) << "the horizontal bar shows";
    SelectEntries(page, kList, {1});
    open.thread.Answer(IDOK);
    ASSERT_TRUE(page.Click(kRemove));
    const int withMiddle = extent();
    EXPECT_LT(withMiddle, withLong);
    EXPECT_GT(withMiddle, withLong / 3);
    SelectEntries(page, kList, {1});
    open.thread.Answer(IDOK);
    ASSERT_TRUE(page.Click(kRemove));
    EXPECT_LT(extent(), withMiddle / 3);
}

TEST_F(FavoritesPage, DuplicatesCollapseAndAnotherWriterMakesTheSaveRefuse) {
    StoreFavorites({L"C:\\A", L"C:\\B", L"C:\\A"});
    OpenOptions open(true, 0);
    DialogDriver page = open.Page(0);
    SelectEntries(page, kList, {1});
    ASSERT_TRUE(page.Click(kUp));
    ASSERT_TRUE(page.Click(kSaveFavorites));
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\B", L"C:\\A"}), StoredFavorites());
    EXPECT_EQ(0u, open.MessageCount());

    // Another process adds a favorite meanwhile: the next save is refused.
    Lumo::Data::DataCenter other(temp.Path());
    ASSERT_TRUE(other.AddFavorite(L"C:\\New"));
    const std::string before = DataFileBytes();
    SelectEntries(page, kList, {0});
    ASSERT_TRUE(page.Click(kDown));
    ASSERT_TRUE(page.Click(kSaveFavorites));
    EXPECT_EQ(kFavoritesRefused, open.LastMessage());
    EXPECT_EQ(before, DataFileBytes());
    EXPECT_TRUE(page.Enabled(kSaveFavorites)) << "the edits stay";
}

TEST_F(FavoritesPage, ASaveWhileTheFileIsHeldKeepsTheEditsAndTheUserOnThePage) {
    StoreFavorites({L"C:\\A", L"C:\\B"});
    OpenOptions open(true, 0);
    DialogDriver page = open.Page(0);
    SelectEntries(page, kList, {0});
    ASSERT_TRUE(page.Click(kDown));
    const std::string before = DataFileBytes();
    {
        Lumo::Data::DataFileLock held(Center().GetDataFilePath());
        const ULONGLONG start = ::GetTickCount64();
        ASSERT_TRUE(page.Click(kSaveFavorites));
        EXPECT_LT(::GetTickCount64() - start, 3000u);
        ASSERT_EQ(1u, open.MessageCount());
        EXPECT_EQ(L"Quelvar", open.thread.MessageBoxes()[0].caption);
        EXPECT_NE(std::wstring::npos, open.thread.MessageBoxes()[0].text.find(L"cannot be saved now"));
        EXPECT_TRUE(open.dialog.Responds(1000));
        // Saving on the way out fails the same way: the user stays on the page
        // with the edits, whether going to another tab or closing with OK.
        for (const bool ok : {false, true}) {
            open.thread.Answer(IDYES);  // the leave question
            open.thread.Answer(IDOK);   // the message that the file cannot be saved now
            if (ok) {
                EXPECT_TRUE(open.dialog.Click(IDOK));
            } else {
                open.ClickTab(1);
            }
            EXPECT_NE(std::wstring::npos, open.LastMessage().find(L"cannot be saved now")) << ok;
            EXPECT_FALSE(open.thread.Finished()) << ok;
            EXPECT_EQ(0, open.SelectedTab()) << ok;
            EXPECT_EQ(0, open.VisiblePage()) << ok;
        }
        EXPECT_EQ(5u, open.MessageCount());
    }
    EXPECT_EQ(before, DataFileBytes());
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\B", L"C:\\A"}), ListEntries(page, kList));
    // Released: OK saves them and closes.
    open.thread.Answer(IDYES);
    EXPECT_TRUE(open.dialog.Click(IDOK));
    ASSERT_TRUE(open.thread.Wait());
    EXPECT_EQ(1, open.thread.Result());
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\B", L"C:\\A"}), StoredFavorites());
}

// The flat icon buttons draw no border until hovered: after Tab, the focused
// one shows the dotted focus rectangle 3 pixels inside its edge.
TEST_F(FavoritesPage, TabShowsWhichIconButtonHasTheFocus) {
    StoreFavorites({L"C:\\A", L"C:\\B"});
    OpenOptions open(true, 0);
    DialogDriver page = open.Page(0);
    SelectEntries(page, kList, {0});
    HWND remove = page.Control(kRemove);
    RECT r{};
    ::GetWindowRect(remove, &r);
    // The distinct colours along the rectangle's top row, as the screen shows them.
    const auto topRow = [&] {
        ::RedrawWindow(remove, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        open.dialog.Responds(1000);
        HDC screen = ::GetDC(nullptr);
        std::set<COLORREF> colours;
        for (int x = r.left + 4; x < r.right - 4; ++x) colours.insert(::GetPixel(screen, x, r.top + 3));
        ::ReleaseDC(nullptr, screen);
        return colours.size();
    };
    EXPECT_EQ(1u, topRow()) << "no rectangle before the focus comes";
    const DWORD thread = ::GetWindowThreadProcessId(remove, nullptr);
    const auto focus = [thread] {
        GUITHREADINFO gui{sizeof(gui)};
        return ::GetGUIThreadInfo(thread, &gui) ? gui.hwndFocus : nullptr;
    };
    page.PostKey(kList, VK_TAB);
    ASSERT_TRUE(WaitUntil([&] { return focus() == remove; })) << "Tab goes from the list to Remove";
    EXPECT_EQ(0, ::SendMessageW(remove, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);
    EXPECT_EQ(2u, topRow()) << "the dotted focus rectangle";
    SaveWindowPng(open.dialog.Dialog(),
                  ScreenshotFolder() + L"options-favorites-focus-" + std::to_wstring(ScreenDpi()) + L".png");
}

class SettingsPage : public OptionsFixture {};

struct SettingStep {
    const char* what;
    int click;          // a check box, or 0
    int box;            // an edit box to fill, or 0
    std::wstring text;  // its new text
    bool widthBox, topBox, save;
};

TEST_F(SettingsPage, ChecksBoxesAndSave) {
    OpenOptions open(true, 1);
    DialogDriver page = open.Page(1);
    EXPECT_EQ(L"User Interface", page.Text(1000));
    EXPECT_EQ(L"Limit menu item width to ___ pixel [20~1000]", page.Text(kLimitWidth));
    EXPECT_EQ(L"Limit top level favorite item number to", page.Text(kLimitTop));
    EXPECT_EQ(L"Navigate history depth [0~50]", page.Text(1005));
    EXPECT_EQ(L"Save modification", page.TooltipText(kSaveSettings));
    const SettingStep steps[] = {
        {"as opened", 0, 0, L"", true, true, false},
        {"width limit off", kLimitWidth, 0, L"", false, true, true},
        {"width limit on again", kLimitWidth, 0, L"", true, true, false},
        {"top limit off", kLimitTop, 0, L"", true, false, true},
        {"top limit on again", kLimitTop, 0, L"", true, true, false},
        {"depth 5", 0, kDepth, L"5", true, true, true},
        {"depth back to 10", 0, kDepth, L"10", true, true, false},
        {"width 9999", 0, kWidth, L"9999", true, true, true},
    };
    for (const SettingStep& s : steps) {
        if (s.click) {
            EXPECT_TRUE(page.Click(s.click)) << s.what;
        }
        if (s.box) page.SetEditText(s.box, s.text);
        EXPECT_EQ(s.widthBox, page.Enabled(kWidth)) << s.what;
        EXPECT_EQ(s.topBox, page.Enabled(kTop)) << s.what;
        EXPECT_EQ(s.save, page.Enabled(kSaveSettings)) << s.what;
    }
    // Only digits go in, at most four.
    page.SetEditText(kDepth, L"");
    page.Type(kDepth, L"a0b12345");
    EXPECT_EQ(L"0123", page.Text(kDepth));
    page.SetEditText(kDepth, L"0");
    ASSERT_TRUE(page.Click(kSaveSettings));
    EXPECT_FALSE(page.Enabled(kSaveSettings));
    auto stored = Center().Load()->userSettings;
    EXPECT_EQ(0, stored->historyDepth);
    EXPECT_EQ(9999, stored->menuWidthLimit);
    EXPECT_EQ(0u, open.MessageCount());

    // Another process changes the settings: the next save is refused.
    Lumo::Data::DataCenter other(temp.Path());
    auto theirs = other.Load()->userSettings;
    theirs->historyDepth = 20;
    ASSERT_TRUE(other.CommitUserSettings(theirs));
    const std::string before = DataFileBytes();
    page.SetEditText(kDepth, L"7");
    ASSERT_TRUE(page.Click(kSaveSettings));
    EXPECT_EQ(kSettingsRefused, open.LastMessage());
    EXPECT_EQ(before, DataFileBytes());
    EXPECT_EQ(L"7", page.Text(kDepth));
    EXPECT_TRUE(page.Enabled(kSaveSettings));
}

// Where History.txt lies and how it is encoded, and what the box shows.
struct HistoryCase {
    const char* what;
    bool inDataFolder;
    std::string bytes;
    std::wstring text;
};

class HistoryBox : public OptionsFixture, public ::testing::WithParamInterface<HistoryCase> {};

TEST_P(HistoryBox, ShowsTheFileByItsMark) {
    const HistoryCase& c = GetParam();
    TempFolder install;
    Center().SetInstallFolder(install.File(L"Quelvar.dll"));
    WriteFileBytes(install.File(L"History.txt"), "installed");
    if (c.inDataFolder) WriteFileBytes(temp.File(L"History.txt"), c.bytes);
    OpenOptions open(false, 0);
    DialogDriver page = open.Page(0);
    EXPECT_EQ(c.text, page.Text(1007)) << c.what;
    const std::vector<std::wstring> labels{L"Version:",  L"Latest Version:",  L"1.5.1.3",
                                           L"[Unknown]", L"Check for Update", L"Goto Download Page",
                                           L"History"};
    for (int id = 1000; id <= 1006; ++id) EXPECT_EQ(labels[id - 1000], page.Text(id)) << id;
    EXPECT_TRUE(page.Visible(1004));
    EXPECT_FALSE(page.Visible(1005));
}

INSTANTIATE_TEST_SUITE_P(Options, HistoryBox,
                         ::testing::Values(HistoryCase{"none in the data folder", false, "", L"installed"},
                                           HistoryCase{"UTF-16 LE", true,
                                                       std::string("\xFF\xFE"
                                                                   "a\0\n\0\xE9\0\x20\x20",
                                                                   10),
                                                       L"a\r\n\u00E9\u2020"},
                                           HistoryCase{"UTF-16 BE", true,
                                                       std::string("\xFE\xFF\0a\0\r\0\n\0\xE9", 10),
                                                       L"a\r\n\u00E9"},
                                           HistoryCase{"UTF-8", true,
                                                       "\xEF\xBB\xBF"
                                                       "v1\r\n\xE2\x82\xAC\n",
                                                       L"v1\r\n\u20AC"},
                                           HistoryCase{"ANSI", true, "caf\xE9\nend", L"caf\u00E9\r\nend"}),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

}  // namespace

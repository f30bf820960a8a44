// Advanced Copy Name driven by control id: what it shows when it opens, the
// enabling of the case and order choices, the list under the user's clicks,
// the copy of the edited box, and screenshots at 96 and 144 DPI.
#include <string>
#include <vector>

#include "DialogTestSupport.h"
#include "support/TestSupport.h"
#include "tools/AdvCopyNameDlg.h"

using namespace QuelvarTest;
using Lumo::Data::ItemKind;

namespace {

const wchar_t* kTitle = L"Advanced Copy Name Options";

struct OpenDialog {
    explicit OpenDialog(std::shared_ptr<Lumo::Data::SelectedItemsInfo> selection)
        : thread([selection](HWND owner) { return Lumo::Tools::RunAdvCopyNameDialog(owner, selection); }),
          dialog(DialogDriver::Find(thread.Owner(), kTitle)) {}
    DialogThread thread;
    DialogDriver dialog;
};

class AdvCopyName : public ToolDialogTest {};

TEST_F(AdvCopyName, OpensWithTheDefaultOptionsAndTheFullList) {
    OpenDialog open(
        Selection({{Lumo::Data::Folder, L"C:\\Data\\Work"}, {Lumo::Data::File, L"C:\\Data\\a.txt"}}));
    const DialogDriver& d = open.dialog;
    ASSERT_TRUE(d.Dialog());
    ExpectControls(d, {{1000, L"Include Type", false, true},
                       {1001, L"Folder", true, true},
                       {1002, L"File", true, true},
                       {1003, L"Resolve shortcut to it's target", false, true},
                       {1004, L"Format", false, true},
                       {1005, L"Full path name", true, true},
                       {1006, L"Only leaf name", false, true},
                       {1007, L"Add back slash after folder's path/leaf name", true, true},
                       {1008, L"Include extension name", true, true},
                       {1009, L"Long name", true, true},
                       {1010, L"Short name(DOS 8.3)", false, true},
                       {1011, L"Transform", false, true},
                       {1012, L"Modify case", false, true},
                       {1013, L"Lowercase", true, false},
                       {1014, L"Uppercase", false, false},
                       {1015, L"Sort", false, true},
                       {1016, L"Sort", false, true},
                       {1017, L"Ascending", true, false},
                       {1018, L"Descending", false, false},
                       {1019, L"Result", false, true},
                       {1, L"Copy Result to Clipboard", false, true},
                       {2, L"Close", false, true}});
    EXPECT_EQ(d.Text(1020), L"C:\\Data\\Work\\\r\nC:\\Data\\a.txt\r\n");
    EXPECT_EQ(d.ChildIds(),
              (std::vector<int>{1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1011,
                                1012, 1013, 1014, 1015, 1016, 1017, 1018, 1019, 1020, 1,    2}));
    ExpectNoOverlap(d);
    SaveWindowPng(d.Dialog(),
                  ScreenshotFolder() + L"adv-copy-name-" + std::to_wstring(ScreenDpi()) + L".png");
    EXPECT_TRUE(d.Click(2));
    ASSERT_TRUE(open.thread.Wait());
    EXPECT_EQ(open.thread.Result(), 2);
}

TEST_F(AdvCopyName, CaseAndOrderChoicesFollowTheirCheckBoxes) {
    OpenDialog open(Selection({{Lumo::Data::File, L"C:\\b.txt"}, {Lumo::Data::File, L"C:\\A.txt"}}));
    const DialogDriver& d = open.dialog;
    struct Step {
        int click;
        bool caseEnabled, orderEnabled;
        const wchar_t* list;
    } steps[] = {
        {1012, true, false, L"c:\\b.txt\r\nc:\\a.txt\r\n"},
        {1016, true, true, L"c:\\a.txt\r\nc:\\b.txt\r\n"},
        {1014, true, true, L"C:\\A.TXT\r\nC:\\B.TXT\r\n"},
        {1012, false, true, L"C:\\A.txt\r\nC:\\b.txt\r\n"},
        {1016, false, false, L"C:\\b.txt\r\nC:\\A.txt\r\n"},
    };
    for (const Step& s : steps) {
        EXPECT_TRUE(d.Click(s.click));
        EXPECT_EQ(d.Enabled(1013), s.caseEnabled) << s.click;
        EXPECT_EQ(d.Enabled(1014), s.caseEnabled) << s.click;
        EXPECT_EQ(d.Enabled(1017), s.orderEnabled) << s.click;
        EXPECT_EQ(d.Enabled(1018), s.orderEnabled) << s.click;
        EXPECT_EQ(d.Text(1020), s.list) << s.click;
    }
}

struct ListCase {
    const char* what;
    std::vector<std::pair<ItemKind, std::wstring>> items;
    std::vector<int> clicks;
    const wchar_t* expected;
};

void PrintTo(const ListCase& c, std::ostream* os) { *os << c.what; }

class AdvCopyNameList : public ToolDialogTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(AdvCopyNameList, ListAfterTheClicks) {
    const ListCase& c = GetParam();
    OpenDialog open(Selection(c.items));
    for (int id : c.clicks) EXPECT_TRUE(open.dialog.Click(id)) << id;
    EXPECT_EQ(open.dialog.Text(1020), c.expected) << c.what;
}

const std::wstring kComputer = L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";

INSTANTIATE_TEST_SUITE_P(
    Tools, AdvCopyNameList,
    ::testing::Values(
        ListCase{"both types off empties the list",
                 {{Lumo::Data::File, L"C:\\a.txt"},
                  {Lumo::Data::Folder, L"C:\\Data"},
                  {Lumo::Data::Other, kComputer}},
                 {1001, 1002},
                 L""},
        ListCase{"a non-file item stays while one type is on",
                 {{Lumo::Data::File, L"C:\\a.txt"}, {Lumo::Data::Other, kComputer}},
                 {1002},
                 L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\r\n"},
        ListCase{"a drive root has no leaf name",
                 {{Lumo::Data::Drive, L"C:\\"}, {Lumo::Data::File, L"C:\\x.txt"}},
                 {1006},
                 L"x.txt\r\n"},
        ListCase{"leaf of a folder with a back slash",
                 {{Lumo::Data::Folder, L"C:\\Data\\Work"}},
                 {1006},
                 L"Work\\\r\n"},
        ListCase{"an unresolved shortcut is a file",
                 {{Lumo::Data::Shortcut, L"C:\\links\\x.lnk"}},
                 {1006, 1008},
                 L"x\r\n"},
        ListCase{"ordinal sort puts B before a",
                 {{Lumo::Data::File, L"C:\\a"}, {Lumo::Data::File, L"C:\\B"}, {Lumo::Data::File, L"C:\\C"}},
                 {1016},
                 L"C:\\B\r\nC:\\C\r\nC:\\a\r\n"},
        ListCase{"descending",
                 {{Lumo::Data::File, L"C:\\a"}, {Lumo::Data::File, L"C:\\B"}},
                 {1016, 1018},
                 L"C:\\a\r\nC:\\B\r\n"}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(AdvCopyName, CopiesTheBoxAsTypedUntilTheNextOptionChange) {
    OpenDialog open(Selection({{Lumo::Data::File, L"C:\\a.txt"}}));
    const DialogDriver& d = open.dialog;
    PutOnClipboard(L"before");
    d.Type(1020, L"typed by hand");  // over the whole list, as after Tab
    d.PostKey(1020, VK_RETURN);      // Enter in the box is a new line, not a copy
    ASSERT_TRUE(WaitUntil([&] { return d.Text(1020) == L"typed by hand\r\n"; }));
    EXPECT_EQ(ClipboardText(), L"before");
    EXPECT_TRUE(d.Click(1));
    EXPECT_EQ(ClipboardText(), L"typed by hand\r\n");
    EXPECT_TRUE(::IsWindowVisible(d.Dialog())) << "the dialog stays open";

    EXPECT_TRUE(d.Click(1009));
    EXPECT_EQ(d.Text(1020), L"C:\\a.txt\r\n");
    PutOnClipboard(L"before");
    d.PostKey(1001, VK_RETURN);  // Enter elsewhere copies
    EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == L"C:\\a.txt\r\n"; }));
}

TEST_F(AdvCopyName, EveryWayOfClosingReturnsTwo) {
    for (int way = 0; way < 3; ++way) {
        OpenDialog open(Selection({}));
        ASSERT_TRUE(open.dialog.Dialog());
        if (way == 0) open.dialog.Click(2);
        if (way == 1) open.dialog.PostKey(1001, VK_ESCAPE);
        if (way == 2) open.dialog.Close();
        ASSERT_TRUE(open.thread.Wait()) << way;
        EXPECT_EQ(open.thread.Result(), 2) << way;
    }
}

TEST(AdvCopyNameHighDpi, DISABLED_ScreenshotAt144) {
    if (ScreenDpi() == 144) {
        GlobalImpl::Create(::GetModuleHandleW(nullptr));
        OpenDialog open(
            Selection({{Lumo::Data::Folder, L"C:\\Data\\Work"}, {Lumo::Data::File, L"C:\\Data\\a.txt"}}));
        ExpectNoOverlap(open.dialog);
        SaveWindowPng(open.dialog.Dialog(), ScreenshotFolder() + L"adv-copy-name-144.png");
        open.dialog.Click(2);
        open.thread.Wait();
        GlobalImpl::Destroy();
        return;
    }
    EXPECT_EQ(RunSelfAtDpi(144, L"AdvCopyNameHighDpi.*"), 0u);
}

}  // namespace

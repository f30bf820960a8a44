// The checksum list window: its texts and names as plain functions, then the real window on its own thread,
// verifying a list (good, altered, unreadable and missing files), cancelled on a large file, and creating a
// list that reads back with the right digests, or leaves nothing when it cannot list every file.
#include <windows.h>
#include <commctrl.h>
#include <winioctl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DialogTestSupport.h"
#include "support/TestSupport.h"
#include "tools/ChecksumList.h"
#include "tools/ChecksumWindow.h"

using namespace Lumo::Tools;
using namespace QuelvarTest;

namespace {

const std::wstring kSha256Abc = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::wstring kSha256Empty = L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

TEST(ChecksumWindowText, CountsSizesSummariesAndListedNames) {
    const struct {
        std::wstring got, expected;
    } rows[] = {
        {FormatCount(0), L"0"},
        {FormatCount(1234567), L"1,234,567"},
        {FormatBytes(1), L"1 byte"},
        {FormatBytes(1023), L"1,023 bytes"},
        {FormatBytes(1024 * 1024 - 1), L"1.0 MB"},
        {FormatBytes(1288490189ull), L"1.2 GB"},
        {ChecksumProgressText(1234, 10000, 1288490189ull, true, 10522669875ull),
         L"1,234 of 10,000 files, 1.2 GB of 9.8 GB"},
        {ChecksumProgressText(0, 1, 0, false, 0), L"0 of 1 file, 0 bytes"},
        {VerifySummary({10000, 9998, 1, 1, 0, 2, false}),
         L"10,000 files: 9,998 OK, 1 FAILED, 1 MISSING, 0 UNREADABLE, 2 malformed lines"},
        {VerifySummary({3, 1, 0, 0, 1, 1, true}),
         L"Cancelled after 2 of 3 files: 1 OK, 0 FAILED, 0 MISSING, 1 UNREADABLE, 1 malformed line"},
        {CreateSummary({{2, 2}, L"C:\\a.md5", true, 0}), L"2 files: written to C:\\a.md5"},
        {CreateSummary({{2, 1, 0, 1}, L"C:\\a.md5", false, 0}),
         L"2 files: 1 MISSING, 0 UNREADABLE. Nothing was written."},
        {CreateSummary({{1, 1}, L"C:\\a.md5", false, ERROR_ACCESS_DENIED}),
         L"C:\\a.md5 could not be written: " + SystemReason(ERROR_ACCESS_DENIED) + L". Nothing was written."},
        {ListedNameFor(L"C:\\Data\\", L"c:\\data\\Sub\\x.txt"), L"Sub/x.txt"},
        {ListedNameFor(L"C:\\Data", L"C:\\Database\\x.txt"), L"C:\\Database\\x.txt"},
        {ListedNameFor(L"C:\\", L"C:\\x.txt"), L"x.txt"},
        {DefaultChecksumFileName(L"C:\\Data\\Work", L".sha256"), L"C:\\Data\\Work.sha256"},
        {ReplaceChecksumExtension(L"C:\\a.txt.SHA256", L".sha256", L".md5"), L"C:\\a.txt.md5"},
        {ReplaceChecksumExtension(L"C:\\mine.txt", L".sha256", L".md5"), L"C:\\mine.txt"},
    };
    for (const auto& row : rows) EXPECT_EQ(row.expected, row.got);
}

TEST(ChecksumWindowText, ListsFoldersDepthFirstSortedIgnoringCaseAndSkipsTheListItself) {
    const FolderReader tree = [](const std::wstring& folder,
                                 std::vector<FolderEntry>& entries) -> unsigned long {
        if (folder == L"C:\\T")
            entries = {{L"b.txt"}, {L"Sub", true}, {L"a.txt"}, {L"T.md5"}, {L"Locked", true}};
        if (folder == L"C:\\T\\Sub") entries = {{L"Z"}, {L"y"}};
        return folder == L"C:\\T\\Locked" ? ERROR_ACCESS_DENIED : 0;
    };
    const std::vector<ListedFile> files =
        FilesInListOrder({{L"C:\\z.txt"}, {L"C:\\T\\", true}, {L"C:\\t\\t.MD5"}}, L"C:\\T\\T.md5", tree, {});
    std::vector<std::wstring> got;
    for (const ListedFile& file : files) got.push_back(file.path + L"|" + std::to_wstring(file.error));
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\z.txt|0", L"C:\\T\\a.txt|0", L"C:\\T\\b.txt|0",
                                         L"C:\\T\\Locked|5", L"C:\\T\\Sub\\y|0", L"C:\\T\\Sub\\Z|0"}),
              got);
    int reads = 0;
    EXPECT_TRUE(FilesInListOrder({{L"C:\\T", true}}, L"", tree, [&] { return ++reads > 1; }).size() < 3u);
}

// The window on its own thread, found by caption, driven by control id.
class ChecksumWindowTest : public ToolDialogTest {
protected:
    static HWND FindWindowWith(const wchar_t* caption, int control) {
        HWND found = nullptr;
        WaitUntil(
            [&] {
                found = ::FindWindowW(L"#32770", caption);
                return found && ::IsWindowVisible(found) && ::GetDlgItem(found, control);
            },
            10000);
        return found;
    }
    static bool WaitDone(const DialogDriver& window, DWORD timeoutMs = 20000) {
        return WaitUntil([&] { return window.Text(kChecksumCancelClose) == L"Close"; }, timeoutMs);
    }
    static std::vector<std::wstring> Rows(const DialogDriver& window) {
        HWND list = window.Control(kChecksumResults);
        std::vector<std::wstring> rows;
        const int count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            std::wstring row;
            for (int column = 0; column < 2; ++column) {
                wchar_t text[512] = {};
                LVITEMW item{};
                item.iSubItem = column;
                item.pszText = text;
                item.cchTextMax = 512;
                ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i),
                               reinterpret_cast<LPARAM>(&item));
                row += (column ? L"|" : L"") + std::wstring(text);
            }
            rows.push_back(row);
        }
        return rows;
    }
    // Closes the window and waits for its thread to end.
    static bool CloseAndEnd(const DialogDriver& window, const Lumo::Win::UniqueHandle& thread) {
        window.Click(kChecksumCancelClose);
        return ::WaitForSingleObject(thread.get(), 10000) == WAIT_OBJECT_0;
    }
    void SparseFile(const std::wstring& path) {
        Lumo::Win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        DWORD ignored = 0;
        ::DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
        LARGE_INTEGER size;
        size.QuadPart = 6LL << 30;
        ASSERT_TRUE(::SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.get()));
    }
    // An edit box with this text in a window that `owner` owns.
    static HWND EditOwnedBy(HWND owner, const std::wstring& text) {
        struct Search {
            HWND owner;
            const std::wstring& text;
            HWND found;
        } search{owner, text, nullptr};
        ::EnumWindows(
            [](HWND window, LPARAM data) CALLBACK -> BOOL {
                auto* s = reinterpret_cast<Search*>(data);
                if (::GetWindow(window, GW_OWNER) != s->owner) return TRUE;
                ::EnumChildWindows(
                    window,
                    [](HWND child, LPARAM data) CALLBACK -> BOOL {
                        auto* s = reinterpret_cast<Search*>(data);
                        wchar_t name[16] = {};
                        ::GetClassNameW(child, name, 16);
                        if (std::wstring(name) == L"Edit" && Lumo::Win::WindowText(child) == s->text)
                            s->found = child;
                        return s->found ? FALSE : TRUE;
                    },
                    data);
                return s->found ? FALSE : TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }
    std::vector<std::wstring> FolderNames() {
        std::vector<FolderEntry> entries;
        ReadFolder(folder.Path().substr(0, folder.Path().size() - 1), entries);
        std::vector<std::wstring> names;
        for (const FolderEntry& entry : entries) names.push_back(entry.name);
        std::sort(names.begin(), names.end());
        return names;
    }
    TempFolder folder;
};

TEST_F(ChecksumWindowTest, VerifyShowsEachResultFiltersAndCopiesTheFailures) {
    WriteFileBytes(folder.File(L"good.txt"), "abc");
    WriteFileBytes(folder.File(L"altered.txt"), "abd");
    WriteFileBytes(folder.File(L"held.txt"), "abc");
    const std::string digest = ToUtf8(kSha256Abc);
    WriteFileBytes(folder.File(L"sums.sha256"), digest + "  good.txt\n" + digest + " *altered.txt\n" +
                                                    digest + "  held.txt\nnot a line\n" + digest +
                                                    "  gone.txt\n");
    Lumo::Win::UniqueFile held(
        ::CreateFileW(folder.File(L"held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    PutOnClipboard(L"untouched");

    const Lumo::Win::UniqueHandle thread = StartVerifyChecksums({folder.File(L"sums.sha256")});
    const DialogDriver window(FindWindowWith(kVerifyChecksumsTitle, kChecksumResults));
    ASSERT_TRUE(window.Dialog());
    ASSERT_TRUE(WaitDone(window));
    EXPECT_EQ(L"4 files: 1 OK, 1 FAILED, 1 MISSING, 1 UNREADABLE, 1 malformed line",
              window.Text(kChecksumStatus));
    const std::wstring unreadable = L"held.txt|UNREADABLE: " + SystemReason(ERROR_SHARING_VIOLATION);
    EXPECT_EQ(
        (std::vector<std::wstring>{L"good.txt|OK", L"altered.txt|FAILED", unreadable, L"gone.txt|MISSING"}),
        Rows(window));
    ExpectNoOverlap(window);
    SaveWindowPng(window.Dialog(),
                  ScreenshotFolder() + L"verify-checksums-" + std::to_wstring(ScreenDpi()) + L".png");

    EXPECT_TRUE(window.Click(kChecksumOnlyFailures));
    EXPECT_EQ((std::vector<std::wstring>{L"altered.txt|FAILED", unreadable, L"gone.txt|MISSING"}),
              Rows(window));
    EXPECT_TRUE(window.Click(kChecksumCopyFailures));
    EXPECT_EQ(L"altered.txt: FAILED\r\nheld.txt: UNREADABLE: " + SystemReason(ERROR_SHARING_VIOLATION) +
                  L"\r\ngone.txt: MISSING\r\n",
              ClipboardText());
    EXPECT_TRUE(CloseAndEnd(window, thread));
}

TEST_F(ChecksumWindowTest, CancelStopsALargeVerifyAndTheWindowEnds) {
    SparseFile(folder.File(L"large.bin"));
    WriteFileBytes(folder.File(L"large.md5"), "900150983cd24fb0d6963f7d28e17f72  large.bin\n");
    const Lumo::Win::UniqueHandle thread = StartVerifyChecksums({folder.File(L"large.md5")});
    const DialogDriver window(FindWindowWith(kVerifyChecksumsTitle, kChecksumResults));
    ASSERT_TRUE(window.Dialog());
    ASSERT_TRUE(
        WaitUntil([&] { return window.Text(kChecksumStatus).find(L" of 1 file, ") != std::wstring::npos; }));
    EXPECT_TRUE(window.Click(kChecksumCancelClose));
    EXPECT_EQ(L"Cancelled after 0 of 1 file: 0 OK, 0 FAILED, 0 MISSING, 0 UNREADABLE",
              window.Text(kChecksumStatus));
    EXPECT_EQ((std::vector<std::wstring>{L"large.bin|"}), Rows(window));
    EXPECT_TRUE(CloseAndEnd(window, thread));
}

TEST_F(ChecksumWindowTest, CreateWritesAListThatReadsBackOrNothingWhenAFileCannotBeRead) {
    const std::wstring work = folder.File(L"Work");
    ASSERT_TRUE(::CreateDirectoryW(work.c_str(), nullptr) &&
                ::CreateDirectoryW((work + L"\\Sub").c_str(), nullptr));
    WriteFileBytes(work + L"\\b.txt", "abc");
    WriteFileBytes(work + L"\\A.txt", "");
    WriteFileBytes(work + L"\\Sub\\c.txt", "abc");
    WriteFileBytes(folder.File(L"z.txt"), "");
    const std::vector<ChecksumSource> selection = {{work, true}, {folder.File(L"z.txt"), false}};
    for (const bool heldFile : {false, true}) {
        SCOPED_TRACE(heldFile ? "a file held" : "all readable");
        Lumo::Win::UniqueFile held;
        if (heldFile)
            held.reset(::CreateFileW((work + L"\\b.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
        const std::wstring list = folder.File(heldFile ? L"held.md5" : L"sums.md5");
        const Lumo::Win::UniqueHandle thread = StartCreateChecksumFile(selection);
        const DialogDriver ask(FindWindowWith(kCreateChecksumFileTitle, kCreateFileName));
        ASSERT_TRUE(ask.Dialog());
        EXPECT_EQ(work + L".sha256", ask.Text(kCreateFileName));
        EXPECT_EQ(6, ask.ComboSelection(kCreateAlgorithm));
        ask.SelectCombo(kCreateAlgorithm, 4);
        EXPECT_EQ(work + L".md5", ask.Text(kCreateFileName));
        if (!heldFile) {
            // "Browse..." proposes that name in the system's save dialog and takes what the user picks
            // there.
            ::PostMessageW(ask.Dialog(), WM_COMMAND, MAKEWPARAM(kCreateBrowse, BN_CLICKED), 0);
            HWND nameBox = nullptr;
            ASSERT_TRUE(
                WaitUntil([&] { return (nameBox = EditOwnedBy(ask.Dialog(), L"Work.md5")) != nullptr; }));
            ::SendMessageW(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"picked"));
            ::PostMessageW(::GetAncestor(nameBox, GA_ROOT), WM_COMMAND, IDOK, 0);
            EXPECT_TRUE(WaitUntil([&] { return ask.Text(kCreateFileName) == folder.File(L"picked.md5"); }));
            ExpectNoOverlap(ask);
            SaveWindowPng(ask.Dialog(), ScreenshotFolder() + L"create-checksum-file-" +
                                            std::to_wstring(ScreenDpi()) + L".png");
        }
        ask.SetEditText(kCreateFileName, heldFile ? L"held.md5" : list);  // a bare name goes beside the items
        EXPECT_TRUE(ask.Click(IDOK));

        const DialogDriver window(FindWindowWith(kCreatingChecksumFileTitle, kChecksumResults));
        ASSERT_TRUE(window.Dialog());
        ASSERT_TRUE(WaitDone(window));
        if (heldFile) {
            EXPECT_EQ(L"4 files: 0 MISSING, 1 UNREADABLE. Nothing was written.",
                      window.Text(kChecksumStatus));
            EXPECT_EQ(L"Work/b.txt|UNREADABLE: " + SystemReason(ERROR_SHARING_VIOLATION), Rows(window).at(1));
        } else {
            EXPECT_EQ(L"4 files: written to " + list, window.Text(kChecksumStatus));
            SaveWindowPng(window.Dialog(), ScreenshotFolder() + L"creating-checksum-file-" +
                                               std::to_wstring(ScreenDpi()) + L".png");
            const ChecksumList read = ParseChecksumList(DecodeChecksumText(ReadFileBytes(list)), nullptr);
            std::vector<std::wstring> lines;
            for (const ChecksumEntry& entry : read.entries)
                lines.push_back(entry.name + L" " + entry.algorithm->name + L" " + entry.digest);
            EXPECT_EQ((std::vector<std::wstring>{L"Work/A.txt md5 d41d8cd98f00b204e9800998ecf8427e",
                                                 L"Work/b.txt md5 900150983cd24fb0d6963f7d28e17f72",
                                                 L"Work/Sub/c.txt md5 900150983cd24fb0d6963f7d28e17f72",
                                                 L"z.txt md5 d41d8cd98f00b204e9800998ecf8427e"}),
                      lines);
        }
        EXPECT_TRUE(CloseAndEnd(window, thread));
        // The temporary file goes on a worker: give it a moment.
        EXPECT_TRUE(WaitUntil(
            [&] {
                return FolderNames() == std::vector<std::wstring>{L"Work", L"sums.md5", L"z.txt"};
            },
            2000));
    }
}

TEST_F(ChecksumWindowTest, ACancelledCreateLeavesNoFile) {
    SparseFile(folder.File(L"large.bin"));
    const Lumo::Win::UniqueHandle thread = StartCreateChecksumFile({{folder.File(L"large.bin"), false}});
    const DialogDriver ask(FindWindowWith(kCreateChecksumFileTitle, kCreateFileName));
    ASSERT_TRUE(ask.Dialog());
    EXPECT_TRUE(ask.Click(IDOK));
    const DialogDriver window(FindWindowWith(kCreatingChecksumFileTitle, kChecksumResults));
    ASSERT_TRUE(window.Dialog());
    ASSERT_TRUE(
        WaitUntil([&] { return window.Text(kChecksumStatus).find(L" of 1 file, ") != std::wstring::npos; }));
    window.Close();  // as the close box: cancels and ends
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.get(), 10000));
    EXPECT_TRUE(WaitUntil([&] { return FolderNames() == std::vector<std::wstring>{L"large.bin"}; }, 2000));
}

// The same windows at 144 DPI, with their screenshots.
TEST(ChecksumWindowHighDpi, DISABLED_VerifyAndCreateAt144) {
    EXPECT_EQ(RunSelfAtDpi(144, L"ChecksumWindowTest.Verify*:ChecksumWindowTest.Create*"), 0u);
}

}  // namespace

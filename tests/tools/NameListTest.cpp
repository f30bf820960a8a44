// Name lists of Advanced Copy Name and the copy tools: which items, which part
// of the name, case and order, with shortcuts resolved by the real shell; the
// checksum comparison label; clipboard text while another program holds it.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <functional>
#include <string>
#include <thread>

#include "support/ShellHost.h"
#include "support/TestSupport.h"
#include "system/Clipboard.h"
#include "tools/HashCompare.h"
#include "tools/NameList.h"

using namespace Tools;

namespace {

using Change = std::function<void(CopyNameOptions&)>;

struct ListCase {
    const char* what;
    std::vector<NameListItem> items;
    Change change;
    std::wstring expected;
};

// Short names and shortcut targets of a made-up disk; case by the real locale.
NameListFileSystem FakeDisk() {
    NameListFileSystem disk = NameListFileSystem::Windows();
    disk.shortName = [](const std::wstring& path) -> std::optional<std::wstring> {
        if (path == L"C:\\Program Files\\Long Name.text") return std::wstring(L"C:\\PROGRA~1\\LONGNA~1.TEX");
        return std::nullopt;
    };
    disk.resolveShortcut = [](const std::wstring& path) -> std::optional<ShortcutTarget> {
        if (path == L"C:\\l\\docs.lnk") return ShortcutTarget{L"C:\\Docs", FILE_ATTRIBUTE_DIRECTORY};
        if (path == L"C:\\l\\drive.lnk") return ShortcutTarget{L"D:\\", FILE_ATTRIBUTE_DIRECTORY};
        if (path == L"C:\\l\\app.lnk") return ShortcutTarget{L"C:\\Bin\\app.exe", FILE_ATTRIBUTE_ARCHIVE};
        if (path == L"C:\\l\\empty.lnk") return ShortcutTarget{L"", 0};
        return std::nullopt;
    };
    return disk;
}

const NameListItem kFile{Data::File, L"C:\\Data\\Report.Final.txt"};
const NameListItem kFolder{Data::Folder, L"C:\\Data\\Work"};
const NameListItem kDrive{Data::Drive, L"C:\\"};
const NameListItem kOther{Data::Other, L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}"};

TEST(ToolsNameList, BuildsTheLinesTheOptionsAskFor) {
    const Change none = [](CopyNameOptions&) {};
    const ListCase cases[] = {
        {"defaults: full paths, folders with a backslash",
         {kFolder, kFile, kDrive},
         none,
         L"C:\\Data\\Work\\\r\nC:\\Data\\Report.Final.txt\r\nC:\\\r\n"},
        {"both types off empties even kind Other",
         {kFile, kFolder, kOther},
         [](CopyNameOptions& o) { o.includeFiles = o.includeFolders = false; },
         L""},
        {"kind Other stays with one type on",
         {kOther, kFolder},
         [](CopyNameOptions& o) { o.includeFolders = false; },
         L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\r\n"},
        {"leaf of a drive root gives no line", {kDrive}, [](CopyNameOptions& o) { o.fullPath = false; }, L""},
        {"leaf of a folder keeps the backslash",
         {kFolder},
         [](CopyNameOptions& o) { o.fullPath = false; },
         L"Work\\\r\n"},
        {"no backslash asked",
         {kFolder},
         [](CopyNameOptions& o) { o.appendBackslash = false; },
         L"C:\\Data\\Work\r\n"},
        {"extension goes from the last dot of the leaf",
         {kFile, {Data::File, L"C:\\v1.2\\README"}},
         [](CopyNameOptions& o) { o.includeExtension = false; },
         L"C:\\Data\\Report.Final\r\nC:\\v1.2\\README\r\n"},
        {"unresolved x.lnk is a file named x",
         {{Data::Shortcut, L"C:\\l\\x.lnk"}},
         [](CopyNameOptions& o) {
             o.fullPath = false;
             o.includeExtension = false;
         },
         L"x\r\n"},
        {"resolved shortcuts take their target's kind",
         {{Data::Shortcut, L"C:\\l\\docs.lnk"},
          {Data::Shortcut, L"C:\\l\\drive.lnk"},
          {Data::Shortcut, L"C:\\l\\app.lnk"}},
         [](CopyNameOptions& o) { o.resolveShortcuts = true; },
         L"C:\\Docs\\\r\nD:\\\r\nC:\\Bin\\app.exe\r\n"},
        {"a shortcut to a folder is left out with folders off",
         {{Data::Shortcut, L"C:\\l\\docs.lnk"}},
         [](CopyNameOptions& o) {
             o.resolveShortcuts = true;
             o.includeFolders = false;
         },
         L""},
        {"shortcuts that do not resolve are left out",
         {{Data::Shortcut, L"C:\\l\\broken.lnk"}, {Data::Shortcut, L"C:\\l\\empty.lnk"}, kFile},
         [](CopyNameOptions& o) { o.resolveShortcuts = true; },
         L"C:\\Data\\Report.Final.txt\r\n"},
        {"short names where the disk has them",
         {{Data::File, L"C:\\Program Files\\Long Name.text"}, kFile},
         [](CopyNameOptions& o) { o.longName = false; },
         L"C:\\PROGRA~1\\LONGNA~1.TEX\r\nC:\\Data\\Report.Final.txt\r\n"},
        {"upper case",
         {kFolder},
         [](CopyNameOptions& o) {
             o.modifyCase = true;
             o.lowercase = false;
         },
         L"C:\\DATA\\WORK\\\r\n"},
        {"lower case",
         {kFile},
         [](CopyNameOptions& o) { o.modifyCase = true; },
         L"c:\\data\\report.final.txt\r\n"},
        {"case options do nothing without Modify case",
         {kFile},
         [](CopyNameOptions& o) { o.lowercase = false; },
         L"C:\\Data\\Report.Final.txt\r\n"},
        {"ordinal sort: B before a, stable",
         {{Data::File, L"a"}, {Data::File, L"B"}, {Data::Other, L"a"}, {Data::File, L"\u00e9"}},
         [](CopyNameOptions& o) { o.sort = true; },
         L"B\r\na\r\na\r\n\u00e9\r\n"},
        {"descending",
         {{Data::File, L"a"}, {Data::File, L"B"}, {Data::File, L"c"}},
         [](CopyNameOptions& o) {
             o.sort = true;
             o.ascending = false;
         },
         L"c\r\na\r\nB\r\n"},
        {"selection order without Sort", {{Data::File, L"b"}, {Data::File, L"a"}}, none, L"b\r\na\r\n"},
    };
    for (const ListCase& c : cases) {
        CopyNameOptions options;
        c.change(options);
        EXPECT_EQ(c.expected, BuildNameList(c.items, options, FakeDisk())) << c.what;
    }
}

TEST(ToolsNameList, TheCopyToolsOptionSetsAndTheTwoBytePacking) {
    // Copy Path Name: everything, full paths. Copy File Name: files only, leaf names.
    const std::vector<NameListItem> items = {kFolder, kFile, {Data::Shortcut, L"C:\\l\\x.lnk"}};
    EXPECT_EQ(L"C:\\Data\\Work\\\r\nC:\\Data\\Report.Final.txt\r\nC:\\l\\x.lnk\r\n",
              BuildNameList(items, CopyPathNameOptions(), FakeDisk()));
    EXPECT_EQ(L"Report.Final.txt\r\nx.lnk\r\n", BuildNameList(items, CopyFileNameOptions(), FakeDisk()));
    // Bits 0..10: files, folders, resolve, full, backslash, extension, long, case, lower, sort, ascending.
    EXPECT_EQ(0x057B, CopyPathNameOptions().Pack());
    EXPECT_EQ(0x0571, CopyFileNameOptions().Pack());
    EXPECT_EQ(0x057B, CopyNameOptions{}.Pack());
    for (uint16_t bits : {0x0000, 0x07FF, 0x0204, 0x057B})
        EXPECT_EQ(bits, CopyNameOptions::Unpack(bits).Pack());
}

TEST(ToolsNameList, RealShortcutsResolveWithoutBeingRewritten) {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        QuelvarTest::TempFolder temp;
        const std::wstring folder = temp.File(L"Target Folder");
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
        const std::wstring link = temp.File(L"to folder.lnk");
        QuelvarTest::CreateShortcut(link, folder);
        QuelvarTest::WriteFileBytes(temp.File(L"broken.lnk"), "not a shell link");
        const std::string before = QuelvarTest::ReadFileBytes(link);
        const std::vector<NameListItem> items = {{Data::Shortcut, link},
                                                 {Data::Shortcut, temp.File(L"broken.lnk")}};
        CopyNameOptions options;
        options.resolveShortcuts = true;
        options.fullPath = false;
        EXPECT_EQ(L"Target Folder\\\r\n", BuildNameList(items, options));
        EXPECT_EQ(before, QuelvarTest::ReadFileBytes(link));
    }
    ::CoUninitialize();
}

TEST(ToolsHashCompare, LabelFollowsTheStrippingAndCaseRules) {
    const std::wstring output = L"d41d8cd98f00b204e9800998ecf8427e";
    const struct {
        const wchar_t* pasted;
        const wchar_t* label;
    } cases[] = {
        {L"", L"Compare with [Paste text below]"},
        {L"  \r\n ", L"Compare with [Paste text below]"},
        {L"d41d8cd98f00b204e9800998ecf8427e", L"Compare with [Match]"},
        {L"D41D8CD98F00B204E9800998ECF8427E", L"Compare with [Match]"},
        {L"d4 1d 8c d9 8f 00 b2 04 e9 80 09 98 ec f8 42 7e", L"Compare with [Match]"},
        {L"D41D8CD98F00B204\r\nE9800998ECF8427E\r\n", L"Compare with [Match]"},
        {L"d41d8cd98f00b204e9800998ecf8427e\t", L"Compare with [Not Match]"},
        {L"d41d8cd98f00b204\ne9800998ecf8427e", L"Compare with [Not Match]"},
        {L"d41d8cd98f00b204e9800998ecf8427", L"Compare with [Not Match]"},
        {L"d41d8cd98f00b204e9800998ecf8427f", L"Compare with [Not Match]"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(c.label, CompareLabel(c.pasted, output)) << "pasted: " << c.pasted;
    // The output in spaced upper case matches the plain pasted form.
    EXPECT_STREQ(kCompareMatch, CompareLabel(output, L"D4 1D 8C D9 8F 00 B2 04 E9 80 09 98 EC F8 42 7E"));
}

std::wstring ClipboardText() {
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

TEST(ToolsClipboard, ACopyWaitsForAnotherHolderForAboutHalfASecond) {
    ASSERT_TRUE(Lumo::System::SetClipboardText(L"before"));
    EXPECT_EQ(L"before", ClipboardText());
    // Another thread holds the clipboard for 200 ms: the copy still lands.
    for (DWORD holdMs : {200u, 1500u}) {
        HANDLE opened = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread holder([&] {
            // Programs hold the clipboard with a window of theirs.
            HWND window =
                ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
            const BOOL open = ::OpenClipboard(window);
            ::SetEvent(opened);
            ::Sleep(holdMs);
            if (open) ::CloseClipboard();
            ::DestroyWindow(window);
        });
        ::WaitForSingleObject(opened, INFINITE);
        const ULONGLONG start = ::GetTickCount64();
        const std::wstring text = holdMs < 500 ? L"copied\r\n" : L"too late";
        const bool copied = Lumo::System::SetClipboardText(text);
        const ULONGLONG took = ::GetTickCount64() - start;
        holder.join();
        ::CloseHandle(opened);
        if (holdMs < 500) {
            EXPECT_TRUE(copied);
            EXPECT_EQ(L"copied\r\n", ClipboardText());
        } else {
            // Held for longer than the retry time: the copy gives up, leaving the clipboard as it was.
            EXPECT_FALSE(copied);
            EXPECT_LT(took, static_cast<ULONGLONG>(holdMs)) << "gave up while the other still held it";
            EXPECT_EQ(L"copied\r\n", ClipboardText());
        }
    }
}

}  // namespace

// Name lists of the copy tools, with shortcuts resolved by the real shell; the
// checksum comparison label; clipboard text while another program holds it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "support/ShellHost.h"
#include "support/TestSupport.h"
#include "system/Clipboard.h"
#include "tools/HashCompare.h"
#include "tools/NameList.h"

using namespace Lumo::Tools;

namespace {

// Option sets as bits: 0x01 files, 0x02 folders, 0x04 resolve, 0x08 full path, 0x20 extension,
// 0x200 sort; 0x057B is the Copy Path Name set.
CopyNameOptions With(unsigned set, unsigned clear = 0) {
    return CopyNameOptions::Unpack(static_cast<uint16_t>((0x057B | set) & ~clear));
}

TEST(ToolsNameList, BuildsTheLinesTheOptionsAskFor) {
    const NameListItem file{Lumo::Data::File, L"C:\\Data\\Report.Final.txt"},
        folder{Lumo::Data::Folder, L"C:\\Data\\Work"}, drive{Lumo::Data::Drive, L"C:\\"},
        other{Lumo::Data::Other, L"::{20D04FE0}"}, link{Lumo::Data::Shortcut, L"C:\\l\\x.lnk"};
    const struct {
        const char* what;
        std::vector<NameListItem> items;
        CopyNameOptions options;
        std::wstring expected;
    } cases[] = {
        {"path names",
         {folder, file, drive, link},
         CopyPathNameOptions(),
         L"C:\\Data\\Work\\\r\nC:\\Data\\Report.Final.txt\r\nC:\\\r\nC:\\l\\x.lnk\r\n"},
        {"file names",
         {folder, file, link, other},
         CopyFileNameOptions(),
         L"Report.Final.txt\r\nx.lnk\r\n::{20D04FE0}\r\n"},
        {"both types off", {file, folder, other}, With(0, 0x03), L""},
        {"leaf: no line for a drive root, Work\\", {drive, folder}, With(0, 0x08), L"Work\\\r\n"},
        {"no extension: from the leaf's last dot; x.lnk is x",
         {file, {Lumo::Data::File, L"C:\\v1.2\\README"}, link},
         With(0, 0x20),
         L"C:\\Data\\Report.Final\r\nC:\\v1.2\\README\r\nC:\\l\\x\r\n"},
        {"ordinal sort: B before a",
         {{Lumo::Data::File, L"a"}, {Lumo::Data::File, L"\u00e9"}, {Lumo::Data::File, L"B"}},
         With(0x200),
         L"B\r\na\r\n\u00e9\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, BuildNameList(c.items, c.options)) << c.what;
    EXPECT_EQ(0x057B, CopyNameOptions{}.Pack()) << "the dialog starts from the path-name set";
    EXPECT_EQ(0x0571, CopyFileNameOptions().Pack());
}

TEST(ToolsNameList, RealShortcutsResolveWithoutBeingRewritten) {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        QuelvarTest::TempFolder temp;
        ASSERT_TRUE(::CreateDirectoryW(temp.File(L"Target").c_str(), nullptr));
        QuelvarTest::CreateShortcut(temp.File(L"to.lnk"), temp.File(L"Target"));
        QuelvarTest::WriteFileBytes(temp.File(L"broken.lnk"), "not a shell link");
        const std::string before = QuelvarTest::ReadFileBytes(temp.File(L"to.lnk"));
        const std::vector<NameListItem> links = {{Lumo::Data::Shortcut, temp.File(L"to.lnk")},
                                                 {Lumo::Data::Shortcut, temp.File(L"broken.lnk")}};
        EXPECT_EQ(L"Target\\\r\n", BuildNameList(links, With(0x04, 0x08)));
        EXPECT_EQ(L"", BuildNameList(links, With(0x04, 0x02))) << "a folder target is a folder";
        EXPECT_EQ(before, QuelvarTest::ReadFileBytes(temp.File(L"to.lnk")));
    }
    ::CoUninitialize();
}

TEST(ToolsHashCompare, LabelFollowsTheStrippingAndCaseRules) {
    const std::wstring output = L"d41d8cd98f00b204e9800998ecf8427e";
    const std::wstring prompt = L"Compare with [Paste text below]", match = L"Compare with [Match]",
                       mismatch = L"Compare with [Not Match]";
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"", prompt},
        {L"  \r\n ", prompt},
        {L"D41D8CD98F00B204E9800998ECF8427E", match},
        {L"d4 1d 8c d9 8f 00 b2 04 e9 80 09 98 ec f8 42 7e", match},
        {L"D41D8CD98F00B204\r\nE9800998ECF8427E\r\n", match},
        {output + L"\t", mismatch},
        {L"d41d8cd98f00b204\ne9800998ecf8427e", mismatch},
        {output.substr(1), mismatch},
    };
    for (const auto& [pasted, label] : cases) EXPECT_EQ(label, CompareLabel(pasted, output));
    EXPECT_EQ(match, CompareLabel(output, L"D4 1D 8C D9 8F 00 B2 04 E9 80 09 98 EC F8 42 7E"));
}

TEST(ToolsClipboard, ACopyWaitsForAnotherProgramThatHoldsTheClipboardForAMoment) {
    HANDLE opened = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        // Programs hold the clipboard with a window of theirs, here for 200 ms.
        HWND window =
            ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        const BOOL open = ::OpenClipboard(window);
        ::SetEvent(opened);
        ::Sleep(200);
        if (open) ::CloseClipboard();
        ::DestroyWindow(window);
    });
    ::WaitForSingleObject(opened, INFINITE);
    EXPECT_TRUE(Lumo::System::SetClipboardText(L"copied\r\n"));
    holder.join();
    ::CloseHandle(opened);
    ASSERT_TRUE(::OpenClipboard(nullptr));
    const auto* text = static_cast<const wchar_t*>(::GlobalLock(::GetClipboardData(CF_UNICODETEXT)));
    EXPECT_EQ(L"copied\r\n", std::wstring(text ? text : L"<none>"));
    ::GlobalUnlock(::GetClipboardData(CF_UNICODETEXT));
    ::CloseClipboard();
}

}  // namespace

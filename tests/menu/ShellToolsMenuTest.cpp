// "Shell &Tools" through the test shell host and the shell's own data objects:
// entries by selection, the command prompt's folder, the clipboard after each
// copy, the checksum messages, and the progress window of a long checksum.
#include "MenuTestSupport.h"

#include <wincodec.h>

#include <map>
#include <thread>

#include "menu/ChecksumProgress.h"
#include "support/DialogDriver.h"
#include "tools/ChecksumWindow.h"
#include "shellext/GotoFavorite.h"
#include "system/Clipboard.h"
#include "tools/HashCalculator.h"
#include "win/ModuleReference.h"

using namespace Lumo::ShellExt;
using namespace Lumo::Menu;

using namespace MenuTest;

namespace {

std::wstring ClipboardText() {
    std::wstring text;
    if (!::OpenClipboard(nullptr)) return L"<clipboard busy>";
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) text = chars;
        ::GlobalUnlock(data);
    }
    ::CloseClipboard();
    return text;
}

std::wstring TextOf(HWND window) {
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return text;
}

// Writes what the screen shows of `window` as a PNG file through WIC.
bool SaveWindowPng(HWND window, const std::wstring& path) {
    RECT r{};
    ::GetWindowRect(window, &r);
    QuelvarTest::Canvas canvas(r.right - r.left, r.bottom - r.top, 0);
    HDC screen = ::GetDC(nullptr);
    ::BitBlt(canvas.Dc(), 0, 0, canvas.Width(), canvas.Height(), screen, r.left, r.top, SRCCOPY);
    ::ReleaseDC(nullptr, screen);
    Lumo::Win::ComPtr<IWICImagingFactory> factory;
    Lumo::Win::ComPtr<IWICBitmap> bitmap;
    Lumo::Win::ComPtr<IWICStream> stream;
    Lumo::Win::ComPtr<IWICBitmapEncoder> encoder;
    Lumo::Win::ComPtr<IWICBitmapFrameEncode> frame;
    const auto shown = static_cast<HBITMAP>(::GetCurrentObject(canvas.Dc(), OBJ_BITMAP));
    return SUCCEEDED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IWICImagingFactory, factory.put_void())) &&
           SUCCEEDED(factory->CreateBitmapFromHBITMAP(shown, nullptr, WICBitmapIgnoreAlpha, bitmap.put())) &&
           SUCCEEDED(factory->CreateStream(stream.put())) &&
           SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
           SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put())) &&
           SUCCEEDED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) &&
           SUCCEEDED(encoder->CreateNewFrame(frame.put(), nullptr)) &&
           SUCCEEDED(frame->Initialize(nullptr)) && SUCCEEDED(frame->WriteSource(bitmap.get(), nullptr)) &&
           SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

const std::wstring kPrompt = L"&DOS Prompt Here", kPath = L"Copy &Path Name", kFile = L"Copy &File Name",
                   kAdvanced = L"&Advanced Copy Name...", kMd5 = L"Calculate &MD5",
                   kSha1 = L"Calculate &SHA1", kVerify = L"&Verify Checksums...",
                   kCreate = L"&Create Checksum File...";

class ShellToolsMenuTest : public MenuFixture {
protected:
    void SetUp() override {
        MenuFixture::SetUp();
        ASSERT_TRUE(::CreateDirectoryW(temp.File(L"Work").c_str(), nullptr));
        QuelvarTest::WriteFileBytes(temp.File(L"a.txt"), "");
        QuelvarTest::WriteFileBytes(temp.File(L"b.txt"), "b");
        QuelvarTest::CreateShortcut(temp.File(L"x.lnk"), temp.File(L"a.txt"));
        ASSERT_TRUE(Lumo::System::SetClipboardText(L"untouched"));
    }
    // A right-click on `names` (on the temp folder's background when there are none); opens Shell Tools.
    HMENU OpenTools(const std::vector<std::wstring>& names) {
        host->CreateHandler();
        EXPECT_EQ(S_OK,
                  names.empty() ? host->InitializeBackground(Folder()) : host->InitializeSelection(names));
        EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), host->QueryContextMenu());
        return OpenEntry(host->OpenQuelvarSubmenu(), L"Shell &Tools");
    }
    void Choose(HMENU tools, const std::wstring& label) {
        auto item = ItemOf(tools, label);
        ASSERT_TRUE(item) << "no entry " << std::string(label.begin(), label.end());
        item->Execute(Navigation::Target{host->Window()});
    }
    std::wstring Folder() const { return temp.Path().substr(0, temp.Path().size() - 1); }

    QuelvarTest::MessageBoxDriver boxes;
};

TEST_F(ShellToolsMenuTest, EntriesPromptFolderAndCopiesFollowTheSelection) {
    const std::wstring work = temp.File(L"Work"), a = temp.File(L"a.txt"), b = temp.File(L"b.txt");
    const std::vector<std::wstring> forFolder = {kPrompt, L"-", kPath, kAdvanced, L"-", kCreate};
    const std::vector<std::wstring> forFiles = {kPrompt, L"-", kPath, kFile, kAdvanced, L"-", kCreate};
    QuelvarTest::WriteFileBytes(temp.File(L"x.SFV"), "");
    const struct {
        const char* what;
        std::vector<std::wstring> selection, entries;
        std::wstring promptFolder, copyEntry, copied;
    } cases[] = {
        {"background", {}, {kPrompt}, Folder(), L"", L""},
        {"one folder", {work}, forFolder, work, kPath, work + L"\\\r\n"},
        {"a drive root", {L"C:\\"}, {kPrompt, L"-", kPath, kAdvanced}, L"C:\\", kPath, L"C:\\\r\n"},
        {"one file",
         {a},
         {kPrompt, L"-", kPath, kFile, kAdvanced, L"-", kMd5, kSha1, L"More &Hash Algorithm...", L"-",
          kCreate},
         Folder(),
         kFile,
         L"a.txt\r\n"},
        {"two files, in selection order", {b, a}, forFiles, Folder(), kFile, L"b.txt\r\na.txt\r\n"},
        {"a shortcut alone: its own name",
         {temp.File(L"x.lnk")},
         {kPrompt, L"-", kPath, kFile, kAdvanced},
         Folder(),
         kFile,
         L"x.lnk\r\n"},
        {"a file and a checksum list",
         {a, temp.File(L"x.SFV")},
         {kPrompt, L"-", kPath, kFile, kAdvanced, L"-", kVerify, kCreate},
         Folder(),
         kFile,
         L"a.txt\r\nx.SFV\r\n"},
        {"a folder and a file", {work, a}, forFiles, Folder(), kPath, work + L"\\\r\n" + a + L"\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HMENU tools = OpenTools(c.selection);
        EXPECT_EQ(c.entries, host->Labels(tools));
        launches.clear();
        Choose(tools, kPrompt);
        ASSERT_EQ(1u, launches.size());
        EXPECT_EQ(L"open|cmd.exe||" + c.promptFolder, launches[0].verb + L"|" + launches[0].file + L"|" +
                                                          launches[0].parameters + L"|" +
                                                          launches[0].directory);
        EXPECT_EQ(SW_SHOWNORMAL, launches[0].show);
        if (!c.copyEntry.empty()) Choose(tools, c.copyEntry);
        EXPECT_EQ(c.copyEntry.empty() ? L"untouched" : c.copied, ClipboardText());
        EXPECT_TRUE(boxes.Seen().empty());
        EndContextMenu();
    }
}

// A menu looks at no more than the first 16 items while it opens, however
// large the selection; the commands read the whole selection when chosen.
TEST_F(ShellToolsMenuTest, LargeSelectionsAreJudgedByTheirFirstItemsAndCopiedWhole) {
    const std::wstring a = temp.File(L"a.txt");
    std::vector<std::wstring> folders;
    for (int i = 0; i < 20; ++i) {
        folders.push_back(temp.File(L"F" + std::to_wstring(i)));
        ASSERT_TRUE(::CreateDirectoryW(folders.back().c_str(), nullptr));
    }
    // `files` times a.txt, then the first folder.
    auto filesThenFolder = [&](size_t files) {
        std::vector<std::wstring> names(files, a);
        names.push_back(folders[0]);
        return names;
    };
    const std::vector<std::wstring> forFiles = {kPrompt, L"-", kPath, kFile, kAdvanced, L"-", kCreate};
    const struct {
        const char* what;
        std::vector<std::wstring> first;  // the first items; a.txt fills up to `count`
        size_t count;
        std::wstring addLabel, addHelp;
        std::vector<std::wstring> tools;
    } cases[] = {
        {"16 items, the folder last", filesThenFolder(15), 16, L"&Add Folder to Favorites",
         L"Add \"" + folders[0] + L"\" to favorites", forFiles},
        {"17 items, the folder 17th: not seen, the entry disabled", filesThenFolder(16), 17,
         L"&Add Folder to Favorites", L"", forFiles},
        // Only folders among the first 16: no "Copy &File Name", though files follow.
        {"5,000 items, 20 folders first",
         folders,
         5000,
         L"&Add Folders to Favorites",
         L"Add selected folders to favorites",
         {kPrompt, L"-", kPath, kAdvanced, L"-", kCreate}},
    };
    Lumo::Win::UniqueIdList parent = QuelvarTest::ParseName(Folder());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::wstring> names = c.first;
        names.resize(c.count, a);
        std::map<std::wstring, Lumo::Win::UniqueIdList> parsed;
        std::vector<PCUIDLIST_RELATIVE> children;
        for (const auto& name : names) {
            auto& list = parsed[name];
            if (!list) list = QuelvarTest::ParseName(name);
            children.push_back(::ILFindLastID(list.get()));
        }

        const long before = Lumo::Data::ItemsExaminedSoFar();
        host->CreateHandler();
        ASSERT_EQ(S_OK, host->Initialize(nullptr, QuelvarTest::CidaDataObject(parent.get(), children).get()));
        ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), host->QueryContextMenu());
        HMENU main = host->OpenQuelvarSubmenu();
        HMENU tools = OpenEntry(main, L"Shell &Tools");
        // One look at the first 16 items for the main submenu's add entry, one for Shell Tools.
        EXPECT_EQ(static_cast<long>(2 * Lumo::Data::kItemsSeenWhileMenuOpens),
                  Lumo::Data::ItemsExaminedSoFar() - before);

        auto add = ItemOf(main, c.addLabel);
        ASSERT_TRUE(add);
        EXPECT_EQ(c.addHelp, add->helpText);
        EXPECT_EQ(c.addHelp.empty(), add->Has(OddBase::ItemDisabled));
        EXPECT_EQ(c.tools, host->Labels(tools));
        std::wstring expected;
        for (const auto& name : names) expected += name + (name == a ? L"\r\n" : L"\\\r\n");
        Choose(tools, kPath);
        EXPECT_EQ(expected, ClipboardText());
        host->CloseAll();
        if (c.count == 5000) {
            boxes.Answer(IDOK);
            boxes.Answer(IDOK);
            add->Execute(Navigation::Target{host->Window()});
            ASSERT_EQ(2u, boxes.Seen().size());
            EXPECT_EQ(L"Folders added successfully", boxes.Seen()[1].text);
            EXPECT_EQ(folders, StoredFavorites());
        }
        EndContextMenu();
    }
}

TEST_F(ShellToolsMenuTest, ChecksumsAreShownQuotedAndCopiedBareAndAVanishedOrUnreadableFileIsAnError) {
    const std::wstring b = temp.File(L"b.txt");
    const std::wstring heldFile = temp.File(L"c.txt");
    QuelvarTest::WriteFileBytes(heldFile, "c");
    const std::wstring unreadable = HashReadFailureText(heldFile, ERROR_SHARING_VIOLATION);
    const struct {
        std::wstring file, entry, caption, text, clipboard;
        bool held = false;  // by another program that shares nothing
    } cases[] = {
        {temp.File(L"a.txt"), kMd5, L"Result",
         L"\"D41D8CD98F00B204E9800998ECF8427E\"\r\n\r\nResult string has been copied to clipboard",
         L"D41D8CD98F00B204E9800998ECF8427E"},
        {temp.File(L"a.txt"), kSha1, L"Result",
         L"\"DA39A3EE5E6B4B0D3255BFEF95601890AFD80709\"\r\n\r\nResult string has been copied to clipboard",
         L"DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
        {b, kMd5, L"Error", L"File [" + b + L"] not exist", L"untouched"},  // deleted after the menu opened
        {heldFile, kMd5, L"Error", unreadable, L"untouched", true},
        {heldFile, kSha1, L"Error", unreadable, L"untouched", true},
    };
    for (const auto& c : cases) {
        HMENU tools = OpenTools({c.file});
        Lumo::Win::UniqueFile held;
        if (c.held) {
            held.reset(::CreateFileW(c.file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(held);
        } else if (c.caption == L"Error") {
            ASSERT_TRUE(::DeleteFileW(c.file.c_str()));
        }
        boxes.Clear();
        ASSERT_TRUE(Lumo::System::SetClipboardText(L"untouched"));
        Choose(tools, c.entry);
        ASSERT_EQ(1u, boxes.Seen().size());
        const auto& box = boxes.Seen()[0];
        EXPECT_EQ(c.caption, box.caption);
        EXPECT_EQ(c.text, box.text);
        EXPECT_EQ(std::vector<std::wstring>{L"OK"}, box.buttons);
        EXPECT_EQ(host->Window(), box.owner);
        EXPECT_EQ(c.clipboard, ClipboardText());
        EndContextMenu();
    }
}

// The list commands return at once and leave a window of their own, owned by nobody, on a thread of its own.
TEST_F(ShellToolsMenuTest, TheChecksumListCommandsOpenTheirOwnWindows) {
    const std::wstring list = temp.File(L"sums.sha1");
    QuelvarTest::WriteFileBytes(list, "e9d71f5ee7c92d6dc9e92ffdad17b8bd49418f98  b.txt\n");
    HMENU tools = OpenTools({temp.File(L"b.txt"), list});
    const struct {
        std::wstring entry, help, caption;
        int control;
        std::wstring text;
    } cases[] = {
        {kVerify, L"Verify the files listed in the selected checksum files",
         Lumo::Tools::kVerifyChecksumsTitle, Lumo::Tools::kChecksumStatus,
         L"1 file: 1 OK, 0 FAILED, 0 MISSING, 0 UNREADABLE"},
        {kCreate, L"Create a checksum file for the selected files and folders",
         Lumo::Tools::kCreateChecksumFileTitle, Lumo::Tools::kCreateFileName, temp.File(L"b.txt.sha256")},
    };
    for (const auto& c : cases) {
        auto item = ItemOf(tools, c.entry);
        ASSERT_TRUE(item);
        EXPECT_EQ(c.help, item->helpText);
        item->Execute(Navigation::Target{host->Window()});
        HWND window = nullptr;
        std::wstring text;
        QuelvarTest::WaitUntil(
            [&] {
                window = ::FindWindowW(L"#32770", c.caption.c_str());
                text = window ? TextOf(::GetDlgItem(window, c.control)) : L"";
                return text == c.text;
            },
            10000);
        EXPECT_EQ(c.text, text);
        ASSERT_TRUE(window);
        EXPECT_EQ(nullptr, ::GetWindow(window, GW_OWNER));
        EXPECT_NE(::GetCurrentThreadId(), ::GetWindowThreadProcessId(window, nullptr));
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_TRUE(QuelvarTest::WaitUntil([&] { return !::IsWindow(window); }));
    }
    EXPECT_TRUE(boxes.Seen().empty());
    EndContextMenu();
}

TEST_F(ShellToolsMenuTest, ALongChecksumShowsAProgressWindowWhoseCancelShowsAndCopiesNothing) {
    const std::wstring big = temp.File(L"big.bin");
    {
        Lumo::Win::UniqueFile file(
            ::CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        LARGE_INTEGER end{};
        end.QuadPart = 8LL << 30;  // sparse on this file system: no disk space
        ASSERT_TRUE(::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.get()));
    }
    HMENU tools = OpenTools({big});
    auto md5 = ItemOf(tools, kMd5);
    ASSERT_TRUE(md5);
    host->CloseAll();
    const LONG idleReferences = Lumo::Win::ModuleReference::Count();
    const HWND owner = ::GetActiveWindow() ? ::GetActiveWindow() : host->Window();

    // The user, on another thread: waits for the window, looks, and presses Cancel as a click does.
    std::wstring seen;
    std::thread user([&] {
        HWND window = nullptr;
        for (int tries = 0; tries < 1000 && !(window && ::IsWindowVisible(window)); ++tries, ::Sleep(10))
            window = ::FindWindowW(kChecksumProgressClass, nullptr);
        if (!window || !::IsWindowVisible(window)) return;
        const std::wstring first = TextOf(::GetDlgItem(window, kChecksumProgressText));
        ::Sleep(700);
        const std::wstring later = TextOf(::GetDlgItem(window, kChecksumProgressText));
        ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        const bool saved =
            SaveWindowPng(window, QuelvarTest::ProgramFolder() + L"..\\checksum-progress-96dpi.png");
        ::CoUninitialize();
        seen = TextOf(window) + L"|" + TextOf(::GetDlgItem(window, IDCANCEL)) + L"|" +
               (::GetWindow(window, GW_OWNER) == owner ? L"owned" : L"not owned") + L"|" +
               (::IsWindowEnabled(owner) ? L"owner enabled" : L"owner disabled") + L"|" +
               (first.rfind(L"Calculating MD5... ", 0) == 0 && first != later ? L"advancing"
                                                                              : first + L"/" + later) +
               (saved ? L"" : L"|no screenshot");
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(window, IDCANCEL)));
    });
    md5->Execute(Navigation::Target{host->Window()});
    user.join();
    EXPECT_EQ(L"Calculate MD5|Cancel|owned|owner disabled|advancing", seen);
    // Cancelled: no message, nothing copied, the owner usable again, the window and the worker gone.
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_EQ(L"untouched", ClipboardText());
    EXPECT_TRUE(::IsWindowEnabled(owner));
    EXPECT_EQ(nullptr, ::FindWindowW(kChecksumProgressClass, nullptr));
    for (int tries = 0; tries < 100 && Lumo::Win::ModuleReference::Count() != idleReferences; ++tries)
        ::Sleep(10);
    EXPECT_EQ(idleReferences, Lumo::Win::ModuleReference::Count())
        << "the worker outlived the cancel by a second";
}

}  // namespace

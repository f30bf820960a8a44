// What Initialize captures from real shell data objects, how the selection is
// classified, the folder test of the favorites, and the refusal while a
// browser's own popup menu window is open.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "shellext/GotoFavorite.h"
#include "system/Selection.h"
#include "shellext/ThreadMenuState.h"
#include "system/Path.h"

using namespace ShellExt;

using namespace QuelvarTest;
using Lumo::Win::ComPtr;
using Lumo::Win::UniqueIdList;

namespace {

constexpr wchar_t kMyComputer[] = L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
constexpr wchar_t kControlPanel[] =
    L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{21EC2020-3AEA-1069-A2DD-08002B30309D}";

class SelectionTest : public EngineTest::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        host_.CreateHandler();
        // The folder the items live in, without its trailing backslash.
        folder_ = items_.Path().substr(0, items_.Path().size() - 1);
        ::CreateDirectoryW(items_.File(L"Sub").c_str(), nullptr);
        WriteFileBytes(items_.File(L"note.txt"), "text");
        CreateShortcut(items_.File(L"note.lnk"), items_.File(L"note.txt"));
    }

    std::vector<std::wstring> Paths(const Data::SelectedItemsInfo& info) {
        std::vector<std::wstring> paths;
        for (const auto& item : info.itemInfos) paths.push_back(item->path);
        return paths;
    }

    TempFolder items_;
    std::wstring folder_;
    ShellHost host_;
};

TEST_F(SelectionTest, BackgroundClickKeepsTheFolderAndNoItems) {
    ASSERT_EQ(S_OK, host_.InitializeBackground(folder_));
    CGotoFavorite* handler = host_.Object();
    EXPECT_EQ(folder_, handler->Context()->FolderPath());
    EXPECT_TRUE(handler->Context()->Folder());
    EXPECT_EQ(0u, handler->Context()->ItemCount());
    auto info = handler->Context()->GetSelectedItemsInfo();
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->itemInfos.empty());
    EXPECT_TRUE(info->folderIndexes.empty() && info->fileIndexes.empty() && info->driveIndexes.empty() &&
                info->shortcutIndexes.empty());
}

TEST_F(SelectionTest, CidaWithoutItemsIsRefusedWhileOneItemIsTaken) {
    UniqueIdList parent = ParseName(folder_);
    ASSERT_EQ(E_INVALIDARG, host_.Initialize(nullptr, CidaDataObject(parent.get(), {}).get()));
    EXPECT_EQ(0u, host_.Object()->Context()->ItemCount());

    // The same data object with one item is accepted: the refusal is about the count.
    UniqueIdList note = ParseName(items_.File(L"note.txt"));
    ASSERT_EQ(S_OK,
              host_.Initialize(nullptr, CidaDataObject(parent.get(), {::ILFindLastID(note.get())}).get()));
    ASSERT_EQ(1u, host_.Object()->Context()->ItemCount());
    EXPECT_EQ(folder_, host_.Object()->Context()->FolderPath());
    EXPECT_TRUE(::ILIsEqual(parent.get(), host_.Object()->Context()->Folder()));
}

// A data object whose CIDA lies about its counts, offsets or list lengths is
// refused or has its bad items left out; nothing is read outside the block.
TEST_F(SelectionTest, MalformedCidaBlocksAreRefusedWithoutReadingOutsideThem) {
    UniqueIdList parent = ParseName(folder_);
    UniqueIdList note = ParseName(items_.File(L"note.txt"));
    const auto* child = ::ILFindLastID(note.get());
    auto valid = [&] {
        ComPtr<IDataObject> object = CidaDataObject(parent.get(), {child});
        FORMATETC format{static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(L"Shell IDList Array")), nullptr,
                         DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium{};
        EXPECT_EQ(S_OK, object->GetData(&format, &medium));
        const BYTE* bytes = static_cast<const BYTE*>(::GlobalLock(medium.hGlobal));
        std::vector<BYTE> copy(bytes, bytes + ::GlobalSize(medium.hGlobal));
        ::GlobalUnlock(medium.hGlobal);
        ::ReleaseStgMedium(&medium);
        return copy;
    };
    auto word = [](std::vector<BYTE>& block, size_t at) -> UINT& {
        return *reinterpret_cast<UINT*>(&block[at]);
    };
    const std::vector<BYTE> good = valid();
    ASSERT_EQ(S_OK, host_.Initialize(nullptr, RawCidaDataObject(good).get()));

    std::vector<BYTE> hugeCount = good;
    word(hugeCount, 0) = 0x7FFFFFFF;
    EXPECT_EQ(E_INVALIDARG, host_.Initialize(nullptr, RawCidaDataObject(hugeCount).get()));

    std::vector<BYTE> parentOutside = good;
    word(parentOutside, 4) = 0x00100000;
    EXPECT_EQ(E_INVALIDARG, host_.Initialize(nullptr, RawCidaDataObject(parentOutside).get()));

    std::vector<BYTE> itemOutside = good;
    word(itemOutside, 8) = static_cast<UINT>(good.size() + 64);
    EXPECT_EQ(E_INVALIDARG, host_.Initialize(nullptr, RawCidaDataObject(itemOutside).get()));
    EXPECT_EQ(0u, host_.Object()->Context()->ItemCount());

    // The item's first length runs past the end of the block.
    std::vector<BYTE> longItem = good;
    const UINT itemOffset = word(longItem, 8);
    *reinterpret_cast<USHORT*>(&longItem[itemOffset]) = 0xFFF0;
    EXPECT_EQ(E_INVALIDARG, host_.Initialize(nullptr, RawCidaDataObject(longItem).get()));

    std::vector<BYTE> tooShort(good.begin(), good.begin() + 2);
    EXPECT_EQ(E_INVALIDARG, host_.Initialize(nullptr, RawCidaDataObject(tooShort).get()));
}

TEST_F(SelectionTest, RealItemsAreClassifiedAsFolderFileShortcutAndDrive) {
    ASSERT_EQ(S_OK, host_.InitializeSelection(
                        {items_.File(L"Sub"), items_.File(L"note.txt"), items_.File(L"note.lnk")}));
    CGotoFavorite* handler = host_.Object();
    EXPECT_EQ(folder_, handler->Context()->FolderPath());
    ASSERT_EQ(3u, handler->Context()->ItemCount());
    auto info = handler->Context()->GetSelectedItemsInfo();
    ASSERT_EQ(3u, info->itemInfos.size());
    EXPECT_EQ(
        (std::vector<std::wstring>{items_.File(L"Sub"), items_.File(L"note.txt"), items_.File(L"note.lnk")}),
        Paths(*info));
    EXPECT_EQ(Data::Folder, info->itemInfos[0]->kind);
    EXPECT_EQ(Data::File, info->itemInfos[1]->kind) << std::hex << info->itemInfos[1]->attributes;
    EXPECT_EQ(Data::Shortcut, info->itemInfos[2]->kind) << std::hex << info->itemInfos[2]->attributes;
    EXPECT_EQ(std::list<int>{0}, info->folderIndexes);
    EXPECT_EQ(std::list<int>{1}, info->fileIndexes);
    EXPECT_EQ(std::list<int>{2}, info->shortcutIndexes);
    EXPECT_TRUE(info->driveIndexes.empty());
    EXPECT_EQ(items_.File(L"note.lnk"), info->GetItemPath(2));

    // A drive root: the same folder attributes, a three-character name.
    ASSERT_EQ(S_OK, host_.InitializeSelection({L"C:\\"}));
    info = handler->Context()->GetSelectedItemsInfo();
    ASSERT_EQ(1u, info->itemInfos.size());
    EXPECT_EQ(L"C:\\", info->itemInfos[0]->path);
    EXPECT_EQ(Data::Drive, info->itemInfos[0]->kind);
    EXPECT_EQ(std::list<int>{0}, info->driveIndexes);
    EXPECT_TRUE(info->folderIndexes.empty());
}

// A folder whose name is longer than MAX_PATH keeps its whole name, and is one
// the favorites can hold.
TEST_F(SelectionTest, AFolderLongerThanMaxPathKeepsItsWholeName) {
    const std::wstring deep = items_.File(std::wstring(200, L'd')) + L"\\" + std::wstring(200, L'e');
    ASSERT_TRUE(::CreateDirectoryW(Lumo::FileSystem::LongPathForm(deep.substr(0, deep.rfind(L'\\'))).c_str(),
                                   nullptr));
    ASSERT_TRUE(::CreateDirectoryW(Lumo::FileSystem::LongPathForm(deep).c_str(), nullptr));
    PIDLIST_ABSOLUTE parsed = nullptr;
    if (FAILED(::SHParseDisplayName(deep.c_str(), nullptr, &parsed, 0, nullptr))) {
        GTEST_SKIP() << "this shell cannot name a folder whose path is longer than MAX_PATH "
                        "(SHParseDisplayName and IShellFolder::ParseDisplayName fail with 0x80070002)";
    }
    ::ILFree(parsed);
    ASSERT_EQ(S_OK, host_.InitializeSelection({deep}));
    CGotoFavorite* handler = host_.Object();
    EXPECT_EQ((std::vector<std::wstring>{deep}), Paths(*handler->Context()->GetSelectedItemsInfo()));
    EXPECT_EQ(std::vector<std::wstring>{deep},
              handler->Context()->NavigableSelectedFolders(Data::kItemsSeenWhileMenuOpens));
}

TEST_F(SelectionTest, ClassificationRulesOnAttributeMasks) {
    EXPECT_EQ(Data::Shortcut, Data::SelectedItemsInfo::Classify(0x40410000 | 0x70000000, L"C:\\x.lnk"));
    EXPECT_EQ(Data::Drive, Data::SelectedItemsInfo::Classify(0x70000000, L"D:\\"));
    EXPECT_EQ(Data::Folder, Data::SelectedItemsInfo::Classify(0x70000000, L"D:\\a"));
    EXPECT_EQ(Data::File, Data::SelectedItemsInfo::Classify(0x40400177, L"D:\\a.txt"));
    // One attribute short of each rule.
    EXPECT_EQ(Data::Other, Data::SelectedItemsInfo::Classify(0x40400176, L"D:\\a.txt"));
    EXPECT_EQ(Data::Other, Data::SelectedItemsInfo::Classify(0x60000000, L"D:\\"));
}

TEST_F(SelectionTest, VirtualItemsAreLeftOutOfTheSnapshot) {
    // Control Panel (a "::" name) and C:\ share their parent, My Computer.
    ComPtr<IDataObject> data;
    try {
        data = ShellDataObject({kControlPanel, L"C:\\"});
    } catch (const std::exception& e) {
        GTEST_SKIP() << "this shell has no Control Panel item under My Computer: " << e.what();
    }
    ASSERT_EQ(S_OK, host_.Initialize(nullptr, data.get()));
    CGotoFavorite* handler = host_.Object();
    EXPECT_EQ(0, ::lstrcmpiW(kMyComputer, handler->Context()->FolderPath().c_str()))
        << handler->Context()->FolderPath();
    ASSERT_EQ(2u, handler->Context()->ItemCount());
    auto info = handler->Context()->GetSelectedItemsInfo();
    ASSERT_EQ(1u, info->itemInfos.size());
    EXPECT_EQ(L"C:\\", info->itemInfos[0]->path);
    // The kept item's index counts only kept items.
    EXPECT_EQ(std::list<int>{0}, info->driveIndexes);
    EXPECT_TRUE(info->folderIndexes.empty() && info->fileIndexes.empty() && info->shortcutIndexes.empty());

    // A selection of nothing but virtual items yields an empty snapshot.
    UniqueIdList desktop;
    UniqueIdList computer = ParseName(kMyComputer);
    SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, desktop.put());
    ASSERT_EQ(S_OK, host_.Initialize(nullptr, CidaDataObject(desktop.get(), {computer.get()}).get()));
    EXPECT_TRUE(handler->Context()->GetSelectedItemsInfo()->itemInfos.empty());
}

TEST(NavigableFolderName, RootsAndExistingDirectoriesOnly) {
    TempFolder folder;
    EXPECT_TRUE(IsNavigableFolderName(L"C:\\"));
    EXPECT_TRUE(IsNavigableFolderName(folder.Path()));
    EXPECT_FALSE(IsNavigableFolderName(folder.File(L"missing")));
    WriteFileBytes(folder.File(L"file.txt"), "x");
    EXPECT_FALSE(IsNavigableFolderName(folder.File(L"file.txt")));
    EXPECT_FALSE(IsNavigableFolderName(L""));

    // A selected item's attributes answer for the file system: a missing path
    // with folder attributes passes, an archive shown as a folder does not.
    const SFGAOF folderBits = SFGAO_FILESYSTEM | SFGAO_FOLDER;
    EXPECT_TRUE(IsNavigableFolderItem(folder.File(L"missing"), folderBits));
    EXPECT_FALSE(IsNavigableFolderItem(folder.Path(), SFGAO_FILESYSTEM));
    EXPECT_FALSE(IsNavigableFolderItem(folder.File(L"a.zip"), folderBits | SFGAO_STREAM));
    EXPECT_TRUE(IsNavigableFolderItem(L"C:\\", 0));
    EXPECT_FALSE(IsNavigableFolderItem(L"\\\\x\\::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", folderBits));
}

TEST(NavigableFolderName, UncRootsPassUnlessTheyEndInAClassIdentifier) {
    EXPECT_TRUE(IsNavigableFolderName(L"\\\\server\\share"));
    EXPECT_TRUE(IsNavigableFolderName(L"\\\\server"));
    // A share root whose last 41 characters are a backslash, "::" and a braced class identifier.
    const std::wstring upper = L"\\\\x\\::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
    const std::wstring lower = L"\\\\x\\::{20d04fe0-3aea-1069-a2d8-08002b30309d}";
    ASSERT_GE(upper.size(), 42u);
    EXPECT_FALSE(IsNavigableFolderName(upper));
    EXPECT_FALSE(IsNavigableFolderName(lower));
    EXPECT_FALSE(IsNavigableFolderName(L"\\\\longer-server-name\\::{21EC2020-3AEA-1069-A2DD-08002B30309D}"));
    // Not a class identifier: a non-hex digit, a missing brace, a missing colon.
    EXPECT_TRUE(IsNavigableFolderName(L"\\\\x\\::{20D04FE0-3AEA-1069-A2D8-08002B30309G}"));
    EXPECT_TRUE(IsNavigableFolderName(L"\\\\xy\\::{20D04FE0-3AEA-1069-A2D8-08002B30309D"));
    EXPECT_TRUE(IsNavigableFolderName(L"\\\\x\\:{20D04FE0-3AEA-1069-A2D8-08002B30309D}z"));
    // Shorter than 42 characters: never matched against the expression.
    EXPECT_TRUE(IsNavigableFolderName(L"\\\\x\\::{20D04FE0-3AEA}"));
    // A UNC name that is neither a root nor an existing directory.
    EXPECT_FALSE(IsNavigableFolderName(L"\\\\server\\share\\no\\such\\folder"));
}

TEST_F(SelectionTest, IsNavigableFolderReadsTheParsingName) {
    UniqueIdList drive = ParseName(L"C:\\");
    std::wstring name;
    EXPECT_TRUE(IsNavigableFolder(drive.get(), nullptr, &name));
    EXPECT_EQ(L"C:\\", name);
    UniqueIdList parent = ParseName(folder_);
    UniqueIdList sub = ParseName(items_.File(L"Sub"));
    EXPECT_TRUE(IsNavigableFolder(::ILFindLastID(sub.get()), parent.get(), &name));
    EXPECT_EQ(items_.File(L"Sub"), name);
    UniqueIdList note = ParseName(items_.File(L"note.txt"));
    EXPECT_FALSE(IsNavigableFolder(::ILFindLastID(note.get()), parent.get(), &name));
    EXPECT_EQ(items_.File(L"note.txt"), name);

    // A selected folder deleted since the selection was made: the shell's
    // identifier list still says folder, the file system no longer does.
    ::CreateDirectoryW(items_.File(L"Gone").c_str(), nullptr);
    UniqueIdList gone = ParseName(items_.File(L"Gone"));
    ASSERT_TRUE(::RemoveDirectoryW(items_.File(L"Gone").c_str()));
    const std::vector<PCUIDLIST_RELATIVE> selected = {::ILFindLastID(sub.get()), ::ILFindLastID(gone.get())};
    EXPECT_EQ(std::vector<std::wstring>{items_.File(L"Sub")}, NavigableFolders(parent.get(), selected));
}

// A top-level popup menu window made by the browser's UI module turns the
// handler away until the window is gone; one made by anybody else does not.
TEST_F(SelectionTest, BrowseUiMenuWindowRefusesInitializeUntilDestroyed) {
    Lumo::Win::UniqueModule browseUi(::LoadLibraryW(L"browseui.dll"));
    if (!browseUi) {
        // Any module will do as long as its file is called BROWSEUI.dll.
        ASSERT_TRUE(::CopyFileW((ProgramFolder() + L"Quelvar.dll").c_str(),
                                items_.File(L"BROWSEUI.dll").c_str(), FALSE));
        browseUi.reset(
            ::LoadLibraryExW(items_.File(L"BROWSEUI.dll").c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
    }
    ASSERT_TRUE(browseUi);
    wchar_t moduleName[MAX_PATH] = {};
    ::GetModuleFileNameW(static_cast<HMODULE>(browseUi.get()), moduleName, MAX_PATH);
    ASSERT_EQ(0, ::lstrcmpiW(::PathFindFileNameW(moduleName), L"browseui.dll")) << moduleName;

    ASSERT_EQ(S_OK, host_.InitializeBackground(folder_));
    {
        Lumo::Win::UniqueWindow menuWindow(
            ::CreateWindowExW(WS_EX_TOOLWINDOW, L"#32768", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              static_cast<HINSTANCE>(browseUi.get()), nullptr));
        ASSERT_TRUE(menuWindow);
        EXPECT_FALSE(EngineScope::State().outsideBrowseUiMenu);
        EXPECT_EQ(E_INVALIDARG, host_.InitializeBackground(folder_));
        EXPECT_EQ(E_INVALIDARG, host_.InitializeSelection({items_.File(L"note.txt")}));
    }
    EXPECT_TRUE(EngineScope::State().outsideBrowseUiMenu);
    EXPECT_EQ(S_OK, host_.InitializeBackground(folder_));
    EXPECT_EQ(S_OK, host_.InitializeSelection({items_.File(L"note.txt")}));

    // The same kind of window from another module changes nothing.
    Lumo::Win::UniqueWindow ownMenuWindow(::CreateWindowExW(WS_EX_TOOLWINDOW, L"#32768", L"", WS_POPUP, 0, 0,
                                                            10, 10, nullptr, nullptr,
                                                            ::GetModuleHandleW(nullptr), nullptr));
    ASSERT_TRUE(ownMenuWindow);
    EXPECT_EQ(S_OK, host_.InitializeBackground(folder_));
    // A BROWSEUI menu window with a parent is not a top-level menu: ignored too.
    Lumo::Win::UniqueWindow childMenu(::CreateWindowExW(WS_EX_TOOLWINDOW, L"#32768", L"", WS_POPUP, 0, 0, 10,
                                                        10, host_.Window(), nullptr,
                                                        static_cast<HINSTANCE>(browseUi.get()), nullptr));
    ASSERT_TRUE(childMenu);
    EXPECT_EQ(S_OK, host_.InitializeBackground(folder_));
}

}  // namespace

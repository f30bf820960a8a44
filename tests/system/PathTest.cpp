// The path parser: full-path expansion, long-path prefix, UNC and drive roots,
// file and folder parts, and every way a text fails to be a path.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "win/Errors.h"
#include "system/Path.h"

using Lumo::FileSystem::Path;

namespace {

constexpr unsigned kFile = Path::NamesFile;
constexpr unsigned kFolder = Path::NamesFolder;
constexpr unsigned kFull = Path::FullPath;

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

}  // namespace

TEST(PathParser, PartsOfFullFilePaths) {
    struct Case {
        const wchar_t* text;
        const wchar_t* stored;
        short flags, root, folder, name, extension;
        const wchar_t* folderPart;
        const wchar_t* namePart;
    } cases[] = {
        {L"C:\\dir\\file.txt", L"\\\\?\\C:\\dir\\file.txt", 1, 4, 7, 11, 15, L"C:\\dir\\", L"file.txt"},
        {L"C:\\file", L"\\\\?\\C:\\file", 1, 4, 7, 7, -1, L"C:\\", L"file"},
        {L"C:\\a.dir\\file", L"\\\\?\\C:\\a.dir\\file", 1, 4, 7, 13, -1, L"C:\\a.dir\\", L"file"},
        {L"C:\\x\\a.b.c", L"\\\\?\\C:\\x\\a.b.c", 1, 4, 7, 9, 12, L"C:\\x\\", L"a.b.c"},
        {L"\\\\server\\share\\dir\\a.txt", L"\\\\server\\share\\dir\\a.txt", 1 | 8, 0, 15, 19, 20,
         L"\\\\server\\share\\dir\\", L"a.txt"},
        {L"\\\\?\\C:\\x\\y.txt", L"\\\\?\\C:\\x\\y.txt", 1, 4, 7, 9, 10, L"C:\\x\\", L"y.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.text));
        Path path(c.text, kFull | kFile);
        EXPECT_EQ(c.stored, path.Text());
        EXPECT_EQ(c.flags, path.Info().flags);
        EXPECT_EQ(c.root, path.Info().rootStart);
        EXPECT_EQ(c.folder, path.Info().folderStart);
        EXPECT_EQ(c.name, path.Info().nameStart);
        EXPECT_EQ(c.extension, path.Info().extensionStart);
        EXPECT_EQ(c.folderPart, path.GetFolder());
        EXPECT_EQ(c.namePart, path.GetName());
    }
}

TEST(PathParser, FoldersRootsAndRelativeTexts) {
    Path folder(L"C:\\dir", kFull | kFolder);
    EXPECT_EQ(L"\\\\?\\C:\\dir\\", folder.Text());
    EXPECT_EQ(Path::ParseInfo::IsFolder, folder.Info().flags);
    EXPECT_EQ(L"", folder.GetFolder());
    EXPECT_EQ(L"", folder.GetName());

    Path root(L"C:", kFull | kFolder);
    EXPECT_EQ(L"\\\\?\\C:\\", root.Text());
    EXPECT_EQ(Path::ParseInfo::IsFolder | Path::ParseInfo::RootOnly, root.Info().flags);
    EXPECT_THROW(root.GetFolder(), Lumo::AnyError);

    Path share(L"\\\\server\\share", kFull | kFolder);
    EXPECT_EQ(Path::ParseInfo::IsFolder | Path::ParseInfo::IsUnc, share.Info().flags);
    EXPECT_EQ(15, share.Info().folderStart);

    // Without the full-path option the text is made absolute first.
    wchar_t current[MAX_PATH];
    DWORD length = ::GetCurrentDirectoryW(MAX_PATH, current);
    ASSERT_GT(length, 0u);
    std::wstring expectedFolder(current, length);
    if (expectedFolder.back() != L'\\') expectedFolder += L'\\';
    Path relative(L"sub\\x.txt", kFile);
    EXPECT_EQ(expectedFolder + L"sub\\", relative.GetFolder());
    EXPECT_EQ(L"x.txt", relative.GetName());
    Path dotted(L"C:\\one\\..\\two\\n.ext", kFile);
    EXPECT_EQ(L"C:\\two\\", dotted.GetFolder());
    EXPECT_EQ(12, dotted.Info().extensionStart);

    // A stored path is parsed later on demand.
    Path stored(L"C:\\later\\f.txt", Path::StoreOnly);
    EXPECT_EQ(L"C:\\later\\f.txt", stored.Text());
    EXPECT_EQ(0, stored.Info().flags);
    EXPECT_THROW(stored.GetFolder(), Lumo::AnyError);
    stored.Parse(kFull | kFile);
    EXPECT_EQ(L"C:\\later\\", stored.GetFolder());
}

TEST(PathParser, TextsThatAreNotPathsFail) {
    struct Case {
        const wchar_t* text;
        unsigned options;
    } failures[] = {
        {L"", kFull | kFile},
        {L"C", kFull | kFile},
        {L"C", kFile},
        {L"C:\\dir\\", kFull | kFile},  // a file name cannot end in a separator
        {L"C:/dir/", kFile},
        {L"file.txt", kFull | kFile},           // a full path needs a backslash
        {L"\\\\s", kFull | kFolder},            // UNC too short
        {L"\\\\server", kFull | kFile},         // no share
        {L"\\\\server\\share", kFull | kFile},  // nothing ends the share
        {L"C:", kFull},                         // shorter than a drive root
    };
    for (const Case& c : failures) {
        EXPECT_THROW(Path(c.text, c.options), Lumo::AnyError) << Narrow(c.text) << " options " << c.options;
    }
    Path stored(L"x", Path::StoreOnly);
    EXPECT_THROW(stored.Parse(kFile), Lumo::AnyError);
}

TEST(LongPathForm, OnlyPathsTooLongForThePlainFormArePrefixed) {
    using Lumo::FileSystem::LongPathForm;
    using Lumo::FileSystem::WithoutLongPathPrefix;
    const std::wstring deep = L"\\dir" + std::wstring(300, L'x') + L"\\file.txt";
    const struct {
        std::wstring path, expected;
    } rows[] = {
        {L"C:\\short\\file.txt", L"C:\\short\\file.txt"},
        {L"C:" + deep, L"\\\\?\\C:" + deep},
        // Taken literally once prefixed: separators and dots are resolved first.
        {L"C:/up/.." + deep, L"\\\\?\\C:" + deep},
        {L"\\\\server\\share" + deep, L"\\\\?\\UNC\\server\\share" + deep},
        {L"\\\\?\\C:" + deep, L"\\\\?\\C:" + deep},
        {L"relative" + deep, L"relative" + deep},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Narrow(row.expected), Narrow(LongPathForm(row.path)));
        const std::wstring shown = WithoutLongPathPrefix(LongPathForm(row.path));
        if (row.path.compare(0, 4, L"\\\\?\\") != 0 && row.path.find(L'/') == std::wstring::npos) {
            EXPECT_EQ(Narrow(row.path), Narrow(shown));
        }
    }
}

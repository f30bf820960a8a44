// The shell tools submenu and its entries.
#include "menu/ShellToolsMenu.h"

#include <io.h>

#include <algorithm>

#include "menu/ChecksumProgress.h"
#include "navigation/Navigation.h"
#include "system/Clipboard.h"
#include "tools/AdvCopyNameDlg.h"
#include "tools/CalcHashDlg.h"
#include "tools/ChecksumList.h"
#include "tools/ChecksumWindow.h"
#include "tools/NameList.h"

namespace Lumo::Menu {

using namespace Lumo::ShellExt;

namespace {

bool FileExists(const std::wstring& path) { return ::_waccess(path.c_str(), 0) == 0; }

HWND ActiveWindowOr(HWND fallback) {
    HWND active = ::GetActiveWindow();
    return active ? active : fallback;
}

// The MD5 and SHA-1 tools: the checksum in upper case without spaces, copied
// and shown. A cancelled computation shows and copies nothing; a file that
// cannot be read is reported with the system's reason and copies nothing.
void CalculateChecksum(HWND window, const std::wstring& path, HashAlgorithm algorithm, const wchar_t* title) {
    if (!FileExists(path)) {
        ::MessageBoxW(window, (L"File [" + path + L"] not exist").c_str(), L"Error", MB_OK);
        return;
    }
    Lumo::Tools::HashRequest request;
    request.filePath = path;
    request.algorithm = algorithm;
    request.format = HashOutputFormat::UppercaseNoSpaces;
    std::optional<ChecksumOutcome> result =
        ComputeChecksumWithProgress(ActiveWindowOr(window), request, title);
    if (!result) return;
    if (result->text.empty()) {
        ::MessageBoxW(window, HashReadFailureText(path, result->error).c_str(), L"Error", MB_OK);
        return;
    }
    Lumo::System::SetClipboardText(result->text);
    ::MessageBoxW(window,
                  (L"\"" + result->text + L"\"\r\n\r\nResult string has been copied to clipboard").c_str(),
                  L"Result", MB_OK);
}

}  // namespace

std::vector<ItemPtr> ShellTools::Children() {
    // The entries are chosen from the first items only (and the count); the
    // copy commands read the whole selection when they run.
    SelectionPtr selection = context->GetSelectedItemsInfo();
    EntryList builder(context);
    builder.AddItem(std::make_shared<DosPromptHere>(selection));
    if (selection->itemInfos.empty()) return builder.Take();
    builder.AddSeparator();
    builder.AddItem(std::make_shared<CopyPathName>(selection));
    if (!selection->fileIndexes.empty() || !selection->shortcutIndexes.empty())
        builder.AddItem(std::make_shared<CopyFileName>(selection));
    builder.AddItem(std::make_shared<AdvCopyPath>(selection));
    if (selection->itemInfos.size() == 1 && selection->Complete() && !selection->fileIndexes.empty()) {
        const std::wstring path = selection->GetItemPath(static_cast<size_t>(selection->fileIndexes.front()));
        builder.AddSeparator();
        builder.AddItem(std::make_shared<CalculateMD5>(path));
        builder.AddItem(std::make_shared<CalculateSHA1>(path));
        builder.AddItem(std::make_shared<MoreHashAlgo>(path));
    }
    // The lists are told by their names: no file is opened while the menu opens.
    const bool list =
        std::any_of(selection->fileIndexes.begin(), selection->fileIndexes.end(),
                    [&](int index) { return NamesChecksumList(selection->GetItemPath(index)); });
    const bool filesOrFolders = !selection->fileIndexes.empty() || !selection->folderIndexes.empty();
    if (list || filesOrFolders) builder.AddSeparator();
    if (list) builder.AddItem(std::make_shared<VerifyChecksums>(selection));
    if (filesOrFolders) builder.AddItem(std::make_shared<CreateChecksumFile>(selection));
    return builder.Take();
}

DosPromptHere::DosPromptHere(SelectionPtr selection)
    : OddBase(KindShellCommand, L"&DOS Prompt Here", 18, 0, 'd'), selection(std::move(selection)) {
    helpText = L"Open DOS command prompt, and enter the selected folder";
}

void DosPromptHere::Execute(const Navigation::Target&) {
    // A selection larger than what the menu looked at is more than one item.
    const bool oneFolder = selection->itemInfos.size() == 1 && selection->Complete() &&
                           (!selection->folderIndexes.empty() || !selection->driveIndexes.empty());
    Navigation::OpenCommandPrompt(oneFolder ? selection->GetItemPath(0) : context->FolderPath());
}

CopyPathName::CopyPathName(SelectionPtr selection)
    : OddBase(KindCopyPathName, L"Copy &Path Name", -1, 0, 'p'), selection(std::move(selection)) {
    helpText = L"Copy selected file/folder's pathname to clipboard";
}

void CopyPathName::Execute(const Navigation::Target&) {
    Lumo::System::SetClipboardText(
        Lumo::Tools::BuildNameList(*context->WholeSelection(selection), Lumo::Tools::CopyPathNameOptions()));
}

CopyFileName::CopyFileName(SelectionPtr selection)
    : OddBase(KindCopyFileName, L"Copy &File Name", -1, 0, 'f'), selection(std::move(selection)) {
    helpText = L"Copy selected file's filename to clipboard";
}

void CopyFileName::Execute(const Navigation::Target&) {
    Lumo::System::SetClipboardText(
        Lumo::Tools::BuildNameList(*context->WholeSelection(selection), Lumo::Tools::CopyFileNameOptions()));
}

AdvCopyPath::AdvCopyPath(SelectionPtr selection)
    : OddBase(KindAdvancedCopyName, L"&Advanced Copy Name...", 20, 0, 'a'), selection(std::move(selection)) {
    helpText = L"Copy full name, leaf name, short name, to lowercase/uppercase, sort and more...";
}

void AdvCopyPath::Execute(const Navigation::Target& target) {
    Lumo::Tools::RunAdvCopyNameDialog(ActiveWindowOr(target.window), context->WholeSelection(selection));
}

CalculateMD5::CalculateMD5(std::wstring path)
    : OddBase(KindShellCommand, L"Calculate &MD5", -1, 0, 'm'), filePath(std::move(path)) {
    helpText = L"Calculate MD5 checksum for selected file";
}

void CalculateMD5::Execute(const Navigation::Target& target) {
    CalculateChecksum(target.window, filePath, HashAlgorithm::Md5, L"MD5");
}

CalculateSHA1::CalculateSHA1(std::wstring path)
    : OddBase(KindShellCommand, L"Calculate &SHA1", -1, 0, 's'), filePath(std::move(path)) {
    helpText = L"Calculate SHA1 checksum for selected file";
}

void CalculateSHA1::Execute(const Navigation::Target& target) {
    CalculateChecksum(target.window, filePath, HashAlgorithm::Sha1, L"SHA1");
}

MoreHashAlgo::MoreHashAlgo(std::wstring path)
    : OddBase(KindMoreHashAlgorithms, L"More &Hash Algorithm...", 24, 0, 'h'), filePath(std::move(path)) {
    helpText = L"More hash algorithms and output formats, and compare output with given string";
}

void MoreHashAlgo::Execute(const Navigation::Target& target) {
    Lumo::Tools::RunCalcHashDialog(ActiveWindowOr(target.window), filePath);
}

bool NamesChecksumList(const std::wstring& path) {
    return Lumo::Tools::AlgorithmOfChecksumFileName(path) != nullptr;
}

VerifyChecksums::VerifyChecksums(SelectionPtr selection)
    : OddBase(KindShellCommand, L"&Verify Checksums...", -1, 0, 'v'), selection(std::move(selection)) {
    helpText = L"Verify the files listed in the selected checksum files";
}

void VerifyChecksums::Execute(const Navigation::Target&) {
    const SelectionPtr whole = context->WholeSelection(selection);
    // The window's worker tells which of the other files are lists too: they are not opened here.
    std::vector<std::wstring> lists;
    for (int index : whole->fileIndexes) lists.push_back(whole->GetItemPath(static_cast<size_t>(index)));
    if (!lists.empty()) Lumo::Tools::StartVerifyChecksums(std::move(lists));
}

CreateChecksumFile::CreateChecksumFile(SelectionPtr selection)
    : OddBase(KindShellCommand, L"&Create Checksum File...", -1, 0, 'c'), selection(std::move(selection)) {
    helpText = L"Create a checksum file for the selected files and folders";
}

void CreateChecksumFile::Execute(const Navigation::Target&) {
    // In selection order; a shortcut is listed as the file it is, not followed.
    std::vector<Lumo::Tools::ChecksumSource> sources;
    for (const auto& item : context->WholeSelection(selection)->itemInfos) {
        if (item->kind == Lumo::Data::File || item->kind == Lumo::Data::Shortcut) {
            sources.push_back({item->path, false});
        } else if (item->kind == Lumo::Data::Folder) {
            sources.push_back({item->path, true});
        }
    }
    if (!sources.empty()) Lumo::Tools::StartCreateChecksumFile(std::move(sources));
}

}  // namespace Lumo::Menu

// The system folders submenu and its entries.
#include "menu/SystemFoldersMenu.h"

#include "menu/FolderCommands.h"
#include "navigation/Navigation.h"
#include "system/ShellFolders.h"
#include "win/DiagnosticLog.h"

namespace Menu {

using namespace ShellExt;

namespace {

struct FolderEntry {
    const wchar_t* label;
    int icon;
    BYTE mnemonic;
};

const FolderEntry kFolders[15] = {
    {L"My &Documents", 7, 'd'},      {L"My &Pictures", 3, 'p'},  {L"My &Music", 4, 'm'},
    {L"My &Video", -1, 'v'},         {L"&Windows", -1, 'w'},     {L"&System", -1, 's'},
    {L"&Program Files", -1, 'p'},    {L"&Temporary", -1, 't'},   {L"&Fonts", 11, 'f'},
    {L"&Application Data", -1, 'a'}, {L"IE &Cache", -1, 'c'},    {L"&Desktop", 6, 'd'},
    {L"&Profile", -1, 'p'},          {L"IE &Favorites", 5, 'f'}, {L"IE Coo&kies", -1, 'k'},
};

}  // namespace

std::wstring LookUpSystemFolder(unsigned number) {
    try {
        const auto* folders = Lumo::System::SpecialFolder::Instance();
        return folders ? folders->SystemFolderPath(static_cast<int>(number)) : std::wstring();
    } catch (...) {
        // The entry stays without a folder; the log says why.
        Lumo::Win::LogCurrentException("LookUpSystemFolder");
        return std::wstring();
    }
}

ResolvedSystemFolders ResolveSystemFolders() {
    ResolvedSystemFolders result;
    const auto* folders = Lumo::System::SpecialFolder::Instance();
    for (unsigned number = 0; number < 15; ++number) {
        try {
            if (!folders) break;
            result.paths[number] = folders->SystemFolderPath(static_cast<int>(number));
            result.resolved |= 1u << number;
        } catch (...) {
            // This one folder stays unresolved; the others still count.
            Lumo::Win::LogCurrentException("ResolveSystemFolders");
        }
    }
    result.any = result.resolved != 0;
    return result;
}

OneSysFolder::OneSysFolder(unsigned number)
    : OddBase(KindSystemFolder, kFolders[number].label, kFolders[number].icon, 0, kFolders[number].mnemonic),
      folderNumber(number) {}

std::vector<ItemPtr> SystemFolders::Children() {
    ResolvedSystemFolders folders = ResolveSystemFolders();
    if (!folders.any) return {};  // the "(Empty)" placeholder stays
    EntryList builder(context);
    for (unsigned number = 0; number < 15; ++number) {
        if (!(folders.resolved & (1u << number))) continue;
        auto entry = std::make_shared<OneSysFolder>(number);
        entry->helpText = folders.paths[number];
        builder.AddItem(entry);
    }
    return builder.Take();
}

void OneSysFolder::Execute(const Navigation::Target& target) {
    Navigation::NavigateToSystemFolder(target, LookUpSystemFolder(folderNumber));
}

void OneSysFolder::ShowItemMenu(HWND window) {
    const unsigned number = folderNumber;
    ShowFolderItemMenu(
        window, [number] { return LookUpSystemFolder(number); },
        [number](HWND from) {
            HWND browser = Navigation::FindBrowserWindow(from);
            std::wstring path = LookUpSystemFolder(number);
            if (browser) {
                Navigation::NavigateToSystemFolder(Navigation::Target{browser}, path);
            } else {
                Navigation::ExploreSystemFolder(path);
            }
        });
}

}  // namespace Menu

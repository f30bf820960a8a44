// Walking a folder for -r: the files below it in the stable order of the tools' walk, each shown as the
// folder given on the command line, '/', and its relative path with '/' between names.
#include <algorithm>

#include "Qvsum.h"
#include "tools/FileTree.h"

namespace Qvsum {

std::vector<TreeItem> ListTree(const std::wstring& folder, const std::wstring& shownFolder) {
    size_t rootLength = folder.size();
    while (rootLength > 0 && (folder[rootLength - 1] == L'\\' || folder[rootLength - 1] == L'/'))
        --rootLength;
    std::vector<TreeItem> items;
    for (Lumo::Tools::ListedFile& file :
         Lumo::Tools::FilesInListOrder({{folder, true}}, L"", Lumo::Tools::ReadFolder, {})) {
        std::wstring shown = shownFolder;
        // The folder itself when it cannot be listed; otherwise a file below it.
        if (file.path.size() > rootLength + 1) {
            std::wstring relative = file.path.substr(rootLength + 1);
            std::replace(relative.begin(), relative.end(), L'\\', L'/');
            if (shown.empty() || (shown.back() != L'/' && shown.back() != L'\\')) shown += L'/';
            shown += relative;
        }
        items.push_back({std::move(file.path), std::move(shown), file.error});
    }
    return items;
}

}  // namespace Qvsum

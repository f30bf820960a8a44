// Stand-ins for the two tool dialogs until they are built: both report that
// no dialog ran.
#include "tools/AdvCopyNameDlg.h"
#include "tools/CalcHashDlg.h"

namespace Tools {

int RunAdvCopyNameDialog(HWND, std::shared_ptr<Data::SelectedItemsInfo>) { return -1; }

int RunCalcHashDialog(HWND, const std::wstring&) { return -1; }

}  // namespace Tools

// The Advanced Copy Name dialog: the selection as a list of names under
// options the user sets, copied to the clipboard.
#pragma once

#include <windows.h>

#include <memory>

#include "system/Selection.h"

namespace Tools {
int RunAdvCopyNameDialog(HWND owner, std::shared_ptr<Data::SelectedItemsInfo> selection);
}

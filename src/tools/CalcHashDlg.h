// The Checksum Calculator: one file hashed with any of the nine algorithms,
// shown, copied and compared with a pasted checksum.
#pragma once

#include <windows.h>

#include <string>

namespace Lumo::Tools {
int RunCalcHashDialog(HWND owner, const std::wstring& filePath);
}

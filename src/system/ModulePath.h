// Full path of a loaded module, however deep the folder it lives in.
#pragma once

#include <windows.h>

#include <string>

namespace Lumo::System {

// Throws Lumo::LastError when the system cannot give the path.
std::wstring ModuleFileName(HMODULE module);

}  // namespace Lumo::System

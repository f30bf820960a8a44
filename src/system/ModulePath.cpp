// Module path with a buffer that grows until the whole path fits: installing
// into a deep folder must not keep the extension from loading.
#include "system/ModulePath.h"

#include <vector>

#include "win/Errors.h"

namespace Lumo::System {

std::wstring ModuleFileName(HMODULE module) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        ::SetLastError(ERROR_SUCCESS);
        DWORD length = ::GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) throw LastError();
        // A truncated answer fills the whole buffer.
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        if (buffer.size() >= 32768) throw LastError(ERROR_INSUFFICIENT_BUFFER);
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace Lumo::System

// Paths of the well-known folders of the user and the system. Every path ends
// with a backslash; a folder the system cannot give is an exception.
#pragma once

#include <string>

#include "system/Singleton.h"

namespace Lumo::System {

class SpecialFolder : public Lumo::Global::Singleton<SpecialFolder> {
public:
    static constexpr int kSystemFolderCount = 15;

    // One of the fifteen numbered folders of the system folders menu.
    std::wstring SystemFolderPath(int number) const;

    // Any CSIDL folder, without creating it.
    std::wstring SpecialFolderPath(int csidl) const;
};

}  // namespace Lumo::System

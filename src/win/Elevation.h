// Whether the process runs with an administrator's full token: as regsvr32
// during an install for all users, or inside the file dialog of a program the
// user started elevated. Such a process must not act on anything that any
// program of the user can set up for it (a log switch, a junction in the
// user's profile), since that would lend those programs its rights.
#pragma once

#include <windows.h>

namespace Lumo::Win {

// Asks a question of the process's token; tests hand in their own answer.
using ElevationProbe = bool (*)() noexcept;

// TokenElevation of the process token. When the token cannot be asked, the
// answer is "elevated": the cautious side costs only a log file or a write.
bool IsProcessElevated() noexcept;

}  // namespace Lumo::Win

// Mnemonic matching for owner-drawn entries.
#include "shellext/MenuChar.h"

namespace Lumo::ShellExt {

LRESULT ChooseMenuChar(const std::vector<MenuCharEntry>& entries, WCHAR character) {
    if (character < 0x80 && character >= L'A' && character <= L'Z') character = character - L'A' + L'a';
    const BYTE wanted = static_cast<BYTE>(character);
    std::vector<WORD> matches;
    for (size_t position = 0; position < entries.size(); ++position) {
        const MenuCharEntry& entry = entries[position];
        if (entry.own && entry.mnemonic != 0xFF && entry.mnemonic == wanted) {
            matches.push_back(static_cast<WORD>(position));
        }
    }
    if (matches.empty()) return 0;
    if (matches.size() == 1) return MAKELRESULT(matches[0], MNC_EXECUTE);
    for (size_t i = 0; i < matches.size(); ++i) {
        if (entries[matches[i]].highlighted)
            return MAKELRESULT(matches[(i + 1) % matches.size()], MNC_SELECT);
    }
    return MAKELRESULT(matches[0], MNC_SELECT);
}

}  // namespace Lumo::ShellExt

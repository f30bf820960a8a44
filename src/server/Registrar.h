// Registry-script registrar: parses scripts of the form
//   HKCR { NoRemove CLSID { ForceRemove {guid} = s 'text' { val Name = s '%MODULE%' } } }
// and writes (register) or removes (unregister) the keys and values they name.
// NoRemove keys are created when missing and never deleted; ForceRemove keys
// are deleted with their subtree before being written and on unregistration;
// Delete keys are deleted on registration; other keys and values are written
// on registration and removed on unregistration (a key only when it has no
// subkeys left).
#pragma once

#include <windows.h>

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace Lumo::Registry {

class Registrar {
public:
    // Replaces %name% by value inside every token of the script.
    void AddReplacement(const std::wstring& name, const std::wstring& value);

    // Parses the whole script first (a syntax error writes nothing) and then
    // applies it; throws Lumo::ComError with the failing HRESULT.
    void Run(const std::wstring& script, bool registering) const;

    // Runs a script stored as a "REGISTRY" resource (UTF-8 or UTF-16 text).
    HRESULT RunResource(HMODULE module, UINT id, bool registering) const noexcept;

    // Runs the scripts stored as resources `ids` as one sequence: in the
    // order given when registering, in the reverse order when unregistering
    // (a later script may name what an earlier one wrote), stopping at the
    // first failure.
    HRESULT RunResources(HMODULE module, std::initializer_list<UINT> ids, bool registering) const noexcept;

    // Deletes a key and everything below it; a missing key is not an error.
    static LSTATUS DeleteTree(HKEY parent, const std::wstring& name);

private:
    std::map<std::wstring, std::wstring> replacements_;
};

}  // namespace Lumo::Registry

// A wide path string and what parsing found in it: whether it has a file name,
// names a folder, is a drive root or a UNC path, and where its parts start.
#pragma once

#include <memory>
#include <string>

namespace Lumo::FileSystem {

class Path {
public:
    // Parse options; the module uses StoreOnly, NamesFile and FullPath | NamesFile.
    enum Option : unsigned {
        StoreOnly = 1,   // keep the text, parse later
        FullPath = 2,    // the text is already a full path
        NamesFile = 4,   // the text names a file
        NamesFolder = 8  // the text names a folder
    };

    struct ParseInfo {
        enum Flag : short { HasName = 1, IsFolder = 2, RootOnly = 4, IsUnc = 8 };
        short flags = 0;
        short rootStart = -1;
        short folderStart = -1;
        short nameStart = -1;
        short extensionStart = -1;
    };

    // Parses at once unless options hold StoreOnly; throws Lumo::AnyError for a
    // text that cannot be a path of the requested kind, Lumo::LastError when
    // the system cannot make it a full path.
    Path(std::wstring text, unsigned options);

    // Parses a stored path (again) with other options.
    void Parse(unsigned options);

    // The stored text; after parsing it carries the \\?\ prefix unless it is a UNC path.
    const std::wstring& Text() const { return path_; }
    const ParseInfo& Info() const { return *info_; }

    // The drive or UNC prefix and the folders up to and including the last
    // backslash before the file name; empty for a folder path.
    std::wstring GetFolder() const;
    // The file name part (empty when there is none).
    std::wstring GetName() const;

private:
    std::wstring source_;
    std::wstring path_;
    std::shared_ptr<ParseInfo> info_;
};

// The form of a full path the file functions of Windows take at any length:
// "\\?\C:\..." or "\\?\UNC\server\share\..." once the path is too long for the
// plain form (a folder name must stay below 248 characters, a file name
// below 260); a shorter path, a relative one and one already in that form
// come back as they are. Only for handing to the system: never shown or stored.
std::wstring LongPathForm(const std::wstring& path);

// The path as users read it: `path` without the prefix LongPathForm adds.
std::wstring WithoutLongPathPrefix(const std::wstring& path);

}  // namespace Lumo::FileSystem

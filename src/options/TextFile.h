// Reading a text file whose encoding is told by its byte-order mark: UTF-16
// little- or big-endian, UTF-8, or else the system's ANSI code page.
#pragma once

#include <optional>
#include <string>

namespace Lumo::Options {

// The text of `bytes` with its lines joined by `separator` (a final line
// break adds no empty line). The mark, when there is one, is not part of the
// text.
std::wstring DecodeText(const std::string& bytes, const std::wstring& separator);

// The whole file decoded as above; nothing when it cannot be opened or read.
std::optional<std::wstring> ReadTextFile(const std::wstring& path, const std::wstring& separator);

}  // namespace Lumo::Options

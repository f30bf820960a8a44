// Checksum list files (.md5, .sha1, .sha256, .sha384, .sha512, .sfv and the like): reading the three common
// line formats into entries, and writing entries back in the format the coreutils tools read.
//   GNU coreutils: "digest  name" or "digest *name"; a line starting with '\' has "\\" and "\n" escapes
//                  in its name.
//   BSD tag:       "ALG (name) = digest", also with the leading '\' escape marker.
//   SFV:           "name CRC32".
// Lines starting with ';' or '#' are comments (an SFV name may start with '#').
// Everything here is plain text work; the only system calls are the code-page conversions and reading the
// file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/HashCalculator.h"

namespace Lumo::Tools {

// One listed file: its name as the list gives it (escapes undone), the algorithm and the expected digest in
// lowercase hex without spaces.
struct ChecksumEntry {
    std::wstring name;
    const HashAlgorithmName* algorithm = nullptr;  // never null in a parsed list
    std::wstring digest;
    size_t line = 0;  // 1-based, for messages
};

struct ChecksumList {
    std::vector<ChecksumEntry> entries;
    // Lines that are neither blank, a comment nor a valid entry: counted and reported, never fatal.
    std::vector<size_t> malformedLines;
};

// The algorithm a list file's name implies (".md5", ".sha256", ".sfv" -> crc32, ".gost", ..., and the
// distributions' "SHA256SUMS", "MD5SUMS", ...; the case does not matter), or null for any other name. Decides
// from the name alone, without opening the file.
const HashAlgorithmName* AlgorithmOfChecksumFileName(const std::wstring& fileName);

// The file's bytes as text: UTF-8 (with or without its byte order mark), UTF-16 with a byte order mark,
// and otherwise the ANSI code page.
std::wstring DecodeChecksumText(const std::string& bytes);

// Every entry of the text, in order. `hint` (may be null) settles digests whose length fits several
// algorithms (32 hex digits: MD5, MD4 or MD2; 64: SHA-256 or GOST); without one, MD5 and SHA-256 are taken.
ChecksumList ParseChecksumList(const std::wstring& text, const HashAlgorithmName* hint);

// True when the text's first line that is neither blank nor a comment is an entry in one of the formats.
bool LooksLikeChecksumList(const std::wstring& text);
// The same for the start of a file (its first 64 KiB); false when it cannot be read.
bool FileLooksLikeChecksumList(const std::wstring& path);

// At most this much of a list file is read: a larger file is refused rather than held in memory.
constexpr unsigned long long kMaxChecksumListBytes = 64ull * 1024 * 1024;

// Reads and parses a list file, taking the hint from its name. Returns false, with the system's error code in
// `error`, when the file cannot be read or is larger than kMaxChecksumListBytes (ERROR_FILE_TOO_LARGE).
bool ReadChecksumFile(const std::wstring& path, ChecksumList& list, unsigned long& error);

// The full path of a listed name: names that are relative (the usual case) are taken from `listFolder`;
// '/' counts as '\'. Absolute names ("C:\...", "\\server\share\...", "\...") are kept.
std::wstring ResolveListedName(const std::wstring& listFolder, const std::wstring& name);

// A name as a list or a check report carries it. A line break would split the line, so a name holding one is
// escaped ("\\" for '\', "\n" for the break) and `escaped` says so, which the line announces with a leading
// '\'. Other names stay as they are: on Windows a backslash is a folder separator, and a line without the
// leading '\' is read literally by every tool.
std::wstring EscapeChecksumName(const std::wstring& name, bool& escaped);

// "digest  name\n" as the coreutils tools write it (UTF-8, with the escape marker when needed); `digest` is
// lowercase hex without spaces.
std::string FormatHashLine(const std::wstring& digest, const std::wstring& name);

// One line of a list file: FormatHashLine, or for CRC32 the SFV line "name DIGEST\n".
std::string FormatChecksumLine(const HashAlgorithmName& algorithm, const std::wstring& digest,
                               const std::wstring& name);

// The usual extension of a list of this algorithm (".sha256", ".sfv" for CRC32), with its dot.
std::wstring ChecksumFileExtension(const HashAlgorithmName& algorithm);

std::string ToUtf8(const std::wstring& text);

}  // namespace Lumo::Tools

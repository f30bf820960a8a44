// The parts of qvsum: writing to the console as the coreutils tools do, walking a folder, hashing the
// named files and checking lists of checksums.
#pragma once

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/ChecksumBatch.h"
#include "tools/HashCalculator.h"

namespace Qvsum {

// Text for the console or a pipe: UTF-8, so that any path survives.
void Print(FILE* stream, const std::wstring& text);
void PrintBytes(FILE* stream, const std::string& bytes);
// "qvsum: " + message on stderr, after whatever stdout holds, so that both keep their order on a terminal.
void PrintError(const std::wstring& message);

// A name in a message on stderr, quoted as the coreutils tools quote it there: as it is when a shell would
// read it back unchanged, otherwise in single quotes ("it's" in double quotes), control characters as
// $'\n' pieces.
std::wstring QuotedName(const std::wstring& name);

// Why a file could not be opened: "No such file or directory" as the coreutils tools say when it is not
// there, otherwise the system's own words.
std::wstring FailureReason(unsigned long error);

// The full path of a name given on the command line (relative to the current folder).
std::wstring FullPath(const std::wstring& name);

// A batch of the tasks, reading as many files at once as the disk of the first one suits. Null for no task.
std::unique_ptr<Lumo::Tools::ChecksumBatch> StartBatch(std::vector<Lumo::Tools::ChecksumTask> tasks);

// One file found below a folder, or a folder below it that could not be listed.
struct TreeItem {
    std::wstring path;        // full path, for opening
    std::wstring shown;       // the folder as given, then '/' and the relative path with '/' between names
    unsigned long error = 0;  // non-zero: a folder that could not be listed, and why
};
// Every file below `folder` (a full path), depth first; a folder's files and subfolders are one sequence,
// sorted by name without regard to case. A folder that cannot be listed takes its place in the sequence and
// the walk goes on.
std::vector<TreeItem> ListTree(const std::wstring& folder, const std::wstring& shownFolder);

enum class Verbosity { All, FailuresOnly, Nothing };
// Checks every list as `sha256sum -c` does; 0 when every listed file matched, else 1.
int CheckLists(const std::vector<std::wstring>& lists, const HashAlgorithmName* stdinHint,
               Verbosity verbosity);

}  // namespace Qvsum

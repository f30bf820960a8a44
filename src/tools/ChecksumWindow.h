// The checksum list window: verifying the files named in checksum lists, and creating a list for chosen
// files and folders. Each opens a top-level window on a thread of its own, so the folder window it came
// from stays usable; reading lists, finding files and writing the new list happen on worker threads, and
// the window polls the hashing a few times a second instead of hearing of every file.
// The text work (counts, sizes, summaries, listed names, the order in which a folder tree is listed) is
// plain functions below, free of windows.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "tools/FileTree.h"
#include "win/Handle.h"

namespace Lumo::Tools {

// The window's caption in each of its uses, and that of the dialog that asks how to create a list.
inline constexpr wchar_t kVerifyChecksumsTitle[] = L"Verify Checksums";
inline constexpr wchar_t kCreateChecksumFileTitle[] = L"Create Checksum File";
inline constexpr wchar_t kCreatingChecksumFileTitle[] = L"Creating Checksum File";

// Child ids of the window.
enum ChecksumWindowControl : int {
    kChecksumStatus = 1100,        // progress, then the summary
    kChecksumProgress = 1101,      // the bar
    kChecksumResults = 1102,       // the list view, "Name" and "Result"
    kChecksumOnlyFailures = 1103,  // "Only failures"
    kChecksumCopyFailures = 1104,  // "Copy Failures"
    kChecksumCancelClose = 1105,   // "Cancel", then "Close"
};

// Child ids of the dialog that asks for the algorithm and the list's name (OK and Cancel have theirs).
enum CreateChecksumControl : int {
    kCreateAlgorithmHeader = 1200,
    kCreateAlgorithm = 1003,  // the toolkit's drop-down id
    kCreateFileHeader = 1201,
    kCreateFileName = 1202,
    kCreateBrowse = 1203,
};

// "10,000".
std::wstring FormatCount(unsigned long long count);
// "512 bytes", "1.2 KB", "9.8 GB": binary units, one decimal.
std::wstring FormatBytes(unsigned long long bytes);
// "1,234 of 10,000 files, 1.2 GB of 9.8 GB"; without the total size (not summed yet) only the bytes read.
std::wstring ChecksumProgressText(size_t filesDone, size_t files, unsigned long long bytesDone,
                                  bool totalKnown, unsigned long long totalBytes);

// What a finished (or cancelled) run found.
struct ChecksumTally {
    size_t files = 0;
    size_t ok = 0;
    size_t failed = 0;
    size_t missing = 0;
    size_t unreadable = 0;
    size_t malformedLines = 0;
    bool cancelled = false;
};
// "10,000 files: 9,998 OK, 1 FAILED, 1 MISSING, 0 UNREADABLE, 2 malformed lines"; a cancelled run starts
// "Cancelled after 5 of 10,000 files: ".
std::wstring VerifySummary(const ChecksumTally& tally);

// How a list's creation ended.
struct CreateOutcome {
    ChecksumTally tally;
    std::wstring listPath;
    bool written = false;
    unsigned long writeError = 0;  // the system's reason the list could not be written
};
// "3 files: written to C:\...\x.sha256", or why nothing was written.
std::wstring CreateSummary(const CreateOutcome& outcome);

// The system's text for an error code, on one line ("Error 1234" when it has none).
std::wstring SystemReason(unsigned long error);

// A file's name in a list kept in `listFolder`: relative with '/' separators when the file lies below the
// folder, otherwise its full path.
std::wstring ListedNameFor(const std::wstring& listFolder, const std::wstring& path);

// The default name of a new list: beside the first item, named after it, with the algorithm's extension.
std::wstring DefaultChecksumFileName(const std::wstring& firstItem, const std::wstring& extension);
// `name` with its extension `from` (any case) replaced by `to`; unchanged when it does not end in `from`.
std::wstring ReplaceChecksumExtension(const std::wstring& name, const std::wstring& from,
                                      const std::wstring& to);

// Opens the verifying window on a new thread and returns at once; the handle is that thread's, which ends
// when the window closes. Of `listFiles`, those named like lists are verified, and the others when they start
// like one.
Lumo::Win::UniqueHandle StartVerifyChecksums(std::vector<std::wstring> listFiles);
// Opens, on a new thread, the dialog that asks how to create the list, then the window that creates it.
Lumo::Win::UniqueHandle StartCreateChecksumFile(std::vector<ChecksumSource> selection);

}  // namespace Lumo::Tools

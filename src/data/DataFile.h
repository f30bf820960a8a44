// Win32 side of the data file: whole-file reads, crash-safe replacement through
// a temporary file, and the lock that serialises every use of one data file
// across the threads and processes of the user.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "data/DataArchive.h"
#include "win/Handle.h"

namespace Lumo::Data {

// Holds the per-user lock of one data file for the lifetime of the object: a
// named mutex whose name derives from the file's full path, so every process
// of the session that uses the same file shares it. A holder that died while
// holding it left no half-written file (writes replace the file atomically),
// so an abandoned lock counts as acquired. Waiting longer than `timeoutMs`
// throws Lumo::LastError(WAIT_TIMEOUT) instead of hanging the shell.
class DataFileLock {
public:
    explicit DataFileLock(const std::wstring& filePath, DWORD timeoutMs = 30000);
    ~DataFileLock();
    DataFileLock(const DataFileLock&) = delete;
    DataFileLock& operator=(const DataFileLock&) = delete;

    // The mutex name used for `filePath` (exposed for tests).
    static std::wstring MutexName(const std::wstring& filePath);

private:
    Lumo::Win::UniqueHandle mutex_;
};

// Largest data file accepted; anything bigger is treated as damaged rather
// than read into memory.
constexpr unsigned long long kMaxDataFileSize = 256ull << 20;

// True when `path` names an existing file or folder.
bool PathExists(const std::wstring& path);

// The whole contents of a file; throws Lumo::LastError when it cannot be read.
std::string ReadWholeFile(const std::wstring& path);
// The same, as the block the favorites read from it will keep.
DataFileBytes ReadDataFile(const std::wstring& path);

// Asks a path's attributes the way GetFileAttributesW does (tests answer for
// reparse points that the file system they run on cannot make).
using FileAttributesProbe = DWORD(WINAPI*)(LPCWSTR);

// The error a write refused for a reparse point fails with.
constexpr DWORD kErrorStoppedOnReparsePoint = 681;  // ERROR_STOPPED_ON_SYMLINK

// Throws Lumo::LastError(kErrorStoppedOnReparsePoint) when `path` exists and
// is a reparse point (junction, symbolic link, mount point).
void RefuseReparsePoint(const std::wstring& path, FileAttributesProbe attributes = &::GetFileAttributesW);

// Writes `bytes` to `tempPath`, flushes it to disk and moves it over `path` in
// one step, so readers see either the old or the new file. On failure the old
// file is untouched, the temporary file is removed and Lumo::LastError thrown.
void ReplaceFileContents(const std::wstring& path, const std::wstring& tempPath, std::string_view bytes);

}  // namespace Lumo::Data

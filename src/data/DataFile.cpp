// Win32 file access of the data layer.
#include "data/DataFile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <vector>

#include "data/DataArchive.h"
#include "win/Errors.h"

namespace Lumo::Data {

namespace {

std::wstring FullPath(const std::wstring& path) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0) throw Lumo::LastError();
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(length);
    }
}

// 64-bit FNV-1a over the UTF-16 code units.
std::uint64_t PathHash(const std::wstring& text) {
    std::uint64_t hash = 1469598103934665603ull;
    for (wchar_t unit : text) {
        hash ^= static_cast<std::uint16_t>(unit);
        hash *= 1099511628211ull;
    }
    return hash;
}

bool IsTransientReplaceError(DWORD error) {
    // Virus scanners and indexers open fresh files for a moment.
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

}  // namespace

std::wstring DataFileLock::MutexName(const std::wstring& filePath) {
    // File names are case-insensitive: one file, one lock, however spelled.
    std::wstring key = FullPath(filePath);
    if (!key.empty()) ::CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    wchar_t hex[17] = {};
    std::swprintf(hex, 17, L"%016llx", static_cast<unsigned long long>(PathHash(key)));
    return L"Local\\Quelvar.DataFile." + std::wstring(hex);
}

DataFileLock::DataFileLock(const std::wstring& filePath, DWORD timeoutMs) {
    const std::wstring name = MutexName(filePath);
    mutex_.reset(::CreateMutexW(nullptr, FALSE, name.c_str()));
    if (!mutex_) throw Lumo::LastError();
    const DWORD result = ::WaitForSingleObject(mutex_.get(), timeoutMs);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) return;
    if (result == WAIT_TIMEOUT) throw Lumo::LastError(WAIT_TIMEOUT);
    throw Lumo::LastError();
}

DataFileLock::~DataFileLock() { ::ReleaseMutex(mutex_.get()); }

void RefuseReparsePoint(const std::wstring& path, FileAttributesProbe attributes) {
    std::wstring name = path;
    while (name.size() > 3 && (name.back() == L'\\' || name.back() == L'/')) name.pop_back();
    const DWORD found = attributes(name.c_str());
    if (found != INVALID_FILE_ATTRIBUTES && (found & FILE_ATTRIBUTE_REPARSE_POINT)) {
        throw Lumo::LastError(kErrorStoppedOnReparsePoint);
    }
}

bool PathExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

// Reads the whole file into the place that `make` gives for its size in bytes;
// returns the bytes read.
template <class Make>
std::size_t ReadFileInto(const std::wstring& path, Make make) {
    Lumo::Win::UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) throw Lumo::LastError();
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.get(), &size)) throw Lumo::LastError();
    if (static_cast<unsigned long long>(size.QuadPart) > kMaxDataFileSize) {
        throw CorruptDataFile("file too large", static_cast<std::size_t>(kMaxDataFileSize));
    }
    const std::size_t total = static_cast<std::size_t>(size.QuadPart);
    char* const place = make(total);
    std::size_t done = 0;
    while (done < total) {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(total - done, 1u << 24));
        if (!::ReadFile(file.get(), place + done, chunk, &read, nullptr)) throw Lumo::LastError();
        if (read == 0) break;  // shrank meanwhile: the parser reports the short file
        done += read;
    }
    return done;
}

}  // namespace

std::string ReadWholeFile(const std::wstring& path) {
    std::string bytes;
    bytes.resize(ReadFileInto(path, [&bytes](std::size_t size) {
        bytes.resize(size);
        return bytes.data();
    }));
    return bytes;
}

DataFileBytes ReadDataFile(const std::wstring& path) {
    DataFileBytes bytes;
    bytes.size = ReadFileInto(path, [&bytes](std::size_t size) {
        bytes.block.resize(size / sizeof(wchar_t) + 1);
        // Pages written once before ReadFile fills them: Wine reads into
        // pages never touched at about half the speed.
        std::memset(bytes.data(), 0, bytes.block.size() * sizeof(wchar_t));
        return bytes.data();
    });
    return bytes;
}

void ReplaceFileContents(const std::wstring& path, const std::wstring& tempPath, std::string_view bytes) {
    DWORD error = ERROR_SUCCESS;
    {
        Lumo::Win::UniqueFile file(::CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) throw Lumo::LastError();
        std::size_t done = 0;
        while (error == ERROR_SUCCESS && done < bytes.size()) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 24));
            if (!::WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr)) {
                error = ::GetLastError();
            } else if (written == 0) {
                error = ERROR_WRITE_FAULT;
            }
            done += written;
        }
        if (error == ERROR_SUCCESS && !::FlushFileBuffers(file.get())) error = ::GetLastError();
    }
    if (error == ERROR_SUCCESS) {
        for (int attempt = 0;; ++attempt) {
            if (::MoveFileExW(tempPath.c_str(), path.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                return;
            }
            error = ::GetLastError();
            if (attempt >= 20 || !IsTransientReplaceError(error)) break;
            ::Sleep(25);
        }
    }
    ::DeleteFileW(tempPath.c_str());
    throw Lumo::LastError(error);
}

}  // namespace Lumo::Data

// Helpers of the data tests: a private temporary folder per test and whole-file
// access that does not go through the code under test.
#pragma once

#include <windows.h>

#include <string>

#include "data/DataFile.h"

namespace DataTest {

// A fresh folder under the temporary folder, removed with its files at the end.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& hint = L"qvdata");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Ends with a backslash.
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

void RemoveTree(const std::wstring& folder);
std::string ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::string& bytes);
bool Exists(const std::wstring& path);

}  // namespace DataTest

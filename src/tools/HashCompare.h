// The Checksum Calculator's comparison of its output with a checksum the user
// pasted: the text of the label above the compare box.
#pragma once

#include <string>

namespace Lumo::Tools {

enum class CompareResult { NothingToCompare, Match, NotMatch };

inline constexpr wchar_t kComparePrompt[] = L"Compare with [Paste text below]";
inline constexpr wchar_t kCompareMatch[] = L"Compare with [Match]";
inline constexpr wchar_t kCompareNotMatch[] = L"Compare with [Not Match]";

// The text without its spaces and carriage-return/line-feed pairs; tabs and
// lone line feeds stay.
std::wstring StripForCompare(const std::wstring& text);

// Both texts stripped, then compared character by character in upper case by
// the user's locale.
CompareResult CompareChecksums(const std::wstring& compareText, const std::wstring& outputText);

const wchar_t* CompareLabel(CompareResult result);
inline const wchar_t* CompareLabel(const std::wstring& compareText, const std::wstring& outputText) {
    return CompareLabel(CompareChecksums(compareText, outputText));
}

}  // namespace Lumo::Tools

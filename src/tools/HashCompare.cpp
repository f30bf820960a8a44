// Checksum comparison: pasted checksums come with spaces between byte pairs,
// in either case, over several lines; all of those match the output.
#include "tools/HashCompare.h"

#include <windows.h>

namespace Lumo::Tools {
namespace {

std::wstring Upper(std::wstring text) {
    // Character by character in place: the lengths stay comparable.
    if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

}  // namespace

std::wstring StripForCompare(const std::wstring& text) {
    std::wstring stripped;
    stripped.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L' ') continue;
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            ++i;
            continue;
        }
        stripped += text[i];
    }
    return stripped;
}

CompareResult CompareChecksums(const std::wstring& compareText, const std::wstring& outputText) {
    const std::wstring expected = StripForCompare(compareText);
    if (expected.empty()) return CompareResult::NothingToCompare;
    return Upper(expected) == Upper(StripForCompare(outputText)) ? CompareResult::Match
                                                                 : CompareResult::NotMatch;
}

const wchar_t* CompareLabel(CompareResult result) {
    switch (result) {
        case CompareResult::Match:
            return kCompareMatch;
        case CompareResult::NotMatch:
            return kCompareNotMatch;
        case CompareResult::NothingToCompare:
            break;
    }
    return kComparePrompt;
}

}  // namespace Lumo::Tools

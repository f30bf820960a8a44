// The text helpers under libFuzzer: the path parser and the long-path form,
// the name lists of Copy Name, the checksum comparison, the history text's
// decoding, the download page's check, the menu-character choice and the
// checksum lists (decoded, parsed, written and read back). Input:
// which helper, sixteen bits of options, then the text (UTF-16 code units,
// raw bytes for the decoding).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "options/TextFile.h"
#include "shellext/MenuChar.h"
#include "system/Path.h"
#include "tools/ChecksumList.h"
#include "tools/HashCompare.h"
#include "tools/NameList.h"
#include "update/VersionInfo.h"
#include "win/Errors.h"

namespace {

using Lumo::FileSystem::Path;

void Check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "TextFuzz: %s\n", what);
    std::abort();
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

void ParsePath(const std::wstring& text, unsigned options, unsigned again) {
    try {
        Path path(text, options);
        if (options & Path::StoreOnly) path.Parse(again);
        const Path::ParseInfo& info = path.Info();
        if (info.rootStart < 0) return;  // stored only
        const std::wstring& full = path.Text();
        Check(static_cast<std::size_t>(info.folderStart) <= full.size(), "the folders start past the path");
        Check((info.flags & Path::ParseInfo::IsUnc) || StartsWith(full, L"\\\\?\\"),
              "a parsed path lacks \\\\?\\");
        if (!(info.flags & Path::ParseInfo::HasName)) return;
        Check(info.nameStart >= info.rootStart && static_cast<std::size_t>(info.nameStart) <= full.size(),
              "the name starts outside the path");
        Check(info.extensionStart < 0 || info.extensionStart >= info.nameStart,
              "the extension starts before the name");
        Check(path.GetFolder() + path.GetName() == full.substr(static_cast<std::size_t>(info.rootStart)),
              "folder and name are not the path");
    } catch (const Lumo::AnyError&) {
        // Not a path of the kind asked for.
    }
}

void LongPath(const std::wstring& text) {
    const std::wstring form = Lumo::FileSystem::LongPathForm(text);
    if (text.size() < MAX_PATH - 12) Check(form == text, "a short path was changed");
    Check(Lumo::FileSystem::LongPathForm(form) == form, "the long form of a long form differs");
    const std::wstring plain = Lumo::FileSystem::WithoutLongPathPrefix(form);
    if (form != text)
        Check(StartsWith(form, L"\\\\?\\") && plain.size() + 4 <= form.size(),
              "a long form lacks its prefix");
}

void NameList(const std::wstring& text, std::uint16_t bits) {
    const Lumo::Tools::CopyNameOptions options = Lumo::Tools::CopyNameOptions::Unpack(bits);
    Check(options.Pack() == (bits & 0x7FF), "the options do not pack back");
    std::vector<Lumo::Tools::NameListItem> items;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring line = text.substr(start, end - start);
        const auto kind = static_cast<Lumo::Data::ItemKind>(line.empty() ? 0 : line[0] % 5);
        items.push_back({kind, line.empty() ? line : line.substr(1)});
        start = end + 1;
    }
    const std::wstring list = Lumo::Tools::BuildNameList(items, options);
    if (!options.includeFiles && !options.includeFolders) Check(list.empty(), "a list of nothing has names");
    Check(list.empty() || (list.size() >= 2 && list.compare(list.size() - 2, 2, L"\r\n") == 0),
          "a name list does not end its last line");
}

void Compare(const std::wstring& text) {
    const std::size_t bar = text.find(L'|');
    const std::wstring pasted = text.substr(0, bar);
    const std::wstring output = bar == std::wstring::npos ? std::wstring() : text.substr(bar + 1);
    const Lumo::Tools::CompareResult result = Lumo::Tools::CompareChecksums(pasted, output);
    const bool nothing = Lumo::Tools::StripForCompare(pasted).empty();
    Check((result == Lumo::Tools::CompareResult::NothingToCompare) == nothing,
          "nothing to compare was told wrongly");
    if (!nothing)
        Check(Lumo::Tools::CompareChecksums(pasted, pasted) == Lumo::Tools::CompareResult::Match,
              "a text differs from itself");
    Check(Lumo::Tools::CompareLabel(pasted, output) == Lumo::Tools::CompareLabel(result),
          "the label is not the result's");
}

void Decode(const std::string& bytes, unsigned choice) {
    static const wchar_t* const kSeparators[] = {L"\r\n", L"\n", L""};
    const std::wstring separator = kSeparators[choice % 3];
    const std::wstring text = Lumo::Options::DecodeText(bytes, separator);
    if (separator.empty()) Check(text.find(L'\n') == std::wstring::npos, "a line break was left in the text");
}

void DownloadPage(const std::wstring& url) {
    if (!Lumo::Update::IsAcceptableDownloadPage(url)) return;
    Check(url.size() < 2084, "an overlong page was accepted");
    std::wstring lower = url.substr(0, 8);
    for (wchar_t& c : lower) c = c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c;
    Check(StartsWith(lower, L"http://") || StartsWith(lower, L"https://"),
          "a page that is no web address was accepted");
    for (wchar_t c : url)
        Check(c > L' ' && c != 0x7F && c != L'\\', "a page with spaces or backslashes was accepted");
}

void MenuChar(const std::wstring& text, wchar_t character) {
    std::vector<Lumo::ShellExt::MenuCharEntry> entries;
    for (wchar_t unit : text) {
        entries.push_back({(unit & 1) != 0, static_cast<BYTE>(unit >> 8), (unit & 2) != 0});
    }
    const LRESULT answer = Lumo::ShellExt::ChooseMenuChar(entries, character);
    if (answer == 0) return;
    const std::size_t position = static_cast<std::size_t>(answer) & 0xFFFF;
    const std::size_t how = (static_cast<std::size_t>(answer) >> 16) & 0xFFFF;
    Check(position < entries.size() && entries[position].own, "the choice is no entry of ours");
    Check(how == MNC_EXECUTE || how == MNC_SELECT, "the choice is neither executed nor selected");
}

// Whatever a list holds, every entry it yields is one the writer can write and
// the reader reads back the same. Names no system file can have are left out:
// a carriage return (a line's end to every reader), a leading U+FEFF (read as
// the byte order mark of a list of one line), and for SFV, which has no
// escapes, a line break or a start that reads as a comment or a blank.
void ChecksumLists(const std::string& bytes, unsigned choice) {
    static const wchar_t* const kListNames[] = {L"x.sha256", L"x.md5", L"x.sfv", L"x.gost", L"x.txt"};
    const wchar_t* listName = kListNames[choice % 5];
    const HashAlgorithmName* hint = Lumo::Tools::AlgorithmOfChecksumFileName(listName);
    const std::wstring text = Lumo::Tools::DecodeChecksumText(bytes);
    const Lumo::Tools::ChecksumList list = Lumo::Tools::ParseChecksumList(text, hint);
    std::size_t lines = 1;
    for (wchar_t c : text) lines += c == L'\n';
    Check(list.entries.size() + list.malformedLines.size() <= lines, "more entries than lines");
    if (!list.entries.empty())
        Check(Lumo::Tools::LooksLikeChecksumList(text) || !list.malformedLines.empty(),
              "a list that starts with an entry does not look like one");
    for (const Lumo::Tools::ChecksumEntry& entry : list.entries) {
        Check(entry.algorithm != nullptr && !entry.name.empty(), "an entry without algorithm or name");
        for (wchar_t c : entry.digest)
            Check((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'), "a digest that is not lowercase hex");
        const bool sfv = entry.algorithm->algorithm == HashAlgorithm::Crc32;
        const wchar_t first = entry.name[0];
        // A byte order mark leading the only line is the encoding's, not the name's.
        if (entry.name.find(L'\r') != std::wstring::npos || first == 0xFEFF ||
            (sfv && (entry.name.find(L'\n') != std::wstring::npos || first == L';' || first == L' ' ||
                     first == L'\t' || entry.name.back() == L' ' || entry.name.back() == L'\t')))
            continue;
        const std::string line = Lumo::Tools::FormatChecksumLine(*entry.algorithm, entry.digest, entry.name);
        const Lumo::Tools::ChecksumList back =
            Lumo::Tools::ParseChecksumList(Lumo::Tools::DecodeChecksumText(line), entry.algorithm);
        Check(back.entries.size() == 1 && back.malformedLines.empty(), "a written line does not read back");
        Check(back.entries[0].name == entry.name && back.entries[0].digest == entry.digest &&
                  back.entries[0].algorithm == entry.algorithm,
              "a written line reads back as another entry");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size < 3) return 0;
    const std::uint16_t bits = static_cast<std::uint16_t>(input[1] | (input[2] << 8));
    const std::string bytes(reinterpret_cast<const char*>(input + 3), size - 3);
    std::wstring text((size - 3) / 2, L'\0');
    if (!text.empty()) std::memcpy(text.data(), input + 3, text.size() * sizeof(wchar_t));
    switch (input[0] % 8) {
        case 0:
            ParsePath(text, bits & 15, (bits >> 4) & 14);
            break;
        case 1:
            LongPath(text);
            break;
        case 2:
            NameList(text, bits);
            break;
        case 3:
            Compare(text);
            break;
        case 4:
            Decode(bytes, bits);
            break;
        case 5:
            DownloadPage(text);
            break;
        case 6:
            MenuChar(text, static_cast<wchar_t>(bits));
            break;
        default:
            ChecksumLists(bytes, bits);
            break;
    }
    return 0;
}

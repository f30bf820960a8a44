// --check: verifies the files named in checksum lists and reports each one, and the totals, in the words of
// the coreutils tools, so that scripts written for `sha256sum -c` read qvsum's answers alike.
#include <fcntl.h>
#include <io.h>

#include "Qvsum.h"
#include "tools/ChecksumList.h"

namespace Qvsum {
namespace {

using Lumo::Tools::ChecksumList;
using Lumo::Tools::ChecksumStatus;

// The whole of standard input, refused beyond the size a list file may have.
bool ReadStandardInput(std::string& bytes) {
    _setmode(_fileno(stdin), _O_BINARY);
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), stdin)) > 0) {
        if (bytes.size() + got > Lumo::Tools::kMaxChecksumListBytes) return false;
        bytes.append(buffer, got);
    }
    return true;
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring ReportedName(const std::wstring& name) {
    bool escaped = false;
    const std::wstring shown = Lumo::Tools::EscapeChecksumName(name, escaped);
    return escaped ? L"\\" + shown : shown;
}

std::wstring Count(size_t count, const wchar_t* one, const wchar_t* many) {
    return std::to_wstring(count) + L" " + (count == 1 ? one : many);
}

// One list; true when every file it names is there with the listed digest.
bool CheckList(const std::wstring& listName, const HashAlgorithmName* stdinHint, Verbosity verbosity) {
    ChecksumList list;
    std::wstring folder;
    std::wstring shownList = listName;
    if (listName == L"-") {
        shownList = L"standard input";
        std::string bytes;
        if (!ReadStandardInput(bytes)) {
            PrintError(QuotedName(shownList) + L": " + FailureReason(ERROR_FILE_TOO_LARGE));
            return false;
        }
        list = Lumo::Tools::ParseChecksumList(Lumo::Tools::DecodeChecksumText(bytes), stdinHint);
        folder = FullPath(L".");
    } else {
        const std::wstring path = FullPath(listName);
        unsigned long error = 0;
        if (!Lumo::Tools::ReadChecksumFile(path, list, error)) {
            PrintError(QuotedName(listName) + L": " + FailureReason(error));
            return false;
        }
        folder = FolderOf(path);
    }
    if (list.entries.empty()) {
        PrintError(QuotedName(shownList) + L": no properly formatted checksum lines found");
        return false;
    }

    std::vector<Lumo::Tools::ChecksumTask> tasks;
    tasks.reserve(list.entries.size());
    for (const Lumo::Tools::ChecksumEntry& entry : list.entries)
        tasks.push_back({Lumo::Tools::ResolveListedName(folder, entry.name), entry.algorithm});
    const std::unique_ptr<Lumo::Tools::ChecksumBatch> batch = StartBatch(std::move(tasks));

    size_t mismatched = 0;
    size_t unreadable = 0;
    for (size_t i = 0; i < list.entries.size(); ++i) {
        // Whatever is ready is written at once; the console is flushed only before waiting for more.
        if (!batch->WaitFor(i, 0)) {
            std::fflush(stdout);
            batch->WaitFor(i);
        }
        const Lumo::Tools::ChecksumTaskResult result = batch->Result(i);
        const Lumo::Tools::ChecksumEntry& entry = list.entries[i];
        if (result.status == ChecksumStatus::Hashed) {
            // Both are lowercase hex: the list's as read, ours as computed.
            const bool matches = result.digest == entry.digest;
            if (!matches) ++mismatched;
            if (verbosity == Verbosity::All || (!matches && verbosity == Verbosity::FailuresOnly))
                Print(stdout, ReportedName(entry.name) + (matches ? L": OK\n" : L": FAILED\n"));
            continue;
        }
        ++unreadable;
        PrintError(QuotedName(entry.name) + L": " + FailureReason(result.error));
        if (verbosity != Verbosity::Nothing)
            Print(stdout, ReportedName(entry.name) + L": FAILED open or read\n");
    }

    if (verbosity != Verbosity::Nothing) {
        if (!list.malformedLines.empty())
            PrintError(L"WARNING: " + Count(list.malformedLines.size(), L"line is improperly formatted",
                                            L"lines are improperly formatted"));
        if (unreadable != 0)
            PrintError(L"WARNING: " + Count(unreadable, L"listed file could not be read",
                                            L"listed files could not be read"));
        if (mismatched != 0)
            PrintError(L"WARNING: " + Count(mismatched, L"computed checksum did NOT match",
                                            L"computed checksums did NOT match"));
    }
    return mismatched == 0 && unreadable == 0;
}

}  // namespace

int CheckLists(const std::vector<std::wstring>& lists, const HashAlgorithmName* stdinHint,
               Verbosity verbosity) {
    bool allMatch = true;
    for (const std::wstring& list : lists)
        if (!CheckList(list, stdinHint, verbosity)) allMatch = false;
    std::fflush(stdout);
    return allMatch ? 0 : 1;
}

}  // namespace Qvsum

// The data file reader under libFuzzer. Every input must end as boost's
// reader ends it (the same record, or the same refusal), and a record read
// must survive the upgrade and the write-back: what the writer makes of it
// reads back equal and writes the same bytes again. The folder list the
// record holds is then edited through views into itself, and visits are
// recorded in its history.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/DataArchive.h"
#include "win/Errors.h"

namespace {

void Check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "DataFileFuzz: %s\n", what);
    std::abort();
}

enum class Outcome { Loaded, NewerRelease, Damaged };

struct Reading {
    Outcome outcome = Outcome::Damaged;
    std::shared_ptr<Lumo::Data::AllData> data;
};

// The two refusals a reader may answer with; anything else it throws is a fault.
Reading Read(const std::function<std::shared_ptr<Lumo::Data::AllData>()>& read, bool plain) {
    Reading reading;
    try {
        reading.data = read();
        reading.outcome = Outcome::Loaded;
    } catch (const ReleaseVersionTooHigh&) {
        reading.outcome = Outcome::NewerRelease;
    } catch (const Lumo::Data::CorruptDataFile&) {
        reading.outcome = Outcome::Damaged;
    } catch (const std::exception& error) {
        if (plain) {
            std::fprintf(stderr, "the plain reader threw %s\n", error.what());
            std::abort();
        }
        reading.outcome = Outcome::Damaged;  // boost's own complaint, told apart by the comparison
    }
    return reading;
}

bool SameRecord(const Lumo::Data::AllData& a, const Lumo::Data::AllData& b, bool withMaxCount) {
    return a.dataVersion == b.dataVersion && a.settings->sortMode == b.settings->sortMode &&
           *a.userSettings == *b.userSettings && a.favorites->revision == b.favorites->revision &&
           a.favorites->folders == b.favorites->folders &&
           a.navigateHistory->items == b.navigateHistory->items &&
           (!withMaxCount || a.navigateHistory->maxCount == b.navigateHistory->maxCount);
}

// Appends every folder again through a view into the list itself (the block
// may move under the view), removes the first and sorts, next to a plain
// model of the same edits.
void EditFolders(const Lumo::Data::FolderList& read) {
    std::vector<std::wstring> model(read.begin(), read.end());
    Lumo::Data::FolderList folders = read;
    Check(folders == read, "a copied folder list differs");
    const std::size_t count = folders.size();
    for (std::size_t i = 0; i < count; ++i) {
        folders.push_back(folders[i]);
        model.push_back(model[i]);
    }
    if (!model.empty()) {
        folders.erase(0);
        model.erase(model.begin());
    }
    folders.sort();
    std::sort(model.begin(), model.end());
    Check(folders.size() == model.size(), "an edited folder list has a wrong size");
    for (std::size_t i = 0; i < model.size(); ++i) {
        Check(folders[i] == model[i], "an edited folder list holds a wrong folder");
        Check(folders.c_str(i)[folders[i].size()] == L'\0', "a folder lacks its terminating zero");
    }
    Check(Lumo::Data::FolderList(folders.begin(), folders.end()) == folders,
          "a folder list built from another differs");
}

// Records visits as the menus do, on the history and the bound a file gave
// (any number of items, repeated ones, any bound): a visit leads the list,
// which a positive bound keeps short, and no bound of zero records anything.
void Visit(const Lumo::Data::NavigateHistory& read, const Lumo::Data::FolderList& folders) {
    Lumo::Data::NavigateHistory history = read;
    std::vector<std::wstring> visits;
    for (const std::wstring& item : history.items) {
        if (visits.size() == 8) break;
        visits.push_back(item);
    }
    if (!folders.empty()) visits.emplace_back(folders[0]);
    visits.emplace_back(L"C:\\Visited");
    for (const std::wstring& folder : visits) {
        const std::list<std::wstring> before = history.items;
        const bool changed = history.Add(folder);
        Check(changed == (history.items != before), "a visit misreports whether the history changed");
        if (history.maxCount == 0) {
            Check(!changed, "a history of depth zero recorded a visit");
            continue;
        }
        Check(history.items.front() == folder, "a visit does not lead the history");
        if (history.maxCount > 0) {
            Check(history.items.size() <= static_cast<std::size_t>(history.maxCount),
                  "the history outgrew its depth");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(input), size);
    const Reading plain = Read([&] { return Lumo::Data::ReadDataArchive(bytes); }, true);
    const Reading checked = Read(
        [&] {
            Lumo::Data::ValidateDataArchive(bytes);
            return std::make_shared<Lumo::Data::AllData>();
        },
        true);
    const Reading boost = Read([&] { return Lumo::Data::ReadDataArchiveWithBoost(bytes); }, false);
    Check(checked.outcome == plain.outcome, "the layout check and the reader disagree");
    Check(boost.outcome == plain.outcome, "boost's reader and the plain reader disagree");
    if (plain.outcome != Outcome::Loaded) return 0;
    Check(SameRecord(*plain.data, *boost.data, true), "boost's reader reads another record");
    const Lumo::Data::AllData& data = *plain.data;
    Check(data.favorites && data.navigateHistory && data.settings && data.userSettings,
          "a record lacks a part");

    const bool older = data.dataVersion < Lumo::Data::AllData::CurrentDataVersion;
    Check(plain.data->Upgrade() == older, "the upgrade did not say whether it raised the record");
    Check(data.dataVersion == Lumo::Data::AllData::CurrentDataVersion, "the upgrade left another data version");
    const std::string written = Lumo::Data::WriteDataArchive(data);
    const Reading again = Read([&] { return Lumo::Data::ReadDataArchive(written); }, true);
    Check(again.outcome == Outcome::Loaded, "a record written back does not read again");
    // The history's bound comes from the settings, which the write-back
    // always carries (a file of the oldest layout had none).
    Check(SameRecord(data, *again.data, false), "a record written back reads as another");
    Check(again.data->navigateHistory->maxCount == again.data->userSettings->historyDepth,
          "the history's bound is not the settings' depth");
    Check(Lumo::Data::WriteDataArchive(*again.data) == written, "a record read back writes other bytes");
    EditFolders(data.favorites->folders);
    Visit(*data.navigateHistory, data.favorites->folders);
    return 0;
}

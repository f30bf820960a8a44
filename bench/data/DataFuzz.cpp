// Fuzzes the loading of Data.qvd through the real Lumo::Data::DataCenter: mutated
// data files (seeds with thousands of favorites, counts and lengths pushed to
// their limits and past them) are written to a private data folder and loaded.
// Each case must end in its specified outcome:
//   - a file the layout accepts loads, and the record equals what boost
//     serialization reads from the same bytes (an older data version is
//     raised and written back);
//   - a file of a newer release fails with ReleaseVersionTooHigh and stays
//     byte for byte as it was;
//   - anything else is set aside byte for byte as Data.qvd.damaged and the
//     record starts from the defaults.
// A case that crashes ends the program; one that takes longer than the hang
// limit, or memory beyond the bound, fails the run.
//
// DataFuzz [--cases N] [--seed S] [--folder F]
//   defaults: 100000 cases, seed 1, a new folder under the temporary folder.
//   Every case that sets a file aside or upgrades one writes and flushes the
//   data file; on a folder in memory (under Wine, for example Z:\dev\shm)
//   the flushes cost nothing.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../BenchClock.h"
#include "data/DataArchive.h"
#include "data/DataCenter.h"
#include "data/DataFile.h"
#include "win/Errors.h"

namespace {

// Little-endian field writer that remembers where the counts, lengths and ids
// went, so that mutations can aim at them.
class Layout {
public:
    enum Kind { Count, Length, Id, Other };
    struct Field {
        std::size_t offset;
        std::size_t width;
        Kind kind;
    };

    Layout& U8(std::uint8_t v, Kind kind = Other) { return Raw(&v, 1, kind); }
    Layout& I16(std::int16_t v) { return Raw(&v, 2, Id); }
    Layout& I32(std::int32_t v) { return Raw(&v, 4, Other); }
    Layout& U32(std::uint32_t v, Kind kind = Other) { return Raw(&v, 4, kind); }
    Layout& Str(const std::wstring& s) {
        const std::uint64_t length = s.size();
        Raw(&length, 8, Length);
        for (wchar_t c : s) {
            const std::uint16_t unit = static_cast<std::uint16_t>(c);
            Raw(&unit, 2, Other);
        }
        return *this;
    }
    Layout& Strings(const std::vector<std::wstring>& list) {
        U8(0).U8(0);  // collection preamble
        U32(static_cast<std::uint32_t>(list.size()), Count);
        U32(0);  // item version
        for (const auto& s : list) Str(s);
        return *this;
    }
    Layout& Pointer(std::int16_t classId, std::uint32_t objectId) {
        U8(0).U8(1);  // wrapper preamble
        I16(classId);
        U8(1).U8(0);  // tracked, class version 0
        return U32(objectId, Id);
    }

    std::string bytes;
    std::vector<Field> fields;

private:
    Layout& Raw(const void* p, std::size_t n, Kind kind) {
        if (kind != Other) fields.push_back({bytes.size(), n, kind});
        bytes.append(static_cast<const char*>(p), n);
        return *this;
    }
};

Layout Record(std::int32_t dataVersion, const std::vector<std::wstring>& favorites,
              const std::vector<std::wstring>& history) {
    Layout layout;
    layout.U8(0).U8(1).I32(dataVersion);
    layout.Pointer(2, 0).I32(1);                                         // Settings
    layout.Pointer(4, 1).I32(3).U8(1).I32(300).U8(0).I32(1000).I32(50);  // UserSettings
    layout.Pointer(6, 2).I32(77).Strings(favorites);                     // Favorites
    layout.Pointer(9, 3).Strings(history);                               // NavigateHistory
    return layout;
}

Layout VersionZero(const std::vector<std::wstring>& favorites) {
    Layout layout;
    layout.U8(0).U8(0).I32(2);
    layout.Pointer(2, 0).I32(4).Strings(favorites);
    return layout;
}

std::vector<std::wstring> Folders(int count, int length, const wchar_t* stem) {
    std::vector<std::wstring> list;
    for (int i = 0; i < count; ++i) {
        std::wstring s = stem + std::to_wstring(i);
        if (static_cast<int>(s.size()) < length) s.append(static_cast<std::size_t>(length) - s.size(), L'x');
        list.push_back(s);
    }
    return list;
}

std::vector<Layout> Seeds() {
    std::vector<Layout> seeds;
    seeds.push_back(Record(3, {L"C:\\Work", L"D:\\B\u00e9"}, {L"E:\\X", L"C:\\Work"}));
    seeds.push_back(Record(3, {}, {}));
    seeds.push_back(VersionZero({L"F:\\Old"}));
    // Thousands of favorites, the size of a real heavy user and beyond.
    seeds.push_back(Record(3, Folders(3000, 40, L"C:\\Users\\someone\\Projects\\F"), Folders(50, 30, L"H")));
    seeds.push_back(Record(2, Folders(6000, 12, L"D:\\"), Folders(2000, 8, L"E:\\")));
    // Counts at their limit: as many empty strings as the bytes can hold.
    seeds.push_back(Record(3, std::vector<std::wstring>(20000, L""), std::vector<std::wstring>(20000, L"")));
    // Lengths at their limit: long strings.
    seeds.push_back(Record(3, {std::wstring(40000, L'a'), L"", std::wstring(70000, L'\xD800')}, {}));
    return seeds;
}

std::uint64_t Pick(std::mt19937_64& random, std::uint64_t bound) { return bound == 0 ? 0 : random() % bound; }

// One to four edits: half of them aim at a count, length or id and write a
// value at or past its limit, the rest are blind byte-level damage.
std::string Mutate(const Layout& seed, std::mt19937_64& random) {
    std::string bytes = seed.bytes;
    const int edits = 1 + static_cast<int>(Pick(random, 4));
    if (random() % 3 == 0) {
        // Overwrites in place only: the layout mostly holds (texts, numbers
        // and flags change), so these exercise what a loaded record holds.
        for (int e = 0; e < edits && !bytes.empty(); ++e) {
            bytes[static_cast<std::size_t>(Pick(random, bytes.size()))] = static_cast<char>(random());
        }
        return bytes;
    }
    for (int e = 0; e < edits && !bytes.empty(); ++e) {
        if (random() % 2 == 0 && !seed.fields.empty()) {
            const Layout::Field& field = seed.fields[Pick(random, seed.fields.size())];
            if (field.offset + field.width > bytes.size()) continue;
            const std::uint64_t after = bytes.size() - field.offset - field.width;
            std::uint64_t value = 0;
            switch (Pick(random, 10)) {
                case 0:
                    value = 0;
                    break;
                case 1:
                    value = after / (field.kind == Layout::Length ? 2 : 8);
                    break;  // exactly what fits
                case 2:
                    value = after / (field.kind == Layout::Length ? 2 : 8) + 1;
                    break;  // one too many
                case 3:
                    value = 0x7FFFFFFFull;
                    break;
                case 4:
                    value = 0x80000000ull;
                    break;
                case 5:
                    value = 0xFFFFFFFFull;
                    break;
                case 6:
                    value = 0x100000000ull + Pick(random, 8);
                    break;  // wraps a 32-bit size_t
                case 7:
                    value = 0x8000000000000000ull;
                    break;
                case 8:
                    value = ~0ull;
                    break;
                default:
                    value = Pick(random, 64);
                    break;
            }
            for (std::size_t k = 0; k < field.width; ++k)
                bytes[field.offset + k] = static_cast<char>(value >> (8 * k));
            continue;
        }
        const std::size_t at = static_cast<std::size_t>(Pick(random, bytes.size()));
        switch (Pick(random, 6)) {
            case 0:
                bytes[at] = static_cast<char>(bytes[at] ^ (1 + Pick(random, 255)));
                break;
            case 1:
                bytes.erase(at, 1 + Pick(random, 16));
                break;
            case 2:
                bytes.insert(at, std::string(1 + Pick(random, 16), static_cast<char>(random())));
                break;
            case 3:
                bytes.resize(at);
                break;
            case 4: {  // repeat a slice (a second record, a doubled string)
                const std::size_t length = static_cast<std::size_t>(1 + Pick(random, 64));
                bytes.insert(at, bytes.substr(at, length));
                break;
            }
            default:
                bytes[at] = static_cast<char>(random());
                break;
        }
    }
    return bytes;
}

bool SameRecord(const Lumo::Data::AllData& a, const Lumo::Data::AllData& b) {
    return a.dataVersion == b.dataVersion && a.settings->sortMode == b.settings->sortMode &&
           *a.userSettings == *b.userSettings && a.favorites->revision == b.favorites->revision &&
           a.favorites->folders == b.favorites->folders &&
           a.navigateHistory->items == b.navigateHistory->items &&
           a.navigateHistory->maxCount == b.navigateHistory->maxCount;
}

std::string ReadOrEmpty(const std::wstring& path) {
    try {
        return Lumo::Data::ReadWholeFile(path);
    } catch (const std::exception&) {
        return std::string("<unreadable>");
    }
}

void WriteCaseFile(const std::wstring& path, const std::string& bytes) {
    Lumo::Win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file ||
        !::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        std::fprintf(stderr, "cannot write the case file\n");
        std::exit(2);
    }
}

std::uint64_t PeakMemory() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) return 0;
    const std::uint64_t pagefile = counters.PeakPagefileUsage;
    const std::uint64_t working = counters.PeakWorkingSetSize;
    return pagefile > working ? pagefile : working;
}

double Seconds() { return Bench::NowMs() / 1000.0; }

enum Outcome { Loaded, Upgraded, SetAside, NewerRelease, OutcomeCount };
const char* const kOutcomeNames[] = {"loaded", "loaded and upgraded", "set aside", "newer release refused"};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    long long cases = 100000;
    unsigned long long seedValue = 1;
    std::wstring parent;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::wcscmp(argv[i], L"--cases") == 0) cases = std::wcstoll(argv[i + 1], nullptr, 10);
        if (std::wcscmp(argv[i], L"--seed") == 0) seedValue = std::wcstoull(argv[i + 1], nullptr, 10);
        if (std::wcscmp(argv[i], L"--folder") == 0) parent = argv[i + 1];
    }
    if (parent.empty()) {
        wchar_t temp[MAX_PATH + 1] = {};
        ::GetTempPathW(MAX_PATH + 1, temp);
        parent = temp;
    }
    if (parent.back() != L'\\') parent += L'\\';
    const std::wstring folder = parent + L"qvfuzz-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    Lumo::Data::DataCenter center(folder);
    const std::wstring path = center.GetDataFilePath();
    const std::wstring aside = path + Lumo::Data::DataCenter::kDamagedSuffix;

    const std::vector<Layout> seeds = Seeds();
    std::size_t largest = 0;
    for (const Layout& seed : seeds) largest = std::max(largest, seed.bytes.size());
    // Each input is at most about twice the largest seed; the records of a
    // file cost a small multiple of its bytes.
    const std::uint64_t baseline = PeakMemory();
    const std::uint64_t memoryBound = baseline + 64ull * largest + (64ull << 20);

    // Watchdog: a case that does not end within the limit is a hang.
    constexpr DWORD kHangLimitMs = 20000;
    std::atomic<long long> current{-1};
    std::atomic<DWORD> started{0};
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        while (!done) {
            ::Sleep(200);
            const long long c = current;
            if (c >= 0 && ::GetTickCount() - started > kHangLimitMs) {
                std::fprintf(stderr, "HANG: case %lld did not end within %lu ms\n", c, kHangLimitMs);
                std::fflush(stderr);
                ::ExitProcess(3);
            }
        }
    });

    std::mt19937_64 random(seedValue);
    long long outcomes[OutcomeCount] = {};
    long long failures = 0;
    double slowestMs = 0;
    double phases[6] = {};
    for (long long c = 0; c < cases; ++c) {
        const Layout& seed = seeds[static_cast<std::size_t>(c % static_cast<long long>(seeds.size()))];
        const std::string bytes = Mutate(seed, random);
        const double t0 = Seconds();
        WriteCaseFile(path, bytes);
        const double t1 = Seconds();

        // The expected outcome, told by the layout check and boost.
        Outcome expected = SetAside;
        std::shared_ptr<Lumo::Data::AllData> reference;
        try {
            reference = Lumo::Data::ReadDataArchiveWithBoost(bytes);
            expected = reference->dataVersion <= 2 ? Upgraded : Loaded;
            reference->Upgrade();
        } catch (const ReleaseVersionTooHigh&) {
            expected = NewerRelease;
        } catch (const std::exception&) {
            expected = SetAside;
        }

        const double t2 = Seconds();
        const double begin = Bench::NowMs();
        started = ::GetTickCount();
        current = c;
        Outcome got = SetAside;
        std::shared_ptr<Lumo::Data::AllData> data;
        std::string problem;
        try {
            data = center.Load();
            const bool wasAside = Lumo::Data::PathExists(aside);
            got = wasAside ? SetAside : (expected == Upgraded ? Upgraded : Loaded);
        } catch (const ReleaseVersionTooHigh&) {
            got = NewerRelease;
        } catch (const std::exception& error) {
            problem = std::string("Load threw ") + error.what();
        }
        current = -1;
        const double loadMs = Bench::NowMs() - begin;
        slowestMs = std::max(slowestMs, loadMs);

        if (problem.empty() && got != expected) problem = std::string("outcome ") + kOutcomeNames[got];
        if (problem.empty()) {
            switch (got) {
                case Loaded:
                case Upgraded:
                    if (!SameRecord(*data, *reference)) problem = "record differs from boost's reading";
                    if (got == Loaded && ReadOrEmpty(path) != bytes) problem = "file changed by a plain load";
                    if (got == Upgraded && Lumo::Data::ReadDataArchive(ReadOrEmpty(path))->dataVersion != 3) {
                        problem = "upgraded record not written back";
                    }
                    break;
                case SetAside:
                    if (ReadOrEmpty(aside) != bytes) problem = "set-aside copy differs from the file";
                    if (!data->favorites->folders.empty() || data->favorites->revision != 1) {
                        problem = "record after setting aside is not the defaults";
                    }
                    break;
                case NewerRelease:
                    if (ReadOrEmpty(path) != bytes) problem = "file of a newer release was changed";
                    break;
                default:
                    break;
            }
        }
        const double t3 = Seconds();
        if (PeakMemory() > memoryBound) problem = "memory beyond the bound";
        const double t4 = Seconds();
        if (!problem.empty()) {
            ++failures;
            if (failures <= 20) {
                std::printf("FAIL case %lld (seed %zu, %zu bytes, expected %s): %s\n", c,
                            static_cast<std::size_t>(c % static_cast<long long>(seeds.size())), bytes.size(),
                            kOutcomeNames[expected], problem.c_str());
            }
        } else {
            ++outcomes[got];
        }
        ::DeleteFileW(aside.c_str());
        const double t5 = Seconds();
        if ((c + 1) % 10000 == 0) {
            std::printf("  ... %lld cases, %lld failed\n", c + 1, failures);
            std::fflush(stdout);
        }
        phases[0] += t1 - t0;
        phases[1] += t2 - t1;
        phases[2] += loadMs / 1000.0;
        phases[3] += t3 - t2 - loadMs / 1000.0;
        phases[4] += t4 - t3;
        phases[5] += t5 - t4;
    }
    done = true;
    watchdog.join();
    ::DeleteFileW(path.c_str());
    ::DeleteFileW(aside.c_str());
    ::RemoveDirectoryW(folder.c_str());

    std::printf("DataFuzz: %lld cases (seed %llu, %zu-bit build)\n", cases, seedValue, sizeof(void*) * 8);
    for (int o = 0; o < OutcomeCount; ++o) std::printf("  %-22s %lld\n", kOutcomeNames[o], outcomes[o]);
    std::printf("  slowest case %.1f ms; peak memory %.1f MiB (bound %.1f MiB, start %.1f MiB)\n", slowestMs,
                PeakMemory() / 1048576.0, memoryBound / 1048576.0, baseline / 1048576.0);
    std::printf(
        "  seconds spent: writing %.1f, boost's reading %.1f, Load %.1f, checks %.1f, memory %.1f, cleanup "
        "%.1f\n",
        phases[0], phases[1], phases[2], phases[3], phases[4], phases[5]);
    std::printf("%lld passed, %lld failed\n", cases - failures, failures);
    return failures == 0 ? 0 : 1;
}

// Times Lumo::Data::DataCenter's Load, AddFavorite and AddNavigateHistory on data files of
// 10, 1,000 and 10,000 favorites, against plain whole-file reading and writing
// (with flush) of a file of the same size measured in the same run.
//
// The operations take turns within each round, so that a busy machine slows
// them alike, and every call is timed on its own: the table gives the best
// call of each operation and the ratios of the best calls, with the ratios of
// the median calls beside them. Read and Load hand their result over as a
// caller keeps it: freeing the bytes and the record is timed apart. For the
// largest file, Load and read follow again, each in a loop of its own (what
// one leaves in the heap changes what the next allocation costs under Wine),
// and then a breakdown of Load: the lock, the read, the layout check, the
// reading of the records from plain bytes, the read into the block that the
// favorites keep and the records from it, and the previous reader (boost
// serialization after the same check) that Load used, in its former steps.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "../BenchClock.h"
#include "data/DataArchive.h"
#include "data/DataCenter.h"
#include "data/DataFile.h"

namespace {

struct Samples {
    std::vector<double> ms;
    void Time(const std::function<void()>& body) {
        const double start = Bench::NowMs();
        body();
        ms.push_back(Bench::NowMs() - start);
    }
    double Best() const { return *std::min_element(ms.begin(), ms.end()); }
    double Median() const {
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
};

void PlainWrite(const std::wstring& path, const std::string& bytes) {
    Lumo::Win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::FlushFileBuffers(file.get());
}

}  // namespace

int main() {
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, temp);
    std::printf("best call of each (ratios of the best calls; ratios of the median calls in brackets)\n");
    std::printf("%8s %9s | %8s %8s | %8s %9s %10s | %11s %11s %11s\n", "favs", "bytes", "read ms", "write ms",
                "Load ms", "AddFav ms", "AddHist ms", "Load/r", "Fav/rw", "Hist/rw");
    for (int count : {10, 1000, 10000}) {
        const std::wstring folder = std::wstring(temp) + L"qvbench-" +
                                    std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(count);
        Lumo::Data::DataCenter center(folder);
        Lumo::Data::AllData data;
        for (int i = 0; i < count; ++i) {
            data.favorites->folders.push_back(L"C:\\Users\\someone\\Documents\\Projects\\Folder " +
                                              std::to_wstring(i));
        }
        center.Save(data);
        const std::wstring path = center.GetDataFilePath();
        const std::string bytes = Lumo::Data::ReadWholeFile(path);
        const std::wstring plain = folder + L"\\plain.bin";
        const int rounds = count >= 10000 ? 40 : 100;

        Samples read, write, load, addFavorite, addHistory;
        Samples lock, readOnly, readBlock, check, build, buildBlock, previous, serialize, replace, freeBytes,
            freeRecord;
        for (int round = -1; round < rounds; ++round) {  // round -1 warms up
            // Both hand their result over, as a caller keeps it; freeing it
            // is timed apart.
            std::string readBytes;
            std::shared_ptr<Lumo::Data::AllData> loaded;
            read.Time([&] { readBytes = Lumo::Data::ReadWholeFile(path); });
            load.Time([&] { loaded = center.Load(); });
            freeBytes.Time([&] { std::string().swap(readBytes); });
            freeRecord.Time([&] { loaded.reset(); });
            write.Time([&] { PlainWrite(plain, bytes); });
            addFavorite.Time([&] { center.AddFavorite(L"D:\\New " + std::to_wstring(round)); });
            addHistory.Time([&] { center.AddNavigateHistory(round % 2 ? L"E:\\A" : L"E:\\B"); });
            if (count < 10000) continue;
            lock.Time([&] { Lumo::Data::DataFileLock held(path); });
            const std::string current = Lumo::Data::ReadWholeFile(path);
            readOnly.Time([&] { Lumo::Data::ReadWholeFile(path); });
            Lumo::Data::DataFileBytes block;
            readBlock.Time([&] { block = Lumo::Data::ReadDataFile(path); });
            check.Time([&] { Lumo::Data::ValidateDataArchive(current); });
            std::shared_ptr<Lumo::Data::AllData> built;
            build.Time([&] { built = Lumo::Data::ReadDataArchive(current); });
            built.reset();
            buildBlock.Time([&] { built = Lumo::Data::ReadDataArchive(std::move(block)); });
            built.reset();
            previous.Time([&] {
                // The steps Load took before: three existence tests under
                // the lock, the read, the check and boost's reader.
                Lumo::Data::DataFileLock held(path);
                Lumo::Data::PathExists(folder);
                Lumo::Data::PathExists(folder);
                Lumo::Data::PathExists(path);
                built = Lumo::Data::ReadDataArchiveWithBoost(Lumo::Data::ReadWholeFile(path));
            });
            built.reset();
            std::string written;
            const auto record = Lumo::Data::ReadDataArchive(current);
            serialize.Time([&] { written = Lumo::Data::WriteDataArchive(*record); });
            replace.Time([&] { Lumo::Data::ReplaceFileContents(path, path + L".tmp", written); });
        }
        std::printf(
            "%8d %9zu | %8.3f %8.3f | %8.3f %9.3f %10.3f | %4.2f (%4.2f) %4.2f (%4.2f) %4.2f (%4.2f)\n",
            count, bytes.size(), read.Best(), write.Best(), load.Best(), addFavorite.Best(),
            addHistory.Best(), load.Best() / read.Best(), load.Median() / read.Median(),
            addFavorite.Best() / (read.Best() + write.Best()),
            addFavorite.Median() / (read.Median() + write.Median()),
            addHistory.Best() / (read.Best() + write.Best()),
            addHistory.Median() / (read.Median() + write.Median()));
        if (count >= 10000) {
            // Each on its own, call after call: nothing else allocates or
            // frees between the calls, so neither meets the memory the other
            // left behind.
            Samples readAlone, loadAlone;
            for (int round = 0; round < rounds; ++round)
                readAlone.Time([&] { Lumo::Data::ReadWholeFile(path); });
            for (int round = 0; round < rounds; ++round) loadAlone.Time([&] { center.Load(); });
            std::printf("Load alone %.3f, read alone %.3f: %.2f x (median %.2f x)\n", loadAlone.Best(),
                        readAlone.Best(), loadAlone.Best() / readAlone.Best(),
                        loadAlone.Median() / readAlone.Median());
            std::printf(
                "Load of %d favorites, best calls in ms: lock %.3f, read %.3f, layout check alone %.3f,\n"
                "  reading the records %.3f; read into the block Load keeps %.3f, the records from it %.3f;\n"
                "  previous Load %.3f (%.2f x read, median %.2f x);\n"
                "  freeing afterwards: the bytes read %.3f, the record %.3f;\n"
                "  writing: archive %.3f, atomic replacement %.3f\n",
                count, lock.Best(), readOnly.Best(), check.Best(), build.Best(), readBlock.Best(),
                buildBlock.Best(), previous.Best(), previous.Best() / read.Best(),
                previous.Median() / read.Median(), freeBytes.Best(), freeRecord.Best(), serialize.Best(),
                replace.Best());
        }
        ::DeleteFileW(plain.c_str());
        ::DeleteFileW(path.c_str());
        ::RemoveDirectoryW(folder.c_str());
    }
    return 0;
}

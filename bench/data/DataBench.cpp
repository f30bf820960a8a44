// Times Data::DataCenter's Load, AddFavorite and AddNavigateHistory on data files of
// 10, 1,000 and 10,000 favorites, against plain whole-file reading and writing
// (with flush) of a file of the same size measured in the same run.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

#include "data/DataArchive.h"
#include "data/DataCenter.h"
#include "data/DataFile.h"

namespace {

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / frequency;
}

// Mean milliseconds per call over `repeats` calls after one warm-up call.
double Time(int repeats, const std::function<void(int)>& body) {
    body(-1);
    const double start = Now();
    for (int i = 0; i < repeats; ++i) body(i);
    return (Now() - start) * 1000.0 / repeats;
}

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
    std::printf("%8s %9s | %9s %9s | %9s %9s %9s | %7s %7s %7s\n", "favs", "bytes", "read ms", "write ms",
                "Load ms", "AddFav ms", "AddHist ms", "Load/r", "Fav/rw", "Hist/rw");
    for (int count : {10, 1000, 10000}) {
        const std::wstring folder = std::wstring(temp) + L"qvbench-" +
                                    std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(count);
        Data::DataCenter center(folder);
        Data::AllData data;
        for (int i = 0; i < count; ++i) {
            data.favorites->folders.push_back(L"C:\\Users\\someone\\Documents\\Projects\\Folder " +
                                              std::to_wstring(i));
        }
        center.Save(data);
        const std::wstring path = center.GetDataFilePath();
        const std::string bytes = Data::ReadWholeFile(path);
        const std::wstring plain = folder + L"\\plain.bin";
        const int repeats = count >= 10000 ? 20 : 100;

        const double read = Time(repeats, [&](int) { Data::ReadWholeFile(path); });
        const double write = Time(repeats, [&](int) { PlainWrite(plain, bytes); });
        const double load = Time(repeats, [&](int) { center.Load(); });
        const double addFavorite =
            Time(repeats, [&](int i) { center.AddFavorite(L"D:\\New " + std::to_wstring(i)); });
        const double addHistory =
            Time(repeats, [&](int i) { center.AddNavigateHistory(i % 2 ? L"E:\\A" : L"E:\\B"); });
        std::printf("%8d %9zu | %9.3f %9.3f | %9.3f %9.3f %9.3f | %7.1f %7.1f %7.1f\n", count, bytes.size(),
                    read, write, load, addFavorite, addHistory, load / read, addFavorite / (read + write),
                    addHistory / (read + write));
        ::DeleteFileW(plain.c_str());
        ::DeleteFileW(path.c_str());
        ::RemoveDirectoryW(folder.c_str());
    }
    return 0;
}

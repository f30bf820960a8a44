// Times opening the context menu on a selection of 5,000 local files against
// one of 16 files of the same folder, in the same run: Initialize (which
// copies the identifier lists), QueryContextMenu, and opening the Quelvar
// submenu and Shell Tools (each filled as it opens), driven through the test
// shell host with the shell's own data object. Also prints how many items the
// handler asked the shell about while the menus opened.
// Build and run: cmake --build build -j2 --target SelectionBench, then
// scripts/wine-run.sh build/bin/SelectionBench.exe (repeat: the machine is shared).
// With "--once N" it opens the menu once on N files between two debug-output
// lines "qv-open-begin" and "qv-open-end", so that a run under Wine's file
// trace (WINEDEBUG=trace+file,+debugstr) shows the file calls of that opening.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "../BenchClock.h"
#include "system/Selection.h"
#include "shellext/GotoFavorite.h"
#include "support/ShellHost.h"

using namespace ShellExt;
using namespace QuelvarTest;

namespace {

constexpr size_t kLarge = 5000;
constexpr size_t kSmall = 16;

// The shell's data object for the first `count` files of `folder`, as a view
// hands it to a handler.
Lumo::Win::ComPtr<IDataObject> SelectionOf(IShellFolder* folder,
                                           const std::vector<Lumo::Win::UniqueIdList>& files, size_t count) {
    std::vector<PCUITEMID_CHILD> children;
    for (size_t i = 0; i < count; ++i) children.push_back(reinterpret_cast<PCUITEMID_CHILD>(files[i].get()));
    Lumo::Win::ComPtr<IDataObject> data;
    if (FAILED(folder->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()), children.data(),
                                     IID_IDataObject, nullptr, data.put_void())) ||
        !data) {
        throw std::runtime_error("GetUIObjectOf failed");
    }
    return data;
}

struct Times {
    double initialize = 1e300, open = 1e300;  // open: query and both popups
    double query = 1e300, main = 1e300, tools = 1e300;
    long examined = 0;
};

// One context menu: Initialize, QueryContextMenu, the Quelvar submenu and Shell Tools.
void OneMenu(ShellHost& host, IDataObject* data, Times& best) {
    host.ResetMenu();
    host.CreateHandler();
    const long before = Data::ItemsExaminedSoFar();
    const double t0 = Bench::NowMs();
    if (host.Initialize(nullptr, data) != S_OK) throw std::runtime_error("Initialize failed");
    const double t1 = Bench::NowMs();
    host.QueryContextMenu();
    const double tq = Bench::NowMs();
    HMENU main = host.OpenQuelvarSubmenu();
    const double tm = Bench::NowMs();
    int tools = -1;
    for (const auto& entry : host.Entries(main)) {
        if (entry.item && entry.item->kind == OddBase::KindShellTools)
            tools = static_cast<int>(entry.position);
    }
    if (tools < 0) throw std::runtime_error("no Shell Tools entry");
    host.OpenSubmenu(main, static_cast<UINT>(tools));
    const double t2 = Bench::NowMs();
    best.examined = Data::ItemsExaminedSoFar() - before;
    host.CloseAll();
    host.ReleaseHandler();
    best.initialize = std::min(best.initialize, t1 - t0);
    best.open = std::min(best.open, t2 - t1);
    best.query = std::min(best.query, tq - t1);
    best.main = std::min(best.main, tm - tq);
    best.tools = std::min(best.tools, t2 - tm);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = 0;
    try {
        size_t once = 0;
        if (argc == 3 && std::wcscmp(argv[1], L"--once") == 0) once = static_cast<size_t>(_wtoi(argv[2]));
        const size_t fileCount = std::max(kLarge, once);
        EngineScope engine;
        TempFolder temp;
        std::wstring folderPath = temp.Path();
        folderPath.pop_back();
        for (size_t i = 0; i < fileCount; ++i) {
            wchar_t name[32];
            std::swprintf(name, 32, L"file%05u.txt", static_cast<unsigned>(i));
            WriteFileBytes(temp.File(name), "x");
        }
        Lumo::Win::UniqueIdList folderList = ParseName(folderPath);
        Lumo::Win::ComPtr<IShellFolder> desktop, folder;
        ::SHGetDesktopFolder(desktop.put());
        if (FAILED(desktop->BindToObject(folderList.get(), nullptr, IID_IShellFolder, folder.put_void())))
            throw std::runtime_error("cannot bind the folder");
        std::vector<Lumo::Win::UniqueIdList> files;
        for (size_t i = 0; i < fileCount; ++i) {
            wchar_t name[32];
            std::swprintf(name, 32, L"file%05u.txt", static_cast<unsigned>(i));
            Lumo::Win::UniqueIdList child;
            ULONG eaten = 0;
            if (FAILED(folder->ParseDisplayName(nullptr, nullptr, name, &eaten, child.put(), nullptr)))
                throw std::runtime_error("cannot parse a file name");
            files.push_back(std::move(child));
        }
        ShellHost host;
        if (once) {
            auto data = SelectionOf(folder.get(), files, once);
            Times times;
            ::OutputDebugStringA("qv-open-begin\n");
            OneMenu(host, data.get(), times);
            ::OutputDebugStringA("qv-open-end\n");
            std::printf(
                "one menu on %u files: initialize %.3f ms, query and popups %.3f ms, %ld items examined\n",
                static_cast<unsigned>(once), times.initialize, times.open, times.examined);
        } else {
            auto small = SelectionOf(folder.get(), files, kSmall);
            auto large = SelectionOf(folder.get(), files, kLarge);
            Times smallTimes, largeTimes;
            // Rounds take turns, so that both see the same load of the machine.
            for (int round = 0; round < 30; ++round) {
                OneMenu(host, small.get(), smallTimes);
                OneMenu(host, large.get(), largeTimes);
            }
            std::printf("SelectionBench: the menu on a selection of files (best of 30)\n");
            std::printf(
                "  %5u files: Initialize %8.3f ms, query + Quelvar submenu + Shell Tools %8.3f ms, "
                "%ld items examined\n",
                static_cast<unsigned>(kSmall), smallTimes.initialize, smallTimes.open, smallTimes.examined);
            std::printf(
                "  %5u files: Initialize %8.3f ms, query + Quelvar submenu + Shell Tools %8.3f ms, "
                "%ld items examined\n",
                static_cast<unsigned>(kLarge), largeTimes.initialize, largeTimes.open, largeTimes.examined);
            for (const Times* t : {&smallTimes, &largeTimes}) {
                std::printf("  %5u files: query %8.3f ms, Quelvar submenu %8.3f ms, Shell Tools %8.3f ms\n",
                            static_cast<unsigned>(t == &smallTimes ? kSmall : kLarge), t->query, t->main,
                            t->tools);
            }
            std::printf(
                "  ratio %u / %u files: opening %6.2f, with Initialize %6.2f (goal: opening within 1.5)\n",
                static_cast<unsigned>(kLarge), static_cast<unsigned>(kSmall),
                largeTimes.open / smallTimes.open,
                (largeTimes.initialize + largeTimes.open) / (smallTimes.initialize + smallTimes.open));
        }
    } catch (const std::exception& e) {
        std::printf("SelectionBench failed: %s\n", e.what());
        status = 1;
    }
    ::CoUninitialize();
    return status;
}

// Times the Verify Checksums window at work. On a list of 10,000 files of 4 KiB: every 20 ms the bench reads
// the window's status (WM_GETTEXT sent from its own thread, as another program would) and times the round
// trip, beside the same round trip at the same moments to a bare window on a thread of its own (the
// platform's floor) and to the window once idle; and the time from opening to the summary. Then on the same
// files with a sparse file of 64 MiB after every hundredth, which keeps every processor hashing, it clicks
// "Cancel" once half of the files are done: the time until the status says "Cancelled", and until the threads
// that were hashing have ended. The time the window's thread spends in its poll ticks and list paints tells
// where its answers wait. Build and run: cmake --build build -j2 --target ChecksumWindowBench, then
// scripts/wine-run.sh build/bin/ChecksumWindowBench.exe (repeat: the machine is shared).
#include <windows.h>
#include <tlhelp32.h>
#include <winioctl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "../BenchClock.h"
#include "support/TestSupport.h"
#include "tools/ChecksumList.h"
#include "tools/ChecksumWindow.h"
#include "win/Boundary.h"
#include "win/Handle.h"
#include "win/ModuleReference.h"

using namespace Lumo::Tools;

namespace {

constexpr size_t kFiles = 10000, kSmallBytes = 4096, kLargeEvery = 100, kLarge = kFiles / kLargeEvery;
constexpr long long kLargeBytes = 64LL << 20;
constexpr double kProbeEveryMs = 20, kFrameMs = 16, kCancelGoalMs = 1000, kLimitMs = 300000;

std::wstring Sha256Of(const HashFeed& feed) {
    return CalculateHashOfFeed(HashAlgorithm::Sha2, 256, HashOutputFormat::LowercaseNoSpaces, feed);
}

void CreateSparseFile(const std::wstring& path) {
    const Lumo::Win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw std::runtime_error("cannot create a large file");
    DWORD ignored = 0;
    ::DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = kLargeBytes;
    if (!::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.get()))
        throw std::runtime_error("cannot size a large file");
}

// The files, and two lists: small.sha256 of the small files, mixed.sha256 with the large ones among them.
void MakeFiles(const QuelvarTest::TempFolder& folder) {
    const HashAlgorithmName& sha256 = *FindHashAlgorithm(L"sha256");
    const std::wstring zeros = Sha256Of([](const HashUpdate& update) {
        const std::vector<uint8_t> block(1 << 20);
        for (long long done = 0; done < kLargeBytes; done += block.size()) update(block.data(), block.size());
        return true;
    });
    std::string small, mixed, bytes(kSmallBytes, '\0');
    uint32_t x = 1;
    for (size_t i = 0; i < kFiles; ++i) {
        for (char& c : bytes) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 23);
        wchar_t name[32];
        std::swprintf(name, 32, L"s%05u.bin", static_cast<unsigned>(i));
        QuelvarTest::WriteFileBytes(folder.File(name), bytes);
        const std::wstring digest = Sha256Of([&](const HashUpdate& update) {
            update(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            return true;
        });
        small += FormatChecksumLine(sha256, digest, name);
        mixed += FormatChecksumLine(sha256, digest, name);
        if (i % kLargeEvery == kLargeEvery - 1) {
            std::swprintf(name, 32, L"l%03u.bin", static_cast<unsigned>(i / kLargeEvery));
            CreateSparseFile(folder.File(name));
            mixed += FormatChecksumLine(sha256, zeros, name);
        }
    }
    QuelvarTest::WriteFileBytes(folder.File(L"small.sha256"), small);
    QuelvarTest::WriteFileBytes(folder.File(L"mixed.sha256"), mixed);
}

// One round trip to a window's thread, in milliseconds; `text` gets the window's text.
double ReadText(HWND window, std::wstring* text = nullptr) {
    wchar_t buffer[1024] = {};
    DWORD_PTR copied = 0;
    const double start = Bench::NowMs();
    const bool answered = ::SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer),
                                                SMTO_NORMAL, 5000, &copied) != 0;
    const double ms = Bench::NowMs() - start;
    if (text) *text = answered ? std::wstring(buffer, std::min<DWORD_PTR>(copied, 1023)) : std::wstring();
    return ms;
}

// The files done of a progress text ("1,234 of 10,000 files, ..."), 0 for any other text.
size_t FilesDone(const std::wstring& status) {
    const size_t of = status.find(L" of ");
    std::wstring digits;
    for (size_t i = 0; of != std::wstring::npos && i < of; ++i)
        if (status[i] != L',') digits += status[i];
    return std::wcstoul(digits.c_str(), nullptr, 10);
}

std::vector<DWORD> ThreadsOfThisProcess() {
    std::vector<DWORD> ids;
    const Lumo::Win::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = snapshot && ::Thread32First(snapshot.get(), &entry); more;
         more = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ids.push_back(entry.th32ThreadID);
    }
    return ids;
}

// A bare window on a thread of its own that only answers.
class PeerWindow {
public:
    PeerWindow() : ready_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        thread_ = Lumo::Win::StartModuleThread([this] { Lumo::Win::VoidBoundary([this] { Run(); }); });
        if (::WaitForSingleObject(ready_.get(), 10000) != WAIT_OBJECT_0 || !window_)
            throw std::runtime_error("the peer window did not start");
    }
    ~PeerWindow() {
        ::PostThreadMessageW(::GetThreadId(thread_.get()), WM_QUIT, 0, 0);
        ::WaitForSingleObject(thread_.get(), 10000);
    }
    HWND Window() const { return window_; }

private:
    void Run() {
        const Lumo::Win::UniqueWindow window(
            ::CreateWindowExW(0, L"STATIC", L"peer", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
        window_ = window.get();
        ::SetEvent(ready_.get());
        MSG message;
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    }
    Lumo::Win::UniqueHandle ready_, thread_;
    HWND window_ = nullptr;
};

struct TimeSpent {
    unsigned count;
    double total, longest;
};

// For the scope, times one message of one window (slot 0 or 1) by wrapping its window procedure. What the
// wrapper keeps is static, so that a message under way as the scope ends still finds it.
template <int slot>
class MessageClock {
public:
    MessageClock(HWND window, UINT message) : window_(window) {
        message_ = message;
        spent_ = {};
        original_ = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Procedure)));
    }
    ~MessageClock() { ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_)); }
    TimeSpent Spent() const { return spent_; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
        return Lumo::Win::WindowBoundary(0, [&] {
            const double start = Bench::NowMs();
            const LRESULT result = ::CallWindowProcW(original_, window, message, wParam, lParam);
            const double spent = Bench::NowMs() - start;
            if (message == message_)
                spent_ = {spent_.count + 1, spent_.total + spent, std::max(spent_.longest, spent)};
            return result;
        });
    }
    static inline UINT message_ = 0;
    static inline WNDPROC original_ = nullptr;
    static inline TimeSpent spent_ = {};
    HWND window_;
};

struct Spread {
    unsigned count, overFrame;
    double median, p99, max;
};

Spread SpreadOf(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return {static_cast<unsigned>(times.size()),
            static_cast<unsigned>(
                std::count_if(times.begin(), times.end(), [](double t) { return t > kFrameMs; })),
            times[times.size() / 2], times[static_cast<size_t>(std::ceil(0.99 * times.size())) - 1],
            times.back()};
}

struct Figures {
    Spread busy, peer, idle;
    TimeSpent ticks, paints;
    double appeared = 0, finished = -1, cancelShown = -1, workersEnded = -1;
    size_t cancelledAt = 0, workers = 0, workersLeft = 0;
    std::wstring summary;
};

// Opens the window on `list` and reads it every 20 ms until its summary shows, or (with `cancelHalfway`)
// until half of the files are done, then clicks "Cancel"; then reads it idle, and closes it.
Figures Verify(const std::wstring& list, size_t files, bool cancelHalfway, HWND peer) {
    Figures figures;
    const std::vector<DWORD> before = ThreadsOfThisProcess();
    const double start = Bench::NowMs();
    const Lumo::Win::UniqueHandle thread = StartVerifyChecksums({list});
    HWND window = nullptr;
    while (!(window = ::FindWindowW(L"#32770", kVerifyChecksumsTitle)) || !::IsWindowVisible(window) ||
           !::GetDlgItem(window, kChecksumCancelClose)) {
        if (Bench::NowMs() - start > 30000) throw std::runtime_error("the window never appeared");
        ::Sleep(1);
    }
    figures.appeared = Bench::NowMs() - start;
    HWND status = ::GetDlgItem(window, kChecksumStatus), button = ::GetDlgItem(window, kChecksumCancelClose);
    const std::wstring summaryStart = FormatCount(files) + L" files: ";
    std::vector<double> busy, peerBusy, idle;
    {
        const MessageClock<0> ticks(window, WM_TIMER);
        const MessageClock<1> paints(::GetDlgItem(window, kChecksumResults), WM_PAINT);
        for (double next = Bench::NowMs();;) {
            std::wstring text;
            busy.push_back(ReadText(status, &text));
            peerBusy.push_back(ReadText(peer));
            if (text.rfind(summaryStart, 0) == 0) {
                figures.finished = Bench::NowMs() - start;
                figures.summary = text;
                break;
            }
            if (cancelHalfway && (figures.cancelledAt = FilesDone(text)) * 2 >= files) break;
            if (Bench::NowMs() - start > kLimitMs) throw std::runtime_error("the window never finished");
            next = std::max(next + kProbeEveryMs, Bench::NowMs());
            ::Sleep(static_cast<DWORD>(std::max(0.0, next - Bench::NowMs())));
        }
        figures.ticks = ticks.Spent();
        figures.paints = paints.Spent();
    }
    DWORD_PTR ignored = 0;
    if (figures.finished < 0) {
        // The threads born since the window opened, but for the window's own: those of the work.
        std::vector<Lumo::Win::UniqueHandle> work;
        for (DWORD id : ThreadsOfThisProcess()) {
            if (id != ::GetThreadId(thread.get()) &&
                std::find(before.begin(), before.end(), id) == before.end())
                if (HANDLE handle = ::OpenThread(SYNCHRONIZE, FALSE, id)) work.emplace_back(handle);
        }
        figures.workers = work.size();
        const double click = Bench::NowMs();
        ::SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &ignored);
        for (ReadText(status, &figures.summary); figures.summary.rfind(L"Cancelled", 0) != 0;
             ReadText(status, &figures.summary)) {
            if (Bench::NowMs() - click > 10000) throw std::runtime_error("the cancel never showed");
        }
        figures.cancelShown = Bench::NowMs() - click;
        for (const auto& handle : work)
            figures.workersLeft += ::WaitForSingleObject(handle.get(), 10000) != WAIT_OBJECT_0;
        if (figures.workersLeft == 0) figures.workersEnded = Bench::NowMs() - click;
    }
    for (int i = 0; i < 50; ++i, ::Sleep(static_cast<DWORD>(kProbeEveryMs))) idle.push_back(ReadText(status));
    figures.busy = SpreadOf(busy);
    figures.peer = SpreadOf(peerBusy);
    figures.idle = SpreadOf(idle);
    ::SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &ignored);
    if (::WaitForSingleObject(thread.get(), 10000) != WAIT_OBJECT_0)
        throw std::runtime_error("the window did not close");
    return figures;
}

void PrintRun(const char* label, const Figures& run) {
    const char* const labels[] = {label, "  a bare window meanwhile (peer)",
                                  "  the same window idle afterwards"};
    const Spread* const spreads[] = {&run.busy, &run.peer, &run.idle};
    for (int i = 0; i < 3; ++i) {
        const Spread& s = *spreads[i];
        std::printf("  %-44s %7u %8.2f %8.2f %8.2f %7u\n", labels[i], s.count, s.median, s.p99, s.max,
                    s.overFrame);
    }
    std::printf(
        "    its poll ticks %u: %.1f ms, longest %.1f ms; its list's paints %u: %.1f ms, longest %.1f ms\n",
        run.ticks.count, run.ticks.total, run.ticks.longest, run.paints.count, run.paints.total,
        run.paints.longest);
}

}  // namespace

int wmain() {
    int exitCode = 0;
    try {
        const QuelvarTest::TempFolder folder;
        const double start = Bench::NowMs();
        MakeFiles(folder);
        std::printf("ChecksumWindowBench: %u files of 4 KiB and %u sparse files of 64 MiB made in %.1f s\n",
                    static_cast<unsigned>(kFiles), static_cast<unsigned>(kLarge),
                    (Bench::NowMs() - start) / 1000);
        const PeerWindow peer;
        const Figures plain = Verify(folder.File(L"small.sha256"), kFiles, false, peer.Window());
        const Figures cancelled = Verify(folder.File(L"mixed.sha256"), kFiles + kLarge, true, peer.Window());
        std::printf(
            "answer to WM_GETTEXT every %.0f ms (ms)               probes   median      p99      max  "
            ">%.0f ms\n",
            kProbeEveryMs, kFrameMs);
        PrintRun("the window verifying 10,000 files of 4 KiB", plain);
        PrintRun("the window verifying with large files", cancelled);
        std::printf(
            "10,000 files: window shown after %.0f ms, summary after %.0f ms (read every %.0f ms)\n  %ls\n",
            plain.appeared, plain.finished, kProbeEveryMs, plain.summary.c_str());
        std::printf(
            "cancel at %u of %u files: \"Cancelled\" %.1f ms after the click; the %u threads at work "
            "ended %.1f ms after it%s\n  %ls\n",
            static_cast<unsigned>(cancelled.cancelledAt), static_cast<unsigned>(kFiles + kLarge),
            cancelled.cancelShown, static_cast<unsigned>(cancelled.workers), cancelled.workersEnded,
            cancelled.workersLeft ? " (some still ran 10 s later)" : "", cancelled.summary.c_str());
        std::printf(
            "goals: the window answers within a frame (%.0f ms) while 10,000 files are verified; "
            "a cancel takes well under %.0f ms\n",
            kFrameMs, kCancelGoalMs);
        if (plain.summary != VerifySummary({kFiles, kFiles}) || cancelled.cancelShown < 0) {
            std::printf(
                "unexpected: not all 10,000 files verified OK, or the second list ended before the cancel\n");
            exitCode = 1;
        }
    } catch (const std::exception& e) {
        std::printf("ChecksumWindowBench failed: %s\n", e.what());
        exitCode = 1;
    }
    return exitCode;
}

// The hash job on its worker thread: the engine's own checksum with progress
// up to 100, and a cancel that ends the worker quickly and leaves no message.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"
#include "tools/HashJob.h"
#include "win/Handle.h"
#include "win/ModuleReference.h"

namespace {

constexpr UINT kProgress = WM_APP + 1, kDone = WM_APP + 2;

// A window of this thread that the job posts to, and what reached it.
struct Receiver {
    Lumo::Win::UniqueWindow window{
        ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)};
    std::vector<MSG> received;
    int Count(UINT message) const {
        int n = 0;
        for (const MSG& m : received) n += m.message == message;
        return n;
    }
    // Pumps for `milliseconds` or until `count` messages `message` arrived.
    bool Pump(DWORD milliseconds, UINT message = 0, int count = 1) {
        for (const ULONGLONG end = ::GetTickCount64() + milliseconds; ::GetTickCount64() < end;) {
            for (MSG m; ::PeekMessageW(&m, window.get(), kProgress, kDone, PM_REMOVE);) received.push_back(m);
            if (message && Count(message) >= count) return true;
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_POSTMESSAGE);
        }
        return false;
    }
};

TEST(ToolsHashJob, PostsProgressAndTheEnginesOwnChecksumOrAFailure) {
    QuelvarTest::TempFolder temp;
    const std::wstring path = temp.File(L"data.bin");
    QuelvarTest::WriteFileBytes(path, std::string(3 * 1024 * 1024 + 17, 'q'));
    const Lumo::Tools::HashRequest requests[] = {
        {path, HashAlgorithm::Md5, 256, HashOutputFormat::UppercaseNoSpaces},
        {path, HashAlgorithm::Sha2, 384, HashOutputFormat::Lowercase},
        {temp.File(L"missing"), HashAlgorithm::Sha1}};
    for (const Lumo::Tools::HashRequest& request : requests) {
        HashCalculator alone;
        alone.algorithm = request.algorithm;
        alone.shaBits = request.shaBits;
        alone.outputFormat = request.format;
        alone.filePath = request.filePath;
        const std::wstring expected = alone.Calculate();

        Receiver receiver;
        Lumo::Tools::HashJob job(request, receiver.window.get(), kProgress, kDone);
        ASSERT_TRUE(receiver.Pump(10000, kDone));
        EXPECT_EQ(expected, job.Result());
        EXPECT_EQ(expected.empty() ? 0u : 1u, receiver.received.back().wParam);
        // Growing whole percents up to 100, each message carrying the job's id.
        int last = -1;
        for (const MSG& m : receiver.received) {
            EXPECT_EQ(job.Id(), m.lParam);
            if (m.message != kProgress) continue;
            EXPECT_GT(static_cast<int>(m.wParam), std::exchange(last, static_cast<int>(m.wParam)));
        }
        EXPECT_EQ(expected.empty() ? -1 : 100, last);
        EXPECT_TRUE(job.WaitForWorker(1000));
    }
}

TEST(ToolsHashJob, CancelOrDestroyEndsTheWorkerSoonAndPostsNothingMore) {
    QuelvarTest::TempFolder temp;
    const std::wstring path = temp.File(L"large.bin");
    {
        Lumo::Win::UniqueFile file(
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        LARGE_INTEGER end{};
        end.QuadPart = 6LL << 30;  // sparse on this file system: no disk space
        ASSERT_TRUE(::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.get()));
    }
    for (bool destroy : {false, true}) {
        const LONG idleReferences = Lumo::Win::ModuleReference::Count();
        Receiver receiver;
        auto job = std::make_unique<Lumo::Tools::HashJob>(
            Lumo::Tools::HashRequest{path, HashAlgorithm::GostHash}, receiver.window.get(), kProgress, kDone);
        ASSERT_TRUE(receiver.Pump(20000, kProgress, 2)) << "not under way";
        const ULONGLONG start = ::GetTickCount64();
        destroy ? job.reset() : job->Cancel();
        EXPECT_LT(::GetTickCount64() - start, 200u) << "cancelling waited for the worker";
        // The worker lets go of the module within a second.
        while (Lumo::Win::ModuleReference::Count() != idleReferences && ::GetTickCount64() < start + 1000)
            ::Sleep(10);
        EXPECT_EQ(idleReferences, Lumo::Win::ModuleReference::Count())
            << "the worker still runs after a second";
        // What was queued before the cancel drains; nothing follows, and never a result.
        receiver.Pump(200);
        const size_t drained = receiver.received.size();
        receiver.Pump(300);
        EXPECT_EQ(drained, receiver.received.size());
        EXPECT_EQ(0, receiver.Count(kDone));
        if (job) {
            EXPECT_EQ(L"", job->Result());
        }
    }
}

}  // namespace

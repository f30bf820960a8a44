// The hash engine's observer and the hash job on its worker thread: same
// checksum as the engine alone, progress up to 100, and a cancel that ends
// the worker quickly and leaves no message behind.
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "tools/HashCalculator.h"
#include "tools/HashJob.h"
#include "win/Handle.h"
#include "win/ModuleReference.h"

namespace {

constexpr UINT kProgress = WM_APP + 1;
constexpr UINT kDone = WM_APP + 2;

// A file of `size` bytes that takes no disk space (all zeros).
void CreateSparseFile(const std::wstring& path, LONGLONG size) {
    Lumo::Win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD returned = 0;
    ::DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = size;
    ASSERT_TRUE(::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(::SetEndOfFile(file.get()));
}

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// A window of this thread that the job posts to, and what reached it.
class Receiver {
public:
    Receiver()
        : window_(
              ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)) {}
    HWND Window() const { return window_.get(); }
    // Pumps until `stop` holds or `milliseconds` have passed; true when it held.
    template <class Stop>
    bool PumpUntil(Stop stop, DWORD milliseconds) {
        const ULONGLONG end = ::GetTickCount64() + milliseconds;
        for (;;) {
            MSG msg;
            while (::PeekMessageW(&msg, window_.get(), kProgress, kDone, PM_REMOVE)) {
                received.push_back({msg.message, msg.wParam, msg.lParam});
            }
            if (stop()) return true;
            const ULONGLONG now = ::GetTickCount64();
            if (now >= end) return false;
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_POSTMESSAGE);
        }
    }
    int Count(UINT message) const {
        int n = 0;
        for (const Received& r : received) n += r.message == message;
        return n;
    }
    std::vector<Received> received;

private:
    Lumo::Win::UniqueWindow window_;
};

TEST(ToolsHashJob, PostsProgressAndTheEnginesOwnChecksum) {
    QuelvarTest::TempFolder temp;
    const std::wstring path = temp.File(L"data.bin");
    QuelvarTest::WriteFileBytes(path, std::string(3 * 1024 * 1024 + 17, 'q'));
    const struct {
        HashAlgorithm algorithm;
        int bits;
        HashOutputFormat format;
    } cases[] = {{HashAlgorithm::Md5, 256, HashOutputFormat::UppercaseNoSpaces},
                 {HashAlgorithm::Sha2, 384, HashOutputFormat::Lowercase},
                 {HashAlgorithm::Crc32, 256, HashOutputFormat::Uppercase}};
    for (const auto& c : cases) {
        HashCalculator alone;
        alone.algorithm = c.algorithm;
        alone.shaBits = c.bits;
        alone.outputFormat = c.format;
        alone.filePath = path;
        const std::wstring expected = alone.Calculate();
        ASSERT_FALSE(expected.empty());

        Receiver receiver;
        Tools::HashJob job({path, c.algorithm, c.bits, c.format}, receiver.Window(), kProgress, kDone);
        ASSERT_TRUE(receiver.PumpUntil([&] { return receiver.Count(kDone) > 0; }, 10000));
        EXPECT_EQ(expected, job.Result());
        const Received& done = receiver.received.back();
        EXPECT_EQ(kDone, done.message);
        EXPECT_EQ(1u, done.wParam);
        // Progress comes in growing whole percents up to 100, a modest number of messages.
        int last = -1;
        for (const Received& r : receiver.received) {
            EXPECT_EQ(job.Id(), r.lParam);
            if (r.message != kProgress) continue;
            EXPECT_GT(static_cast<int>(r.wParam), last);
            last = static_cast<int>(r.wParam);
        }
        EXPECT_EQ(100, last);
        EXPECT_LE(receiver.Count(kProgress), 101);
        EXPECT_TRUE(job.WaitForWorker(1000));
    }
}

TEST(ToolsHashJob, AFileThatCannotBeReadIsAFailure) {
    QuelvarTest::TempFolder temp;
    Receiver receiver;
    Tools::HashJob job({temp.File(L"missing"), HashAlgorithm::Sha1}, receiver.Window(), kProgress, kDone);
    ASSERT_TRUE(receiver.PumpUntil([&] { return receiver.Count(kDone) > 0; }, 5000));
    EXPECT_EQ(0u, receiver.received.back().wParam);
    EXPECT_EQ(L"", job.Result());
}

TEST(ToolsHashJob, CancelOrDestroyEndsTheWorkerSoonAndPostsNothingMore) {
    QuelvarTest::TempFolder temp;
    const std::wstring path = temp.File(L"large.bin");
    CreateSparseFile(path, 6LL << 30);
    for (bool destroyInsteadOfCancel : {false, true}) {
        const LONG idleReferences = Lumo::Win::ModuleReference::Count();
        Receiver receiver;
        auto job = std::make_unique<Tools::HashJob>(Tools::HashRequest{path, HashAlgorithm::GostHash},
                                                    receiver.Window(), kProgress, kDone);
        // Under way: the first percent has been read.
        ASSERT_TRUE(receiver.PumpUntil([&] { return receiver.Count(kProgress) >= 2; }, 20000));
        const ULONGLONG start = ::GetTickCount64();
        if (destroyInsteadOfCancel) {
            job.reset();
        } else {
            job->Cancel();
            EXPECT_EQ(L"", job->Result());
        }
        EXPECT_LT(::GetTickCount64() - start, 200u) << "cancelling waited for the worker";
        // The worker lets go of the module within a second.
        const ULONGLONG deadline = start + 1000;
        while (Lumo::Win::ModuleReference::Count() != idleReferences && ::GetTickCount64() < deadline)
            ::Sleep(10);
        EXPECT_EQ(idleReferences, Lumo::Win::ModuleReference::Count())
            << "the worker still runs after a second";
        if (job) {
            EXPECT_TRUE(job->WaitForWorker(0));
        }
        // What was queued before the cancel drains; nothing follows, and never a result.
        receiver.PumpUntil([] { return false; }, 200);
        const size_t drained = receiver.received.size();
        receiver.PumpUntil([] { return false; }, 300);
        EXPECT_EQ(drained, receiver.received.size());
        EXPECT_EQ(0, receiver.Count(kDone));
    }
}

}  // namespace

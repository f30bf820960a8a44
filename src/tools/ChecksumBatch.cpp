// Hashing many files at once. The workers share one state object with the batch: they take the next index,
// hash that file through the calculator and publish the result under the state's lock. The state outlives a
// batch that is dropped while a worker still reads, and a cancelled batch marks every unfinished file at
// once, so nobody who waits for a result waits for a worker.
#include "tools/ChecksumBatch.h"

#include <atomic>

#include "system/Path.h"
#include "win/DiagnosticLog.h"
#include "win/Errors.h"
#include "win/Lock.h"
#include "win/ModuleReference.h"

#include <winioctl.h>

namespace Lumo::Tools {
namespace {

constexpr size_t kReadBlock = 256 * 1024;

bool IsMissing(unsigned long error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:  // a listed name this system cannot have, such as one with a line break
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_INVALID_DRIVE:
            return true;
    }
    return false;
}

bool AskDevice(const std::wstring& device, bool& incursSeekPenalty) {
    // No access rights are needed to ask a device about itself, so this works without elevation.
    Lumo::Win::UniqueFile volume(::CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
    if (!volume) return false;
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceSeekPenaltyProperty;
    query.QueryType = PropertyStandardQuery;
    DEVICE_SEEK_PENALTY_DESCRIPTOR answer{};
    DWORD got = 0;
    if (!::DeviceIoControl(volume.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), &answer,
                           sizeof(answer), &got, nullptr) ||
        got < sizeof(answer)) {
        return false;
    }
    incursSeekPenalty = answer.IncursSeekPenalty != FALSE;
    return true;
}

}  // namespace

unsigned ParallelReaders(SeekPenalty penalty, unsigned processors, size_t files) {
    if (files == 0) return 1;
    if (penalty == SeekPenalty::Incurred) return 1;
    const unsigned wanted = processors == 0 ? 1 : processors;
    return files < wanted ? static_cast<unsigned>(files) : wanted;
}

SeekPenalty SeekPenaltyOfPath(const std::wstring& path, const SeekPenaltyQuery& query) {
    try {
        const std::wstring full = Lumo::FileSystem::LongPathForm(path);
        wchar_t mountPoint[MAX_PATH + 1] = {};
        if (!::GetVolumePathNameW(full.c_str(), mountPoint, MAX_PATH)) return SeekPenalty::Unknown;
        const std::wstring root = Lumo::FileSystem::WithoutLongPathPrefix(mountPoint);
        // A share's disks are the server's business; reading files in parallel there is what it serves best.
        const UINT driveType = ::GetDriveTypeW(root.c_str());
        if (driveType != DRIVE_FIXED && driveType != DRIVE_REMOVABLE) return SeekPenalty::Unknown;
        std::wstring device;
        wchar_t volumeName[64] = {};
        if (::GetVolumeNameForVolumeMountPointW(root.c_str(), volumeName, 64)) {
            device = volumeName;  // "\\?\Volume{...}\" names a mounted folder's volume too
        } else {
            if (root.size() < 2 || root[1] != L':') return SeekPenalty::Unknown;
            device = L"\\\\.\\" + root.substr(0, 2);
        }
        // The device itself, not its root folder: no trailing backslash.
        if (!device.empty() && device.back() == L'\\') device.pop_back();
        bool incurs = false;
        if (!query(device, incurs)) return SeekPenalty::Unknown;
        return incurs ? SeekPenalty::Incurred : SeekPenalty::None;
    } catch (...) {
        Lumo::Win::LogCurrentException("SeekPenaltyOfPath");
        return SeekPenalty::Unknown;
    }
}

SeekPenalty SeekPenaltyOfPath(const std::wstring& path) { return SeekPenaltyOfPath(path, AskDevice); }

struct ChecksumBatch::State {
    explicit State(std::vector<ChecksumTask> tasks, std::function<void()> finished)
        : tasks(std::move(tasks)), results(this->tasks.size()), finished(std::move(finished)) {}

    void Publish(size_t index, ChecksumTaskResult result) {
        {
            Lumo::Win::ScopedLock hold(lock);
            if (results[index].status != ChecksumStatus::Pending) return;  // cancelled meanwhile
            results[index] = std::move(result);
        }
        filesDone.fetch_add(1);
        ::WakeAllConditionVariable(&changed);
    }

    // One file, read in blocks much larger than the calculator's: with thousands of files every read costs a
    // call into the system, and fewer calls leave more of each core to the digest.
    void Hash(size_t index, std::vector<uint8_t>& buffer) {
        const ChecksumTask& task = tasks[index];
        ChecksumTaskResult result;
        unsigned long error = ERROR_INVALID_PARAMETER;
        if (task.algorithm) {
            // Others may keep reading, writing or even deleting the file while it is hashed.
            Lumo::Win::UniqueFile file(
                ::CreateFileW(Lumo::FileSystem::LongPathForm(task.path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            error = file ? 0 : ::GetLastError();
            if (file) {
                const HashBlockReader read = FileBlockReader(file.get(), error);
                result.digest =
                    CalculateHashOfFeed(task.algorithm->algorithm, task.algorithm->shaBits,
                                        HashOutputFormat::LowercaseNoSpaces, [&](const HashUpdate& update) {
                                            for (;;) {
                                                if (cancelled.load(std::memory_order_relaxed)) {
                                                    error = ERROR_CANCELLED;
                                                    return false;
                                                }
                                                const long long got = read(buffer.data(), buffer.size());
                                                if (got <= 0) return got == 0;
                                                update(buffer.data(), static_cast<size_t>(got));
                                                bytesDone.fetch_add(static_cast<unsigned long long>(got),
                                                                    std::memory_order_relaxed);
                                            }
                                        });
            }
        }
        if (!result.digest.empty()) {
            result.status = ChecksumStatus::Hashed;
        } else if (error == ERROR_CANCELLED) {
            result.status = ChecksumStatus::Cancelled;
        } else {
            result.error = error;
            result.status = IsMissing(error) ? ChecksumStatus::Missing : ChecksumStatus::Unreadable;
        }
        Publish(index, std::move(result));
    }

    void Work() {
        // Hashing every file of a large list is background work: the window that shows it, and the rest of
        // the host's windows, answer first.
        ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
        std::vector<uint8_t> buffer(kReadBlock);
        for (;;) {
            if (cancelled.load()) break;
            const size_t index = next.fetch_add(1);
            if (index >= tasks.size()) break;
            try {
                Hash(index, buffer);
            } catch (...) {
                // Every file gets a result, or whoever waits for this one would wait for ever.
                Lumo::Win::LogCurrentException("ChecksumBatch worker");
                ChecksumTaskResult failed;
                failed.status = ChecksumStatus::Unreadable;
                failed.error = ERROR_NOT_ENOUGH_MEMORY;
                Publish(index, std::move(failed));
            }
        }
        if (workersLeft.fetch_sub(1) == 1 && !cancelled.load() && finished) finished();
    }

    void SumSizes() {
        unsigned long long sum = 0;
        for (const ChecksumTask& task : tasks) {
            if (cancelled.load(std::memory_order_relaxed)) return;
            WIN32_FILE_ATTRIBUTE_DATA data{};
            if (::GetFileAttributesExW(Lumo::FileSystem::LongPathForm(task.path).c_str(),
                                       GetFileExInfoStandard, &data))
                sum += (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        }
        totalBytes.store(sum);
        totalKnown.store(true);
    }

    const std::vector<ChecksumTask> tasks;
    std::vector<ChecksumTaskResult> results;  // under lock
    const std::function<void()> finished;
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    std::atomic<size_t> next{0};
    std::atomic<size_t> filesDone{0};
    std::atomic<unsigned long long> bytesDone{0};
    std::atomic<unsigned long long> totalBytes{0};
    std::atomic<bool> totalKnown{false};
    std::atomic<bool> cancelled{false};
    std::atomic<unsigned> workersLeft{0};
};

ChecksumBatch::ChecksumBatch(std::vector<ChecksumTask> tasks, unsigned workers,
                             std::function<void()> finished, bool sumSizes)
    : state_(std::make_shared<State>(std::move(tasks), std::move(finished))) {
    if (workers == 0) workers = 1;
    state_->workersLeft = workers;
    std::shared_ptr<State> shared = state_;
    for (unsigned i = 0; i < workers; ++i) {
        try {
            threads_.push_back(Lumo::Win::StartModuleThread([shared] { shared->Work(); }));
        } catch (...) {
            // Fewer workers only make the batch slower; none at all leaves nobody to do it.
            if (threads_.empty()) {
                Cancel();
                throw;
            }
            Lumo::Win::LogCurrentException("ChecksumBatch: a worker did not start");
            // The workers that run count down from what actually started.
            if (shared->workersLeft.fetch_sub(workers - i) == workers - i && !shared->cancelled.load() &&
                shared->finished)
                shared->finished();
            break;
        }
    }
    if (sumSizes) {
        try {
            threads_.push_back(Lumo::Win::StartModuleThread([shared] { shared->SumSizes(); }));
        } catch (...) {
            Lumo::Win::LogCurrentException("ChecksumBatch: the size count did not start");
        }
    }
}

ChecksumBatch::~ChecksumBatch() { Cancel(); }

size_t ChecksumBatch::Count() const noexcept { return state_->tasks.size(); }

void ChecksumBatch::Cancel() noexcept {
    state_->cancelled = true;
    {
        Lumo::Win::ScopedLock hold(state_->lock);
        for (ChecksumTaskResult& result : state_->results)
            if (result.status == ChecksumStatus::Pending) result.status = ChecksumStatus::Cancelled;
    }
    ::WakeAllConditionVariable(&state_->changed);
}

size_t ChecksumBatch::FilesDone() const noexcept { return state_->filesDone.load(); }

unsigned long long ChecksumBatch::BytesDone() const noexcept { return state_->bytesDone.load(); }

bool ChecksumBatch::TotalBytes(unsigned long long& total) const noexcept {
    if (!state_->totalKnown.load()) {
        total = 0;
        return false;
    }
    total = state_->totalBytes.load();
    return true;
}

ChecksumTaskResult ChecksumBatch::Result(size_t index) const {
    Lumo::Win::ScopedLock hold(state_->lock, Lumo::Win::ScopedLock::Mode::Shared);
    return state_->results.at(index);
}

bool ChecksumBatch::WaitFor(size_t index, DWORD milliseconds) const {
    const ULONGLONG start = ::GetTickCount64();
    Lumo::Win::ScopedLock hold(state_->lock);
    while (state_->results.at(index).status == ChecksumStatus::Pending) {
        DWORD left = INFINITE;
        if (milliseconds != INFINITE) {
            const ULONGLONG spent = ::GetTickCount64() - start;
            if (spent >= milliseconds) return false;
            left = static_cast<DWORD>(milliseconds - spent);
        }
        ::SleepConditionVariableSRW(&state_->changed, &state_->lock, left, 0);
    }
    return true;
}

bool ChecksumBatch::WaitForWorkers(DWORD milliseconds) const noexcept {
    const ULONGLONG start = ::GetTickCount64();
    for (const Lumo::Win::UniqueHandle& thread : threads_) {
        DWORD left = INFINITE;
        if (milliseconds != INFINITE) {
            const ULONGLONG spent = ::GetTickCount64() - start;
            left = spent >= milliseconds ? 0 : static_cast<DWORD>(milliseconds - spent);
        }
        if (::WaitForSingleObject(thread.get(), left) != WAIT_OBJECT_0) return false;
    }
    return true;
}

}  // namespace Lumo::Tools

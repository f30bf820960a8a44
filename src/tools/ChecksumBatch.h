// Hashing many files at once: a fixed set of worker threads take the files in list order, so that a list of
// thousands of small files keeps every core busy while a single large file costs no more than reading it
// alone. The owner polls the counters and the finished results (or waits for one), and may cancel at any
// time without waiting for the workers, which hold the module while they run.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/HashCalculator.h"
#include "win/Handle.h"

namespace Lumo::Tools {

struct ChecksumTask {
    std::wstring path;  // a full path
    const HashAlgorithmName* algorithm = nullptr;
};

enum class ChecksumStatus {
    Pending,     // not finished yet
    Hashed,      // `digest` holds the lowercase digest
    Missing,     // the file or a folder on its path does not exist (or cannot be named on this system)
    Unreadable,  // opening or reading failed for another reason: `error` holds the system's code
    Cancelled,
};

struct ChecksumTaskResult {
    ChecksumStatus status = ChecksumStatus::Pending;
    std::wstring digest;
    unsigned long error = 0;
};

// Whether the disk that holds a path must move a head to go from one file to another.
enum class SeekPenalty { Unknown, None, Incurred };

// How many files to read at the same time: one on a disk that seeks (reading two files at once there makes
// the head jump between them, and both get slower), otherwise one per processor, never more than there are
// files. An unknown disk (a network share, a system that does not answer) is read in parallel.
unsigned ParallelReaders(SeekPenalty penalty, unsigned processors, size_t files);

// Asks the storage stack of the volume that holds `path` whether it incurs a seek penalty.
// `query` stands for DeviceIoControl(IOCTL_STORAGE_QUERY_PROPERTY, StorageDeviceSeekPenaltyProperty) on the
// volume device it is given ("\\.\C:" or "\\?\Volume{...}"); it returns false when the device does not say.
using SeekPenaltyQuery = std::function<bool(const std::wstring& volumeDevice, bool& incursSeekPenalty)>;
SeekPenalty SeekPenaltyOfPath(const std::wstring& path, const SeekPenaltyQuery& query);
// The same with the real DeviceIoControl.
SeekPenalty SeekPenaltyOfPath(const std::wstring& path);

class ChecksumBatch {
public:
    // Starts `workers` threads (at least one) at once. `finished`, when given, is called once on a worker
    // thread after every file has a result, unless the batch was cancelled first. With `sumSizes`, one more
    // thread adds up the files' sizes for TotalBytes. Throws Lumo::LastError when no thread can start.
    ChecksumBatch(std::vector<ChecksumTask> tasks, unsigned workers, std::function<void()> finished = {},
                  bool sumSizes = false);
    // Cancels; never waits for the workers.
    ~ChecksumBatch();
    ChecksumBatch(const ChecksumBatch&) = delete;
    ChecksumBatch& operator=(const ChecksumBatch&) = delete;

    size_t Count() const noexcept;
    // Stops every worker within one read block; files not finished by then end as Cancelled.
    void Cancel() noexcept;
    // Files with a result, and the bytes read so far (of finished and unfinished files).
    size_t FilesDone() const noexcept;
    unsigned long long BytesDone() const noexcept;
    // The size of all listed files, once a worker has summed it (0 and false before).
    bool TotalBytes(unsigned long long& total) const noexcept;
    // The result of file `index`; Pending until it has one.
    ChecksumTaskResult Result(size_t index) const;
    // Waits until file `index` has a result (or `milliseconds` passed); true when it has.
    bool WaitFor(size_t index, DWORD milliseconds = INFINITE) const;
    // Waits for every worker thread to end; true when they have.
    bool WaitForWorkers(DWORD milliseconds) const noexcept;

private:
    struct State;
    std::shared_ptr<State> state_;
    std::vector<Lumo::Win::UniqueHandle> threads_;
};

}  // namespace Lumo::Tools

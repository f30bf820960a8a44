// One checksum computed on a worker thread for a window: the window hears of
// the progress and of the result by posted messages and can cancel at any
// time without waiting for the worker.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "tools/HashCalculator.h"
#include "win/Handle.h"

namespace Lumo::Tools {

// What to hash; the job keeps its own copy.
struct HashRequest {
    std::wstring filePath;
    HashAlgorithm algorithm = HashAlgorithm::Md5;
    int shaBits = 256;
    HashOutputFormat format = HashOutputFormat::LowercaseNoSpaces;
};

class HashJob {
public:
    // Starts the worker at once. It posts to `window`:
    //   progressMessage: wParam = percent read (0..100), lParam = Id();
    //   doneMessage:     wParam = 1 when a checksum came out, 0 when the file
    //                    could not be read, lParam = Id(); Result() has the text.
    // Throws Lumo::LastError when the thread cannot start.
    HashJob(HashRequest request, HWND window, UINT progressMessage, UINT doneMessage);
    // Cancels; never waits for the worker.
    ~HashJob();
    HashJob(const HashJob&) = delete;
    HashJob& operator=(const HashJob&) = delete;

    // Stops the work soon (within one read block) and returns at once. Once it
    // has returned, nothing more is posted to the window; messages posted
    // before may still be in its queue, and carry this job's Id.
    void Cancel() noexcept;
    // Tells this job's messages from those of an earlier job to the same window.
    LPARAM Id() const noexcept;
    // The checksum text once the done message was posted; empty before, after a
    // failure and after a cancel.
    std::wstring Result() const;
    // After a done message that reported a failure: the system's error code of
    // the open or read that failed (HashCalculator::error); 0 otherwise.
    unsigned long Error() const;
    // Waits up to `milliseconds` for the worker thread to end; true when it has.
    bool WaitForWorker(DWORD milliseconds) const noexcept;

private:
    struct State;
    std::shared_ptr<State> state_;
    Lumo::Win::UniqueHandle thread_;
};

}  // namespace Lumo::Tools

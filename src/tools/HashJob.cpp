// The hash job: a state object shared by the job and its worker. Every post to
// the window happens under the state's lock after a look at the cancel flag,
// so Cancel (which sets the flag under the same lock) is the last moment a
// message can leave; the lock is held only for a PostMessage, so cancelling
// never waits for a read or a digest step.
#include "tools/HashJob.h"

#include <atomic>

#include "win/Lock.h"
#include "win/ModuleReference.h"

namespace Tools {
namespace {

std::atomic<LONG_PTR> g_lastJobId{0};

}  // namespace

struct HashJob::State final : HashObserver {
    State(HashRequest request, HWND window, UINT progressMessage, UINT doneMessage)
        : request(std::move(request)),
          window(window),
          progressMessage(progressMessage),
          doneMessage(doneMessage),
          id(++g_lastJobId) {}
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    bool Cancelled() override { return cancelled.load(std::memory_order_relaxed); }
    void Progress(int percent) override {
        Lumo::Win::ScopedLock hold(lock);
        if (!cancelled) ::PostMessageW(window, progressMessage, static_cast<WPARAM>(percent), id);
    }

    void Run() {
        HashCalculator calculator;
        calculator.algorithm = request.algorithm;
        calculator.shaBits = request.shaBits;
        calculator.outputFormat = request.format;
        calculator.filePath = request.filePath;
        calculator.observer = this;
        std::wstring text = calculator.Calculate();
        Lumo::Win::ScopedLock hold(lock);
        if (cancelled) return;
        const WPARAM succeeded = text.empty() ? 0 : 1;
        result = std::move(text);
        error = succeeded ? 0 : calculator.error;
        ::PostMessageW(window, doneMessage, succeeded, id);
    }

    const HashRequest request;
    const HWND window;
    const UINT progressMessage;
    const UINT doneMessage;
    const LPARAM id;
    Lumo::Win::CriticalSection lock;
    std::atomic<bool> cancelled{false};
    std::wstring result;      // under lock
    unsigned long error = 0;  // under lock
};

HashJob::HashJob(HashRequest request, HWND window, UINT progressMessage, UINT doneMessage)
    : state_(std::make_shared<State>(std::move(request), window, progressMessage, doneMessage)) {
    // The worker holds the state too: it outlives this job when the job is
    // cancelled and dropped while a read is under way.
    std::shared_ptr<State> shared = state_;
    thread_ = Lumo::Win::StartModuleThread([shared] { shared->Run(); });
}

HashJob::~HashJob() { Cancel(); }

void HashJob::Cancel() noexcept {
    Lumo::Win::ScopedLock hold(state_->lock);
    state_->cancelled = true;
    state_->result.clear();
    state_->error = 0;
}

LPARAM HashJob::Id() const noexcept { return state_->id; }

std::wstring HashJob::Result() const {
    Lumo::Win::ScopedLock hold(state_->lock);
    return state_->result;
}

unsigned long HashJob::Error() const {
    Lumo::Win::ScopedLock hold(state_->lock);
    return state_->error;
}

bool HashJob::WaitForWorker(DWORD milliseconds) const noexcept {
    return !thread_ || ::WaitForSingleObject(thread_.get(), milliseconds) == WAIT_OBJECT_0;
}

}  // namespace Tools

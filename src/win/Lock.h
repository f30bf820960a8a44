// Holding the process's in-memory locks for a scope: a slim reader/writer lock
// (exclusive or shared) or a critical section, taken when the guard is made and
// released when it goes, on every path. Code that fails while holding one (an
// allocation in a host short of memory, a Win32 call that throws) then cannot
// leave it held for every later menu of the process. A critical section is
// owned the same way, so none is used before it is made or after it is gone.
#pragma once

#include <windows.h>

namespace Lumo::Win {

// A critical section that lives exactly as long as its owner: initialised
// when made, deleted when it goes. It stays where it was made (the system
// keeps pointers into it), so it can be neither copied nor moved.
class CriticalSection {
public:
    CriticalSection() noexcept { ::InitializeCriticalSection(&section_); }
    ~CriticalSection() { ::DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    CRITICAL_SECTION& get() noexcept { return section_; }

private:
    CRITICAL_SECTION section_;
};

class ScopedLock {
public:
    enum class Mode {
        Exclusive,
        Shared,
        // Takes the lock exclusively only if it is free now; Held() tells.
        TryExclusive,
    };

    explicit ScopedLock(CRITICAL_SECTION& section) noexcept : section_(&section) {
        ::EnterCriticalSection(section_);
    }
    explicit ScopedLock(CriticalSection& section) noexcept : ScopedLock(section.get()) {}
    explicit ScopedLock(SRWLOCK& lock, Mode mode = Mode::Exclusive) noexcept : srw_(&lock), mode_(mode) {
        if (mode_ == Mode::Shared) {
            ::AcquireSRWLockShared(srw_);
        } else if (mode_ == Mode::Exclusive) {
            ::AcquireSRWLockExclusive(srw_);
        } else if (!::TryAcquireSRWLockExclusive(srw_)) {
            srw_ = nullptr;
        }
    }
    ~ScopedLock() {
        if (section_) ::LeaveCriticalSection(section_);
        if (!srw_) return;
        if (mode_ == Mode::Shared) {
            ::ReleaseSRWLockShared(srw_);
        } else {
            ::ReleaseSRWLockExclusive(srw_);
        }
    }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

    bool Held() const noexcept { return section_ || srw_; }

private:
    CRITICAL_SECTION* section_ = nullptr;
    SRWLOCK* srw_ = nullptr;
    Mode mode_ = Mode::Exclusive;
};

}  // namespace Lumo::Win

// What keeps the module in its host process. COM unloads an in-process server
// once DllCanUnloadNow says so; that answer is S_OK only while nothing of ours
// that the host cannot see is alive: COM objects, server locks, worker threads.
#pragma once

#include <windows.h>

#include <functional>

#include "win/CurrentModule.h"
#include "win/Handle.h"

namespace Lumo::Win {

// One counted reference on the module for the life of the object. Copies
// count again, so an object that holds one may be copied freely.
class ModuleReference {
public:
    ModuleReference() noexcept { Lock(); }
    ModuleReference(const ModuleReference&) noexcept { Lock(); }
    ModuleReference& operator=(const ModuleReference&) noexcept { return *this; }
    ~ModuleReference() { Unlock(); }

    // The raw count for the class factory's LockServer and DllCanUnloadNow.
    static LONG Lock() noexcept;
    static LONG Unlock() noexcept;
    static LONG Count() noexcept;
};

// A call of the system into one of the module's hook procedures, counted for
// as long as it runs. Removing a hook does not wait for a call already made on
// another thread, so the module may go only once none is left.
class HookCallInFlight {
public:
    HookCallInFlight() noexcept;
    ~HookCallInFlight();
    HookCallInFlight(const HookCallInFlight&) = delete;
    HookCallInFlight& operator=(const HookCallInFlight&) = delete;

    // How many such calls run now, on all threads.
    static LONG Count() noexcept;
};

// Runs `work` on a new thread that keeps the module loaded until its very last
// instruction: it holds a loader reference released by FreeLibraryAndExitThread
// and a ModuleReference while it runs. Throws Lumo::LastError when the thread
// cannot start; exceptions of `work` end the thread quietly.
UniqueHandle StartModuleThread(std::function<void()> work);

}  // namespace Lumo::Win

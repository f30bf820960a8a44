// The root of everything the module keeps for the life of a process: the
// per-thread menu states, the system probes, the special folders, the menu
// image list and the Lumo::Data::DataCenter. Each object lives in its own room and
// is reached there through its singleton slot.
//
// Nothing of this is made under the loader lock: DllMain only remembers the
// module. The objects are built on first use, when the class factory makes a
// handler, once however many threads ask at the same time; when COM asks
// whether the module may go and nothing of it is alive, every thread's hooks
// come out and the objects go (and are built again should the module be used
// once more before it unloads).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>

#include "system/Singleton.h"

namespace Lumo::ShellExt {
struct ThreadMenuState;
}

class GlobalImpl : public Lumo::Global::Singleton<GlobalImpl> {
public:
    // Creates the process-wide objects with the resources of `resources`
    // (the per-thread states too, unless they exist already).
    // On failure releases what was created and rethrows.
    static void Create(HINSTANCE resources);
    // Destroys them all, the per-thread states included; every thread's hooks
    // go with them.
    static void Destroy();

    // The module's own lifetime ------------------------------------------------
    // DllMain, process attach: remembers the module, nothing more.
    static void Attach(HINSTANCE module) noexcept;
    // Builds the objects if they do not exist and runs `create` while no
    // unload can take them away; `create` makes the object that then keeps
    // the module in use.
    static HRESULT CreateInUse(const std::function<HRESULT()>& create);
    // DllCanUnloadNow: when nothing of the module is in use, takes every
    // thread's hooks out, destroys the objects and answers true.
    static bool ReleaseIfUnused() noexcept;
    // DllMain, process detach. A process that ends is left alone; a module
    // that is freed drops its thread records and slot (plain memory) and
    // abandons what a host that never asked DllCanUnloadNow left built.
    static void Detach(bool processEnds) noexcept;

    // The calling thread's menu state; prepares it (without hooks) on first use.
    static Lumo::ShellExt::ThreadMenuState* CurrentThreadState();
    // Removes the calling thread's hooks and forgets its record.
    static void ReleaseThread();
    // DllMain, thread detach: forgets the record, leaving its hooks to the
    // system, which removes them with the thread.
    static void ForgetThread() noexcept;

    static HIMAGELIST MenuImages();
    HINSTANCE Resources() const { return resources_; }

    ~GlobalImpl() override;

private:
    explicit GlobalImpl(HINSTANCE resources) : resources_(resources) {}
    void Build();
    void Teardown();

    HINSTANCE resources_;
    bool ownsThreadStates_ = false;
};

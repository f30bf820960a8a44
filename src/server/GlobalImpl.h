// The root of everything the module keeps for the life of a process: the
// per-thread menu states, the system probes, the special folders, the menu
// image list and the Data::DataCenter. Created at process attach in a fixed order,
// destroyed at process detach in the reverse order; each object lives in its
// own room and is reached there through its singleton slot.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "system/Singleton.h"

namespace ShellExt {
struct ThreadMenuState;
}

class GlobalImpl : public Lumo::Global::Singleton<GlobalImpl> {
public:
    // Creates the process-wide objects with the resources of `resources`.
    // On failure releases what was created and rethrows.
    static void Create(HINSTANCE resources);
    // Destroys them; every thread's hooks go with the per-thread states.
    static void Destroy();

    // The calling thread's menu state; prepares it on first use.
    static ShellExt::ThreadMenuState* CurrentThreadState();
    // Creates the calling thread's record and its WH_CBT hook.
    static void PrepareThread();
    // Removes the thread's hooks and deletes its record.
    static void ReleaseThread();

    static HIMAGELIST MenuImages();
    HINSTANCE Resources() const { return resources_; }

    ~GlobalImpl() override;

private:
    explicit GlobalImpl(HINSTANCE resources) : resources_(resources) {}
    void Build();
    void Teardown();

    HINSTANCE resources_;
};

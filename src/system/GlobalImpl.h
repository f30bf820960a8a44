// The root of everything the module keeps for the life of a process: the
// per-thread menu state slot, the system probes, the special folders, the menu
// image list and the DataCenter. Created at process attach in a fixed order,
// destroyed at process detach in the reverse order.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "system/Singleton.h"
#include "win/Handle.h"

struct ThreadMenuState;

class GlobalImpl : public Lumo::Global::Singleton<GlobalImpl> {
public:
    static constexpr int kMenuImageCount = 26;
    static constexpr int kMenuBitmapId = 201;
    static constexpr int kAboutBitmapId = 208;

    // Creates the process-wide objects with the resources of `resources`.
    // On failure releases what was created and rethrows.
    static void Create(HINSTANCE resources);
    static void Destroy();

    // The calling thread's menu state; prepares it on first use.
    static ThreadMenuState* CurrentThreadState();
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
    Lumo::Win::UniqueImageList imageList_;
    DWORD threadSlot_ = TLS_OUT_OF_INDEXES;
};

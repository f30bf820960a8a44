// The COM objects' shared IUnknown (the interface table, the count shared
// between threads, the reference refused once released) and a locked global block.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <thread>
#include <vector>

#include "win/ComObject.h"
#include "win/Handle.h"

using namespace Lumo::Win;

namespace {

// IPersist answers through IPersistFolder, which extends it; IClassFactory is a part of its own.
class Probe final : public ComObject<Probe, IPersistFolder, IClassFactory> {
public:
    explicit Probe(bool& destroyed) : destroyed_(destroyed) {}
    static const InterfaceEntry* Interfaces() noexcept {
        static const InterfaceEntry table[] = {
            InterfaceEntryOf<Probe, IPersistFolder>(IID_IPersistFolder),
            InterfaceEntryOf<Probe, IPersistFolder>(IID_IPersist),
            InterfaceEntryOf<Probe, IClassFactory>(IID_IClassFactory),
            {},
        };
        return table;
    }
    IFACEMETHODIMP GetClassID(CLSID*) noexcept override { return E_NOTIMPL; }
    IFACEMETHODIMP Initialize(PCIDLIST_ABSOLUTE) noexcept override { return E_NOTIMPL; }
    IFACEMETHODIMP CreateInstance(IUnknown*, REFIID, void**) noexcept override { return E_NOTIMPL; }
    IFACEMETHODIMP LockServer(BOOL) noexcept override { return E_NOTIMPL; }

private:
    ~Probe() override { destroyed_ = true; }
    bool& destroyed_;
};

}  // namespace

TEST(ComObject, TheTableAnswersEachInterfaceWithItsPartAndCountsEachAnswer) {
    bool destroyed = false;
    auto* probe = new Probe(destroyed);
    IUnknown* const folderPart = static_cast<IPersistFolder*>(probe);
    IUnknown* const factoryPart = static_cast<IClassFactory*>(probe);
    ASSERT_NE(folderPart, factoryPart);
    const struct {
        const IID& iid;
        IUnknown* part;
    } rows[] = {{IID_IUnknown, folderPart}, {IID_IPersistFolder, folderPart},
                {IID_IPersist, folderPart}, {IID_IClassFactory, factoryPart},
                {IID_IDataObject, nullptr}, {IID_IContextMenu, nullptr}};
    ULONG expected = 1;
    for (const auto& row : rows) {
        void* answer = reinterpret_cast<void*>(1);
        EXPECT_EQ(row.part ? S_OK : E_NOINTERFACE, probe->QueryInterface(row.iid, &answer));
        EXPECT_EQ(row.part, answer);
        if (row.part) ++expected;
    }
    EXPECT_EQ(E_POINTER, probe->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(expected + 1, probe->AddRef());
    for (ULONG left = expected + 1; left-- > 1;) EXPECT_EQ(left, probe->Release());
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(0u, probe->Release());
    EXPECT_TRUE(destroyed);
}

TEST(ComObject, ReferencesTakenOnManyThreadsAreCountedAndOnlyALiveCountTakesAnother) {
    bool destroyed = false;
    auto* probe = new Probe(destroyed);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([probe] {
            for (int i = 0; i < 20000; ++i) {
                if (i % 2) {
                    probe->AddRefUnlessReleased();
                } else {
                    probe->AddRef();
                }
                probe->Release();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_TRUE(probe->AddRefUnlessReleased());
    EXPECT_EQ(1u, probe->Release());
    EXPECT_EQ(0u, probe->Release());
    EXPECT_TRUE(destroyed);

    ReferenceCount count;
    EXPECT_EQ(0u, count.Remove());
    EXPECT_FALSE(count.AddUnlessZero());
    EXPECT_FALSE(count.AddUnlessZero());
}

TEST(LockedGlobal, TheBlockIsLockedOnceForTheOwnerWhereverItMoves) {
    UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE, 100));
    ASSERT_TRUE(block);
    const auto lockCount = [&] { return ::GlobalFlags(block.get()) & GMEM_LOCKCOUNT; };
    {
        LockedGlobal locked(block.get());
        ASSERT_TRUE(locked);
        EXPECT_GE(locked.size(), 100u);
        EXPECT_EQ(1u, lockCount());
        LockedGlobal moved(std::move(locked));
        EXPECT_FALSE(locked);
        EXPECT_NE(nullptr, moved.as<char>());
        EXPECT_EQ(1u, lockCount());
    }
    EXPECT_EQ(0u, lockCount());
    EXPECT_FALSE(LockedGlobal(nullptr));
    EXPECT_EQ(0u, LockedGlobal(nullptr).size());
}

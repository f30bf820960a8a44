// The IUnknown of every COM object of the module: one thread-safe reference
// count and QueryInterface answered from a static table of the interfaces
// the class hands out, so a class writes only its own methods.
//
//   class Thing final : public Lumo::Win::ComObject<Thing, IFirst, ISecond> {
//   public:
//       static const Lumo::Win::InterfaceEntry* Interfaces() noexcept {
//           static const Lumo::Win::InterfaceEntry table[] = {
//               Lumo::Win::InterfaceEntryOf<Thing, IFirst>(IID_IFirst),  // also answers IID_IUnknown
//               Lumo::Win::InterfaceEntryOf<Thing, ISecond>(IID_ISecond),
//               Lumo::Win::InterfaceEntryOf<Thing, ISecond>(IID_ISecondBase),  // an older form of ISecond
//               {},
//           };
//           return table;
//       }
//       ... the interfaces' own methods ...
//   private:
//       ~Thing() override = default;  // only Release destroys it
//       Lumo::Win::ModuleReference moduleReference_;  // when it must keep the module loaded
//   };
//
// An object starts with one reference, the creator's: hand it out with
// ComPtr<I>::Attach, or query the interface asked for and Release once.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstddef>
#include <cstdint>

namespace Lumo::Win {

// One interface a class hands out: its IID and where the interface's part
// lies in the object, in bytes from the object's start. Several IIDs may
// share one part: an interface answers for the interfaces it extends.
struct InterfaceEntry {
    const IID* iid = nullptr;
    std::ptrdiff_t offset = 0;
};

// The entry of `iid` served by the `Base` part of `Class`. The offset is read
// off the conversion of a made-up address: the compiler adds the same amount
// to every real object of the class.
template <class Class, class Base>
InterfaceEntry InterfaceEntryOf(const IID& iid) noexcept {
    constexpr std::uintptr_t kProbe = 0x10000;
    auto* object = reinterpret_cast<Class*>(kProbe);
    auto* part = static_cast<Base*>(object);
    return {&iid, reinterpret_cast<const char*>(part) - reinterpret_cast<const char*>(object)};
}

// QueryInterface over `table` (ended by an entry without an IID) for the
// object at `object`: IID_IUnknown gives the first entry's part. The part
// found is counted once through its own AddRef. E_POINTER without `result`,
// E_NOINTERFACE (and a null `*result`) for an IID the table lacks.
HRESULT SearchInterfaceTable(void* object, const InterfaceEntry* table, REFIID iid, void** result) noexcept;

// A reference count shared between threads. Starts at one.
class ReferenceCount {
public:
    ULONG Add() noexcept { return static_cast<ULONG>(::InterlockedIncrement(&count_)); }
    // Adds one unless the count has already reached zero: a reference taken
    // from a plain pointer that another thread may be releasing for the last
    // time. False when refused; the object is then being destroyed.
    bool AddUnlessZero() noexcept {
        for (LONG count = ::InterlockedCompareExchange(&count_, 0, 0); count != 0;) {
            const LONG seen = ::InterlockedCompareExchange(&count_, count + 1, count);
            if (seen == count) return true;
            count = seen;
        }
        return false;
    }
    // The count left; the caller destroys the object at zero.
    ULONG Remove() noexcept { return static_cast<ULONG>(::InterlockedDecrement(&count_)); }

private:
    volatile LONG count_ = 1;
};

// IUnknown for `Derived`, which implements the `Implemented` interfaces and
// publishes its table as a public static `Interfaces()`. Release destroys the
// object through the virtual destructor, so `Derived` may be final with a
// private destructor. The destructor's slots come after the first
// interface's methods, so no interface's own layout changes.
template <class Derived, class... Implemented>
class ComObject : public Implemented... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    IFACEMETHODIMP QueryInterface(REFIID iid, void** result) noexcept final {
        return SearchInterfaceTable(static_cast<Derived*>(this), Derived::Interfaces(), iid, result);
    }
    IFACEMETHODIMP_(ULONG) AddRef() noexcept final { return references_.Add(); }
    IFACEMETHODIMP_(ULONG) Release() noexcept final {
        const ULONG left = references_.Remove();
        if (left == 0) delete this;
        return left;
    }
    // A reference for the module's own use, refused once the last one has
    // gone (the object is being destroyed, perhaps on another thread).
    bool AddRefUnlessReleased() noexcept { return references_.AddUnlessZero(); }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

private:
    ReferenceCount references_;
};

}  // namespace Lumo::Win

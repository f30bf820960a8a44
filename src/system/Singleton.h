// Base of the process-wide objects. Each lives in one fixed slot that
// GlobalImpl fills at module load and clears at unload; users only read it.
#pragma once

namespace Lumo::Global {

template <class T>
class Singleton {
public:
    virtual ~Singleton() = default;

    // The slot's object, or null outside the module's lifetime.
    static T* Instance() { return slot_; }

    // Used by GlobalImpl (and by test fixtures standing in for it).
    static void SetInstance(T* instance) { slot_ = instance; }

private:
    static inline T* slot_ = nullptr;
};

}  // namespace Lumo::Global

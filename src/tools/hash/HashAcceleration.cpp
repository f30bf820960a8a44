// Processor feature detection for the digest library and the switch that forces the portable path.
#include "tools/hash/HashAcceleration.h"

#include <atomic>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

std::atomic<bool> g_accelerationEnabled{true};

#if defined(__x86_64__) || defined(__i386__)
// XGETBV is only executed after cpuid reported OSXSAVE.
__attribute__((target("xsave"))) unsigned long long ReadXcr0() { return _xgetbv(0); }
#endif

Lumo::HashAcceleration::CpuFeatures ReadCpuFeatures() {
    Lumo::HashAcceleration::CpuFeatures features;
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    bool osSavesVectorState = false;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
        features.pclmul = (ecx & (1u << 1)) != 0;
        features.ssse3 = (ecx & (1u << 9)) != 0;
        features.sse41 = (ecx & (1u << 19)) != 0;
        osSavesVectorState = (ecx & (1u << 27)) != 0 && (ecx & (1u << 28)) != 0 && (ReadXcr0() & 6) == 6;
    }
    if (__get_cpuid_max(0, nullptr) >= 7 && __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) {
        features.sha = (ebx & (1u << 29)) != 0;
        features.avx2 = osSavesVectorState && (ebx & (1u << 5)) != 0;
        features.bmi2 = (ebx & (1u << 8)) != 0;
    }
#endif
    return features;
}

}  // namespace

namespace Lumo::HashAcceleration {

const CpuFeatures& DetectedCpuFeatures() {
    static const CpuFeatures features = ReadCpuFeatures();
    return features;
}

bool UseShaInstructions() {
    const CpuFeatures& cpu = DetectedCpuFeatures();
    return g_accelerationEnabled.load(std::memory_order_relaxed) && cpu.sha && cpu.sse41 && cpu.ssse3;
}

bool UseAvx2() {
    const CpuFeatures& cpu = DetectedCpuFeatures();
    return g_accelerationEnabled.load(std::memory_order_relaxed) && cpu.avx2 && cpu.bmi2 && cpu.ssse3;
}

bool UseSsse3() {
    const CpuFeatures& cpu = DetectedCpuFeatures();
    return g_accelerationEnabled.load(std::memory_order_relaxed) && cpu.ssse3;
}

bool UseCarryLessMultiply() {
    const CpuFeatures& cpu = DetectedCpuFeatures();
    return g_accelerationEnabled.load(std::memory_order_relaxed) && cpu.pclmul && cpu.sse41;
}

}  // namespace Lumo::HashAcceleration

bool SetHashAccelerationEnabled(bool enabled) { return g_accelerationEnabled.exchange(enabled); }

bool IsHashAccelerationEnabled() { return g_accelerationEnabled.load(); }

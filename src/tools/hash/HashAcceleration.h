// Run-time choice between the processor's hash instructions and the portable code of the digest library.
#pragma once

// The SHA and carry-less multiply instructions exist in 32-bit mode as well, so the 32-bit build takes the
// same intrinsic paths; only the AVX2 assembly (Sha512Avx2.S) is 64-bit code, and the 32-bit build has a
// SHA-512 of its own on SSSE3 in its place (beside the portable one).
#if defined(__x86_64__) || defined(__i386__)
#define QV_HASH_X86_INTRINSICS 1
#endif

namespace Lumo::HashAcceleration {

// What the processor offers, read once with cpuid.
struct CpuFeatures {
    bool sha = false;     // SHA-1 / SHA-256 instructions (SHA-NI)
    bool pclmul = false;  // carry-less multiply, used for CRC-32 folding
    bool sse41 = false;
    bool ssse3 = false;
    bool avx2 = false;  // with the operating system saving the vector state
    bool bmi2 = false;
};

const CpuFeatures& DetectedCpuFeatures();

// True when the SHA instructions are present and acceleration has not been switched off.
bool UseShaInstructions();
// True when AVX2 and BMI2 are usable and acceleration has not been switched off.
bool UseAvx2();
// True when SSSE3 is present and acceleration has not been switched off (the 32-bit build's SHA-512 keeps
// its 64-bit words in vector registers).
bool UseSsse3();
// True when carry-less multiply is present and acceleration has not been switched off.
bool UseCarryLessMultiply();

}  // namespace Lumo::HashAcceleration

// Switches the processor-specific code paths on or off for the whole process (both paths give identical
// digests; tests use this to exercise the portable code on any machine). Returns the previous setting.
bool SetHashAccelerationEnabled(bool enabled);
bool IsHashAccelerationEnabled();

// SHA-512 compression with AVX2 and BMI2, two blocks at a time.
//
//   void QvSha512BlocksAvx2(uint64_t state[8], const uint8_t* blocks, size_t count, const uint64_t* k2);
//
// k2 holds the 80 round constants laid out like the schedule buffer below (each pair of constants twice).
//
// Why assembly: the compiler's version of this loop spilled about two values per round to the stack,
// and the rounds are bound by the number of integer operations the processor can issue, so every extra
// load and store cost time. Here all sixteen general registers are allocated by hand: a..h, four
// temporaries, the schedule pointer and the constants pointer.
//
// The message schedule of two consecutive blocks is computed at once: the low 128-bit lane of each vector
// carries the first block and the high lane the second, so one instruction yields two words of each block.
// Schedule step j holds the words 2j and 2j+1; the eight most recent steps live in ymm0..ymm7 (step j in
// ymm(j % 8)) and every step also goes to the buffer with its round constants added, word t of lane L at
// qword 4 * (t / 2) + 2 * L + t % 2. The first block's rounds compute the rest of the schedule of both
// blocks, one step every two rounds; the second block's rounds read the buffer and, in their first
// sixteen, load the next pair's steps 0..7. a..h stay in registers from block to block. An odd last block
// is paired with itself and its second run skipped.

#if defined(__x86_64__)

        .intel_syntax noprefix
        .text

#if defined(_WIN64)
#define ARG_STATE rcx
#define ARG_BLOCKS rdx
#define ARG_COUNT r8
#define ARG_K r9
#else
#define ARG_STATE rdi
#define ARG_BLOCKS rsi
#define ARG_COUNT rdx
#define ARG_K rcx
#endif

// Frame, above the eight pushed registers: four local slots, xmm6..xmm13 (callee-saved in the Windows
// ABI), the 1280-byte schedule buffer with room to align it to 32 bytes, then 256 bytes that hold an odd
// last block twice.
#define SLOT_STATE 0
#define SLOT_BLOCKS 8
#define SLOT_COUNT 16
#define SLOT_K 24
#define XMM_SAVE 32
#define WK_AREA 160
#define SCRATCH 1472
#define FRAME 1736

// t0 = r12, t1 = r13; ab and bc alternate between r14 and r15 from round to round: bc carries b ^ c in
// and becomes the majority, ab receives a ^ b, the next round's b ^ c. Maj(a, b, c) = b ^ ((a ^ b) & (b ^ c));
// the choice is added as its two disjoint halves, (e & f) + (~e & g).
// Given a schedule step (part 0 for the first round of a pair, 4 for the second), a quarter of that step's
// vector instructions follows every sixth instruction of the round: spread this finely, the vector work
// never holds up the issue of the rounds' integer work. Measured against the whole step placed between
// two rounds: 2.5% faster on a quiet machine, 4-7% while the other thread of the core is busy.
.macro ROUND a, b, c, d, e, f, g, h, ab, bc, wk, part=-100, w16=ymm0, w14=ymm0, w8=ymm0, w6=ymm0, w2=ymm0, at=0
        add     \h, \wk
        mov     r12, \f
        and     r12, \e
        rorx    r13, \e, 41
        rorx    \ab, \e, 18
        add     \h, r12
        SCHEDULE_PART (\part+0), \w16, \w14, \w8, \w6, \w2, \at
        andn    r12, \e, \g
        xor     r13, \ab
        rorx    \ab, \e, 14
        add     \h, r12
        xor     r13, \ab
        mov     \ab, \a
        SCHEDULE_PART (\part+1), \w16, \w14, \w8, \w6, \w2, \at
        rorx    r12, \a, 39
        add     \h, r13
        xor     \ab, \b
        rorx    r13, \a, 34
        add     \d, \h
        and     \bc, \ab
        SCHEDULE_PART (\part+2), \w16, \w14, \w8, \w6, \w2, \at
        xor     r13, r12
        rorx    r12, \a, 28
        xor     \bc, \b
        xor     r13, r12
        add     \h, \bc
        add     \h, r13
        SCHEDULE_PART (\part+3), \w16, \w14, \w8, \w6, \w2, \at
.endm

// Rounds 2i and 2i+1 of eight (i = 0..3), with a = rax .. h = r11 at the first of the eight, reading the
// words of the lane at byte offset `lane` of step `step` relative to rsi; with the arguments of a schedule
// step (w16 .. at, see SCHEDULE_PART), that step is computed within the two rounds.
.macro ROUND_PAIR i, step, lane, w16, w14, w8, w6, w2, at=0
.ifb \w16
        .set    .Lpart, -100
.else
        .set    .Lpart, 0
.endif
.if \i == 0
        TWO_ROUNDS rax, rbx, rcx, rdx, r8, r9, r10, r11, \step, \lane, \w16, \w14, \w8, \w6, \w2, \at
.elseif \i == 1
        TWO_ROUNDS r10, r11, rax, rbx, rcx, rdx, r8, r9, \step, \lane, \w16, \w14, \w8, \w6, \w2, \at
.elseif \i == 2
        TWO_ROUNDS r8, r9, r10, r11, rax, rbx, rcx, rdx, \step, \lane, \w16, \w14, \w8, \w6, \w2, \at
.elseif \i == 3
        TWO_ROUNDS rcx, rdx, r8, r9, r10, r11, rax, rbx, \step, \lane, \w16, \w14, \w8, \w6, \w2, \at
.endif
.endm

// The two rounds of ROUND_PAIR, the second with the registers renamed by one place.
.macro TWO_ROUNDS a, b, c, d, e, f, g, h, step, lane, w16, w14, w8, w6, w2, at
        ROUND \a, \b, \c, \d, \e, \f, \g, \h, r14, r15, [rsi+32*\step+\lane], .Lpart, \w16, \w14, \w8, \w6, \w2, \at
        ROUND \h, \a, \b, \c, \d, \e, \f, \g, r15, r14, [rsi+32*\step+\lane+8], .Lpart+4, \w16, \w14, \w8, \w6, \w2, \at
.endm

// One eighth (`part` 0..7; any other value emits nothing) of a schedule step:
// W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16] for both words of a step and both blocks, from the
// steps j-8 (w16, replaced by the result), j-7, j-4, j-3 and j-1; stored with its constants at byte
// offset `at` from rsi (the constants at the same offset from rdi). ymm12 rotates each word by 8 bits.
.macro SCHEDULE_PART part, w16, w14, w8, w6, w2, at
.if \part == 0
        vpalignr ymm8, \w14, \w16, 8
        vpalignr ymm9, \w6, \w8, 8
        vpaddq  \w16, \w16, ymm9
.elseif \part == 1
        vpsrlq  ymm9, ymm8, 1
        vpsllq  ymm10, ymm8, 63
        vpxor   ymm9, ymm9, ymm10
.elseif \part == 2
        vpsrlq  ymm10, ymm8, 7
        vpshufb ymm8, ymm8, ymm12
        vpxor   ymm9, ymm9, ymm10
.elseif \part == 3
        vpxor   ymm9, ymm9, ymm8
        vpaddq  \w16, \w16, ymm9
        vpsrlq  ymm8, \w2, 6
.elseif \part == 4
        vpsrlq  ymm9, \w2, 19
        vpsllq  ymm10, \w2, 45
        vpxor   ymm8, ymm8, ymm9
.elseif \part == 5
        vpxor   ymm8, ymm8, ymm10
        vpsrlq  ymm9, \w2, 61
        vpsllq  ymm10, \w2, 3
.elseif \part == 6
        vpxor   ymm8, ymm8, ymm9
        vpxor   ymm8, ymm8, ymm10
        vpaddq  \w16, \w16, ymm8
.elseif \part == 7
        vpaddq  ymm8, \w16, [rdi + \at]
        vmovdqa [rsi + \at], ymm8
.endif
.endm

// Step j of the pair at rbp (its second block 128 bytes on), byte-swapped and stored with its constants.
.macro LOAD_STEP w, x, j
        vmovdqu \x, [rbp + 16 * \j]
        vinserti128 \w, \w, [rbp + 16 * \j + 128], 1
        vpshufb \w, \w, ymm13
        vpaddq  ymm8, \w, [rdi + 32 * \j]
        vmovdqa [rsi + 32 * \j], ymm8
.endm

// a..h from the state at r12.
.macro LOAD_STATE
        .set    .Lword, 0
        .irp    r, rax, rbx, rcx, rdx, r8, r9, r10, r11
        mov     \r, [r12 + .Lword]
        .set    .Lword, .Lword + 8
        .endr
.endm

// Adds a block's result to the state at r12 and leaves the sums in a..h for the next block, which starts
// from them at once instead of waiting for a store and a reload.
.macro ADD_STATE
        .set    .Lword, 0
        .irp    r, rax, rbx, rcx, rdx, r8, r9, r10, r11
        add     \r, [r12 + .Lword]
        mov     [r12 + .Lword], \r
        .set    .Lword, .Lword + 8
        .endr
.endm

// rbp = the pair whose steps are loaded next, rdi = the constants. A last, odd block is copied twice into
// the scratch area so that the loads need no second pointer; with no pair left, rbp points at the pair
// just hashed, whose steps are loaded again and never used.
.macro NEXT_PAIR_POINTER
        mov     rdi, [rsp + SLOT_K]
        mov     rbp, [rsp + SLOT_BLOCKS]
        cmp     qword ptr [rsp + SLOT_COUNT], 1
        ja      1f
        jb      2f
        vmovdqu ymm8, [rbp]
        vmovdqu ymm9, [rbp + 32]
        vmovdqu ymm10, [rbp + 64]
        vmovdqu ymm11, [rbp + 96]
        lea     rbp, [rsp + SCRATCH]
        vmovdqu [rbp], ymm8
        vmovdqu [rbp + 32], ymm9
        vmovdqu [rbp + 64], ymm10
        vmovdqu [rbp + 96], ymm11
        vmovdqu [rbp + 128], ymm8
        vmovdqu [rbp + 160], ymm9
        vmovdqu [rbp + 192], ymm10
        vmovdqu [rbp + 224], ymm11
        jmp     1f
2:
        sub     rbp, 256
1:
.endm

// Prologue steps, each with the unwind data Windows needs to walk the stack through this function.
.macro SAVE_GPR r
        push    \r
#if defined(_WIN64)
        .seh_pushreg \r
#endif
.endm

.macro SAVE_XMM x, at
        movdqa  [rsp + XMM_SAVE + \at], \x
        .seh_savexmm \x, XMM_SAVE + \at
.endm

// The function starts on a 64-byte boundary and each loop at a fixed place within its 64-byte line, so
// that an unrelated change elsewhere in the library cannot move them: how instructions fall relative to
// those boundaries changed the speed of earlier versions of these loops by up to 10% on the processor
// this was measured on (Zen 3). This version ran at 0.974-0.986 of libcrypto's time over every 16-byte
// placement of the two loops but a few noisy ones.
        .p2align 6
        .globl  QvSha512BlocksAvx2
#if defined(_WIN64)
        .def    QvSha512BlocksAvx2; .scl 2; .type 32; .endef
        .seh_proc QvSha512BlocksAvx2
#else
        .type   QvSha512BlocksAvx2, @function
#endif
QvSha512BlocksAvx2:
        SAVE_GPR rbp
        SAVE_GPR rbx
        SAVE_GPR rdi
        SAVE_GPR rsi
        SAVE_GPR r12
        SAVE_GPR r13
        SAVE_GPR r14
        SAVE_GPR r15
        sub     rsp, FRAME
#if defined(_WIN64)
        .seh_stackalloc FRAME
        SAVE_XMM xmm6, 0
        SAVE_XMM xmm7, 16
        SAVE_XMM xmm8, 32
        SAVE_XMM xmm9, 48
        SAVE_XMM xmm10, 64
        SAVE_XMM xmm11, 80
        SAVE_XMM xmm12, 96
        SAVE_XMM xmm13, 112
        .seh_endprologue
#endif
        test    ARG_COUNT, ARG_COUNT
        jz      .Ldone
        mov     [rsp + SLOT_STATE], ARG_STATE
        mov     [rsp + SLOT_BLOCKS], ARG_BLOCKS
        mov     [rsp + SLOT_COUNT], ARG_COUNT
        mov     [rsp + SLOT_K], ARG_K
        lea     rsi, [rsp + WK_AREA + 31]
        and     rsi, -32
        vmovdqu ymm12, [rip + .Lrotate8]
        vmovdqu ymm13, [rip + .Lbyteswap]
        mov     r12, [rsp + SLOT_STATE]
        LOAD_STATE
        // Steps 0..7 of the first pair; those of every later pair are loaded during the second block of
        // the pair before, so that its first rounds find them ready.
        NEXT_PAIR_POINTER
        LOAD_STEP ymm0, xmm0, 0
        LOAD_STEP ymm1, xmm1, 1
        LOAD_STEP ymm2, xmm2, 2
        LOAD_STEP ymm3, xmm3, 3
        LOAD_STEP ymm4, xmm4, 4
        LOAD_STEP ymm5, xmm5, 5
        LOAD_STEP ymm6, xmm6, 6
        LOAD_STEP ymm7, xmm7, 7

.Lpair:
        mov     rdi, [rsp + SLOT_K]
        mov     r15, rbx
        xor     r15, rcx
        // Rounds 0..63 in four passes: sixteen rounds read steps j..j+7 while steps j+8..j+15 are made.
        lea     rbp, [rdi + 1024]
        .p2align 6
.Lschedule:
        ROUND_PAIR 0, 0, 0, ymm0, ymm1, ymm4, ymm5, ymm7, 256
        ROUND_PAIR 1, 1, 0, ymm1, ymm2, ymm5, ymm6, ymm0, 288
        ROUND_PAIR 2, 2, 0, ymm2, ymm3, ymm6, ymm7, ymm1, 320
        ROUND_PAIR 3, 3, 0, ymm3, ymm4, ymm7, ymm0, ymm2, 352
        ROUND_PAIR 0, 4, 0, ymm4, ymm5, ymm0, ymm1, ymm3, 384
        ROUND_PAIR 1, 5, 0, ymm5, ymm6, ymm1, ymm2, ymm4, 416
        ROUND_PAIR 2, 6, 0, ymm6, ymm7, ymm2, ymm3, ymm5, 448
        ROUND_PAIR 3, 7, 0, ymm7, ymm0, ymm3, ymm4, ymm6, 480
        add     rsi, 256
        add     rdi, 256
        cmp     rdi, rbp
        jne     .Lschedule

        ROUND_PAIR 0, 0, 0
        ROUND_PAIR 1, 1, 0
        ROUND_PAIR 2, 2, 0
        ROUND_PAIR 3, 3, 0
        ROUND_PAIR 0, 4, 0
        ROUND_PAIR 1, 5, 0
        ROUND_PAIR 2, 6, 0
        ROUND_PAIR 3, 7, 0
        sub     rsi, 1024
        mov     r12, [rsp + SLOT_STATE]
        ADD_STATE
        cmp     qword ptr [rsp + SLOT_COUNT], 1
        je      .Ldone

        // The second block: its words sit 16 bytes into every step. As each of its first sixteen rounds'
        // steps is read, its slot takes the next pair's step.
        mov     r15, rbx
        xor     r15, rcx
        add     qword ptr [rsp + SLOT_BLOCKS], 256
        sub     qword ptr [rsp + SLOT_COUNT], 2
        NEXT_PAIR_POINTER
        ROUND_PAIR 0, 0, 16
        LOAD_STEP ymm0, xmm0, 0
        ROUND_PAIR 1, 1, 16
        LOAD_STEP ymm1, xmm1, 1
        ROUND_PAIR 2, 2, 16
        LOAD_STEP ymm2, xmm2, 2
        ROUND_PAIR 3, 3, 16
        LOAD_STEP ymm3, xmm3, 3
        ROUND_PAIR 0, 4, 16
        LOAD_STEP ymm4, xmm4, 4
        ROUND_PAIR 1, 5, 16
        LOAD_STEP ymm5, xmm5, 5
        ROUND_PAIR 2, 6, 16
        LOAD_STEP ymm6, xmm6, 6
        ROUND_PAIR 3, 7, 16
        LOAD_STEP ymm7, xmm7, 7
        lea     rbp, [rsi + 1280]
        add     rsi, 256
        .p2align 6
        .nops   32
.Lsecond:
        ROUND_PAIR 0, 0, 16
        ROUND_PAIR 1, 1, 16
        ROUND_PAIR 2, 2, 16
        ROUND_PAIR 3, 3, 16
        ROUND_PAIR 0, 4, 16
        ROUND_PAIR 1, 5, 16
        ROUND_PAIR 2, 6, 16
        ROUND_PAIR 3, 7, 16
        add     rsi, 256
        cmp     rsi, rbp
        jne     .Lsecond
        sub     rsi, 1280
        mov     r12, [rsp + SLOT_STATE]
        ADD_STATE
        cmp     qword ptr [rsp + SLOT_COUNT], 0
        jne     .Lpair

.Ldone:
        vzeroupper
#if defined(_WIN64)
        movdqa  xmm6, [rsp + XMM_SAVE + 0]
        movdqa  xmm7, [rsp + XMM_SAVE + 16]
        movdqa  xmm8, [rsp + XMM_SAVE + 32]
        movdqa  xmm9, [rsp + XMM_SAVE + 48]
        movdqa  xmm10, [rsp + XMM_SAVE + 64]
        movdqa  xmm11, [rsp + XMM_SAVE + 80]
        movdqa  xmm12, [rsp + XMM_SAVE + 96]
        movdqa  xmm13, [rsp + XMM_SAVE + 112]
#endif
        add     rsp, FRAME
        pop     r15
        pop     r14
        pop     r13
        pop     r12
        pop     rsi
        pop     rdi
        pop     rbx
        pop     rbp
        ret
#if defined(_WIN64)
        .seh_endproc
#else
        .size   QvSha512BlocksAvx2, . - QvSha512BlocksAvx2
#endif

#if defined(_WIN64)
        .section .rdata, "dr"
#else
        .section .rodata
#endif
        .p2align 5
// vpshufb masks: reverse the bytes of each 64-bit word; rotate each 64-bit word right by 8 bits.
.Lbyteswap:
        .quad   0x0001020304050607, 0x08090a0b0c0d0e0f, 0x0001020304050607, 0x08090a0b0c0d0e0f
.Lrotate8:
        .quad   0x0007060504030201, 0x080f0e0d0c0b0a09, 0x0007060504030201, 0x080f0e0d0c0b0a09

#if defined(__ELF__)
        .section .note.GNU-stack, "", @progbits
#endif

#endif

#pragma once
// QUILL_CPU_CLONES before a function compiles it for the baseline x86-64 and for the wider
// vector instruction sets (AVX2, AVX-512); the dynamic loader picks the clone the processor
// can run when the program starts. Only for functions whose results do not depend on the
// clone: integer work, or floating point without contraction into fused multiply-adds.
// Not under ThreadSanitizer, whose runtime is not up yet when the loader runs the resolvers.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define QUILL_CPU_CLONES __attribute__((target_clones("default", "avx2", "arch=x86-64-v4")))
#else
#define QUILL_CPU_CLONES
#endif

#pragma once

// What the processor and the operating system let the mixer use. Asked of the processor itself,
// so one build runs on any x86 processor; elsewhere nothing is reported.

struct CpuFeatures {
  bool sse2;
  // AVX2 instructions, and an operating system that saves the 256-bit registers across thread
  // switches (without that, the first AVX instruction faults).
  bool avx2;
};

CpuFeatures cpuFeatures();

#include "noise/cpu_features.h"

#if defined(__i386__) || defined(__x86_64__)

#include <cpuid.h>

#include <cstdint>

namespace {

constexpr unsigned leafFeatures = 1;
constexpr unsigned leafExtendedFeatures = 7;
constexpr unsigned edxSse2 = 1u << 26;
constexpr unsigned ecxOsXsave = 1u << 27;
constexpr unsigned ecxAvx = 1u << 28;
constexpr unsigned ebxAvx2 = 1u << 5;
// XCR0: the system saves both the SSE and the upper AVX halves of the registers.
constexpr std::uint32_t xmmAndYmmState = 0x6;

// xgetbv by its encoding: the mnemonic needs an assembler flag the default target lacks.
std::uint32_t enabledRegisterState() {
  std::uint32_t low = 0;
  std::uint32_t high = 0;
  __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(low), "=d"(high) : "c"(0));
  return low;
}

}  // namespace

CpuFeatures cpuFeatures() {
  CpuFeatures features{};
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  // __get_cpuid also copes with processors too old for cpuid, which the 32-bit DLL may meet.
  if (!__get_cpuid(leafFeatures, &eax, &ebx, &ecx, &edx)) {
    return features;
  }
  features.sse2 = (edx & edxSse2) != 0;
  const bool avxUsable = (ecx & ecxOsXsave) != 0 && (ecx & ecxAvx) != 0 &&
                         (enabledRegisterState() & xmmAndYmmState) == xmmAndYmmState;
  if (avxUsable && __get_cpuid_count(leafExtendedFeatures, 0, &eax, &ebx, &ecx, &edx)) {
    features.avx2 = (ebx & ebxAvx2) != 0;
  }
  return features;
}

#else

CpuFeatures cpuFeatures() {
  return {};
}

#endif

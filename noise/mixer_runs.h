#pragma once

// What the SIMD paths share. Between two returns of the read position to the table's start the
// position only climbs by the speed, so such a run of values can be mixed many at a time.

#include <cstdint>

#include "noise/mixer.h"

#if defined(__i386__)
// 32-bit Windows players call with the stack aligned to 4 bytes only, and the compiler keeps SIMD
// values on the stack at 16- or 32-byte alignment: every function that holds them aligns the
// stack itself.
#define REALIGNS_STACK __attribute__((force_align_arg_pointer))
#else
#define REALIGNS_STACK
#endif

// Mixes `count` values, a whole number of the path's vectors, whose read positions climb from
// `position` by the speed and stay within the wrap limit.
using MixRun = void (*)(const MixerSettings& settings, std::int32_t position, std::int16_t* values,
                        std::int64_t count);

// `mixNoise`'s contract, with every run's whole vectors mixed by `mixRun` and the rest, and every
// step of the position past a run, done as the reference loop does them.
std::int32_t mixNoiseInRuns(const MixerSettings& settings, std::int32_t position,
                            std::int16_t* values, std::int64_t count, MixRun mixRun,
                            std::int32_t valuesPerVector);

// The amount as the SIMD paths multiply by it: amount = 65,536 × high + low, low a signed 16-bit
// number and high -1, 0 or 1. entry × low and entry × high are 16-bit multiplies, and their sum
// is the 32-bit product the reference makes.
struct AmountInParts {
  std::int16_t low;
  std::int16_t high;
  // All ones where a negative amount turns each entry's sign around.
  std::int16_t signMask;
};

constexpr AmountInParts amountInParts(std::int32_t amount) {
  const auto low = static_cast<std::int16_t>(amount & 0xFFFF);
  return {low, static_cast<std::int16_t>((amount - low) / 65536),
          static_cast<std::int16_t>(amount < 0 ? -1 : 0)};
}

// The SIMD paths, each with `mixNoise`'s contract, to be called only where `cpuFeatures()`
// reports what it needs.
std::int32_t mixNoiseSse2(const MixerSettings& settings, std::int32_t position,
                          std::int16_t* values, std::int64_t count);
std::int32_t mixNoiseAvx2(const MixerSettings& settings, std::int32_t position,
                          std::int16_t* values, std::int64_t count);

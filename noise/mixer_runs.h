#pragma once

// What the SIMD paths share. Between two returns of the read position to the table's start the
// position only climbs by the speed, so such a run of values can be mixed many at a time.

#include <cstdint>

#include "noise/mixer.h"

constexpr bool isPowerOfTwo(std::int32_t number) {
  return number > 0 && (number & (number - 1)) == 0;
}

#if defined(__i386__)
// 32-bit Windows players call with the stack aligned to 4 bytes only, and the compiler keeps SIMD
// values on the stack at 16- or 32-byte alignment: every function that holds them aligns the
// stack itself.
#define REALIGNS_STACK __attribute__((force_align_arg_pointer))
#else
#define REALIGNS_STACK
#endif

// Mixes `count` values, a whole number of the path's vectors, whose read positions climb from
// `position` by the speed and stay within the wrap limit. Each walks the block with pointers, not
// a 64-bit count: the 32-bit build has few registers to spare. At speed 256 a run's entries lie
// side by side in the table, one entry per value; at other speeds each value's is picked out.
using MixRun = void (*)(const MixerSettings& settings, std::int32_t position, std::int16_t* values,
                        std::int64_t count);

// `mixNoise`'s contract, with every run's whole vectors mixed by `mixRun` and the rest, and every
// step of the position past a run, done as the reference loop does them. `valuesPerVector` is a
// power of two.
std::int32_t mixNoiseInRuns(const MixerSettings& settings, std::int32_t position,
                            std::int16_t* values, std::int64_t count, MixRun mixRun,
                            std::int32_t valuesPerVector);

// The SIMD paths, each with `mixNoise`'s contract, to be called only where `cpuFeatures()`
// reports what it needs.
std::int32_t mixNoiseSse2(const MixerSettings& settings, std::int32_t position,
                          std::int16_t* values, std::int64_t count);
std::int32_t mixNoiseAvx2(const MixerSettings& settings, std::int32_t position,
                          std::int16_t* values, std::int64_t count);

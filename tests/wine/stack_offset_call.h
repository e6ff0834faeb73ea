#pragma once

// Calls into the mixer from a stack that is not 16-byte aligned, as a 32-bit player's own threads
// may: 32-bit Windows promises only 4 bytes. The 64-bit ABI always gives 16, so there the only
// offset is 0.

#include <cstdint>

#include "noise/mixer_paths.h"
#include "plugin/module.h"

#if defined(__i386__)
constexpr std::uint32_t stackOffsets[] = {0, 4, 8, 12};
#else
constexpr std::uint32_t stackOffsets[] = {0};
#endif

// The module's `process` on a 16-bit block at 44.1 kHz, with the stack pointer `offset` bytes
// below a 16-byte boundary at the call.
std::int32_t processFromStackOffBy(std::uint32_t offset, EffectModule* module,
                                   std::int16_t* samples, std::int32_t frames,
                                   std::int32_t channels);

// `mixNoiseOn`, called the same way.
std::int32_t mixNoiseOnFromStackOffBy(std::uint32_t offset, MixerPath path,
                                      const MixerSettings& settings, std::int32_t position,
                                      std::int16_t* values, std::int64_t count);

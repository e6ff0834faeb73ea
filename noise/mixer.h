#pragma once

// Mixing the looped noise table into the player's audio blocks. Portable: no Windows header, so
// the native tests reach all of it.

#include <cstdint>

#include "noise/noise_table.h"

struct EffectModule;

// The largest magnitudes the mixer uses. Any amount or speed that reaches it (the settings file
// can hold anything) is held inside these before the block is walked: within them no sum or
// product can overflow, and the slider's 0..512 lies well inside.
constexpr std::int32_t largestAmount = 65536;
constexpr std::int32_t largestSpeed = 1 << 24;

// Called by the player for every decoded block, on its audio thread. Adds the table entry at the
// read position, scaled by the amount, to each 16-bit value in memory order, clamps the sum to
// 16 bits and steps the position on by the speed, wrapping to 0 past the wrap limit. Blocks of
// any other sample width pass untouched. Returns `frames`.
std::int32_t process(EffectModule* module, std::int16_t* samples, std::int32_t frames,
                     std::int32_t bitsPerSample, std::int32_t channels, std::int32_t sampleRate);

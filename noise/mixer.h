#pragma once

// Mixing the looped noise table into the player's audio blocks. Portable: no Windows header, so
// the native tests reach all of it.

#include <cstdint>

#include "noise/noise_table.h"

// The largest magnitudes the mixer uses. Any amount or speed that reaches it (the settings file
// can hold anything) is held inside these before the block is walked: within them no sum or
// product can overflow, and the slider's 0..512 lies well inside.
constexpr std::int32_t largestAmount = 65536;
constexpr std::int32_t largestSpeed = 1 << 24;

// What one block is mixed with, read once before it and held inside the limits above: amount in
// -65,536..65,536, speed in 0..2^24, wrap limit in 0..60,417 × 256.
struct MixerSettings {
  std::int32_t amount;
  std::int32_t speed;
  std::int32_t wrapLimit;
};

MixerSettings mixerSettingsWithinLimits(std::int32_t amount, std::int32_t speed,
                                        std::int32_t wrapLimit);

// A read position outside 0..wrapLimit (never made by the mixer) counts as the start.
std::int32_t startPositionWithin(std::int32_t position, const MixerSettings& settings);

// The mixer itself, pure: adds the table entry at the read position, scaled by the amount, to
// each of `count` values in memory order, clamps each sum to 16 bits, and steps the position on
// by the speed, back to 0 once it passes the wrap limit. `position` must lie within 0..wrapLimit.
// Returns the position after the last value.
std::int32_t mixNoise(const MixerSettings& settings, std::int32_t position, std::int16_t* values,
                      std::int64_t count);

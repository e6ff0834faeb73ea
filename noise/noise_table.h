#pragma once

#include <array>
#include <cstdint>

#include "noise/fixed_point.h"

constexpr int noiseTableLength = 60420;
// The fixed record-surface noise, looped and mixed into the audio; tools/make_noise_table.cpp
// makes it. Only entries 0..60,417 are ever played; the last two entries are padding and hold 0.
using NoiseTable = std::array<std::int16_t, noiseTableLength>;
extern const NoiseTable noiseTable;

// The entries played, 0..60,417: at speed 256 the loop lasts this many values.
constexpr int playedEntryCount = 60418;

// The read position of the last entry played, 60,417 × 256: the position returns to 0 once it
// passes this.
constexpr std::int32_t fullWrapLimit = positionOfEntry(playedEntryCount - 1);

#pragma once

#include <array>
#include <cstdint>

constexpr int noiseTableLength = 60420;
// The fixed record-surface noise, looped and mixed into the audio; tools/make_noise_table.cpp
// makes it. Only entries 0..60,417 are ever played; the last two entries are padding and hold 0.
using NoiseTable = std::array<std::int16_t, noiseTableLength>;
extern const NoiseTable noiseTable;

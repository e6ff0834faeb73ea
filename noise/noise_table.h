#pragma once

#include <array>
#include <cstdint>

constexpr int noiseTableLength = 60420;
// The fixed noise signal; only entries 0..60,417 are ever played.
using NoiseTable = std::array<std::int16_t, noiseTableLength>;
extern const NoiseTable noiseTable;

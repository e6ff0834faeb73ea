#include "noise/mixer_runs.h"

#include <algorithm>

std::int32_t mixNoiseInRuns(const MixerSettings& settings, std::int32_t position,
                            std::int16_t* values, std::int64_t count, MixRun mixRun,
                            std::int32_t valuesPerVector) {
  const std::int32_t speed = settings.speed;
  // A speed at which no run from the start fills one vector leaves nothing to mix in vectors.
  if (speed > 0 && settings.wrapLimit / speed < valuesPerVector) {
    return mixNoise(settings, position, values, count);
  }
  while (count > 0) {
    // A 32-bit division, and a mask for the remainder: the 32-bit DLL would call a library
    // routine for a 64-bit division or remainder.
    const std::int64_t runLength =
        speed == 0 ? count
                   : std::min<std::int64_t>(count, (settings.wrapLimit - position) / speed + 1);
    const std::int64_t leftOver = runLength & (valuesPerVector - 1);
    const std::int64_t inVectors = runLength - leftOver;
    mixRun(settings, position, values, inVectors);
    if (leftOver > 0) {
      mixNoise(settings, static_cast<std::int32_t>(position + inVectors * speed),
               values + inVectors, leftOver);
    }
    // The reference's own step: past the wrap limit, back to the start.
    const std::int64_t next = position + runLength * speed;
    position = next > settings.wrapLimit ? 0 : static_cast<std::int32_t>(next);
    values += runLength;
    count -= runLength;
  }
  return position;
}

#include "noise/mixer.h"

#include <algorithm>

namespace {

std::int16_t clampTo16Bits(std::int32_t sum) {
  return static_cast<std::int16_t>(std::clamp<std::int32_t>(sum, -32768, 32767));
}

}  // namespace

MixerSettings mixerSettingsWithinLimits(std::int32_t amount, std::int32_t speed,
                                        std::int32_t wrapLimit) {
  // A negative speed would walk off the front of the table: it holds the position, as speed 0.
  // `initialise` sets the wrap limit; before it (or for a wild value) the position stays inside
  // entries 0..60,417 all the same.
  return {std::clamp(amount, -largestAmount, largestAmount), std::clamp(speed, 0, largestSpeed),
          std::clamp(wrapLimit, 0, fullWrapLimit)};
}

std::int32_t startPositionWithin(std::int32_t position, const MixerSettings& settings) {
  return position < 0 || position > settings.wrapLimit ? 0 : position;
}

std::int32_t mixNoise(const MixerSettings& settings, std::int32_t position, std::int16_t* values,
                      std::int64_t count) {
  for (std::int64_t iValue = 0; iValue < count; ++iValue) {
    const std::int32_t noise = scaledEntry(noiseTable[entryIndexAt(position)], settings.amount);
    values[iValue] = clampTo16Bits(values[iValue] + noise);
    position += settings.speed;
    if (position > settings.wrapLimit) {
      position = 0;
    }
  }
  return position;
}

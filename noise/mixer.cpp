#include "noise/mixer.h"

#include <algorithm>

#include "noise/mixer_paths.h"
#include "plugin/effect_state.h"

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
    // Division, not a shift: the noise is truncated toward zero (-71 at 255 gives -70).
    const std::int32_t noise = noiseTable[position >> 8] * settings.amount / 256;
    values[iValue] = clampTo16Bits(values[iValue] + noise);
    position += settings.speed;
    if (position > settings.wrapLimit) {
      position = 0;
    }
  }
  return position;
}

std::int32_t process(EffectModule*, std::int16_t* samples, std::int32_t frames,
                     std::int32_t bitsPerSample, std::int32_t channels, std::int32_t) {
  if (bitsPerSample != 16 || frames <= 0 || channels <= 0 || samples == nullptr) {
    return frames;
  }
  // The settings window may change amount and speed mid-block; reading each once per block keeps
  // the loop tight and a change is heard from the next block on.
  const MixerSettings settings =
      mixerSettingsWithinLimits(effectState.amount.load(std::memory_order_relaxed),
                                effectState.speed.load(std::memory_order_relaxed),
                                effectState.wrapLimit.load(std::memory_order_relaxed));
  const std::int32_t position =
      startPositionWithin(effectState.position.load(std::memory_order_relaxed), settings);
  const std::int64_t valueCount = static_cast<std::int64_t>(frames) * channels;
  effectState.position.store(
      mixNoiseOn(fastestMixerPath(), settings, position, samples, valueCount),
      std::memory_order_relaxed);
  return frames;
}

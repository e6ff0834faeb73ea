#include "noise/mixer.h"

#include <algorithm>

#include "plugin/effect_state.h"

namespace {

std::int16_t clampTo16Bits(std::int32_t sum) {
  return static_cast<std::int16_t>(std::clamp<std::int32_t>(sum, -32768, 32767));
}

// `initialise` sets the wrap limit; before it (or for a wild value) the position stays inside
// entries 0..60,417 all the same.
std::int32_t safeWrapLimit(std::int32_t wrapLimit) {
  return std::clamp<std::int32_t>(wrapLimit, 0, fullWrapLimit);
}

}  // namespace

std::int32_t process(EffectModule*, std::int16_t* samples, std::int32_t frames,
                     std::int32_t bitsPerSample, std::int32_t channels, std::int32_t) {
  if (bitsPerSample != 16 || frames <= 0 || channels <= 0 || samples == nullptr) {
    return frames;
  }
  // The settings window may change amount and speed mid-block; reading each once per block keeps
  // the loop tight and a change is heard from the next block on.
  const std::int32_t amount =
      std::clamp(effectState.amount.load(std::memory_order_relaxed), -largestAmount, largestAmount);
  // A negative speed would walk off the front of the table: it holds the position, as speed 0.
  const std::int32_t speed =
      std::clamp(effectState.speed.load(std::memory_order_relaxed), 0, largestSpeed);
  const std::int32_t wrapLimit = safeWrapLimit(effectState.wrapLimit);
  std::int32_t position = effectState.position;
  if (position < 0 || position > wrapLimit) {
    position = 0;
  }

  const std::int64_t valueCount = static_cast<std::int64_t>(frames) * channels;
  for (std::int64_t iValue = 0; iValue < valueCount; ++iValue) {
    // Division, not a shift: the noise is truncated toward zero (-71 at 255 gives -70).
    const std::int32_t noise = noiseTable[position >> 8] * amount / 256;
    samples[iValue] = clampTo16Bits(samples[iValue] + noise);
    position += speed;
    if (position > wrapLimit) {
      position = 0;
    }
  }
  effectState.position = position;
  return frames;
}

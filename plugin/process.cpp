// The player's `process` callback: the mixer on the fastest path the processor has, over the read
// position the module keeps from block to block.

#include "noise/mixer.h"
#include "noise/mixer_paths.h"
#include "plugin/effect_state.h"
#include "plugin/module.h"

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

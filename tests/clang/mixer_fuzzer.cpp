// libFuzzer target for the mixer: the input sets the whole state (wild amount, speed, position
// and wrap limit included) and the block's shape, place and values. Under AddressSanitizer and
// UndefinedBehaviorSanitizer a read outside the table or an overflow ends the run; the checks
// below hold what the player relies on, and hold every SIMD path this processor runs to the
// reference loop, value for value and in the end position.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "noise/mixer.h"
#include "noise/mixer_paths.h"
#include "plugin/effect_state.h"
#include "plugin/module.h"

namespace {

void require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  // Any 32-bit setting at all, or one from the ranges where the SIMD paths do their work.
  const auto amount = input.ConsumeBool() ? input.ConsumeIntegral<std::int32_t>()
                                          : input.ConsumeIntegralInRange(-70000, 70000);
  const auto speed = input.ConsumeBool()   ? input.ConsumeIntegral<std::int32_t>()
                     : input.ConsumeBool() ? 256
                                           : input.ConsumeIntegralInRange(0, 1024);
  const auto wrapLimit =
      input.ConsumeBool() ? input.ConsumeIntegral<std::int32_t>() : fullWrapLimit;
  const auto position = input.ConsumeBool() ? input.ConsumeIntegral<std::int32_t>()
                                            : input.ConsumeIntegralInRange(0, fullWrapLimit);
  const auto bits = input.PickValueInArray<std::int32_t>({16, 16, 16, 8, 24, 32, 0, -16});
  const auto channels = input.ConsumeIntegralInRange<std::int32_t>(-2, 8);
  const auto frames = input.ConsumeIntegralInRange<std::int32_t>(-2, 70000);
  const std::int64_t valueCount = std::max<std::int64_t>(0, std::int64_t{frames} * channels);
  // Where the block starts within a 32-byte line, in values.
  const auto misalignment = input.ConsumeIntegralInRange<std::size_t>(0, 15);
  std::vector<std::int16_t> memory(misalignment + static_cast<std::size_t>(valueCount));
  for (std::int16_t& value : memory) {
    value = input.ConsumeIntegral<std::int16_t>();
  }

  effectState.amount = amount;
  effectState.speed = speed;
  effectState.wrapLimit = wrapLimit;
  effectState.position = position;
  std::vector<std::int16_t> expected = memory;
  const MixerSettings settings = mixerSettingsWithinLimits(amount, speed, wrapLimit);
  const std::int32_t start = startPositionWithin(position, settings);
  const bool mixes = bits == 16 && frames > 0 && channels > 0;
  const std::int32_t expectedEnd =
      mixes ? mixNoise(settings, start, expected.data() + misalignment, valueCount) : position;

  std::vector<std::int16_t> block = memory;
  require(process(nullptr, block.data() + misalignment, frames, bits, channels, 44100) == frames);
  // Other widths and empty blocks come back untouched, the position where it was; a 16-bit block
  // is the mix at the settings held to their limits, and the position stays inside the table.
  require(block == expected);
  require(effectState.position == expectedEnd);
  if (!mixes) {
    return 0;
  }
  require(expectedEnd >= 0 && expectedEnd <= settings.wrapLimit);
  for (MixerPath path : everyMixerPath) {
    if (mixerPathRuns(path)) {
      block = memory;
      require(mixNoiseOn(path, settings, start, block.data() + misalignment, valueCount) ==
              expectedEnd);
      require(block == expected);
    }
  }
  return 0;
}

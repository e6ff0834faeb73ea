// libFuzzer target for the mixer: the input sets the whole state (wild amount, speed, position
// and wrap limit included) and the block's shape and values. Under AddressSanitizer and
// UndefinedBehaviorSanitizer a read outside the table or an overflow ends the run; the checks
// below hold what the player relies on.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "noise/mixer.h"
#include "plugin/effect_state.h"

namespace {

void require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const auto amount = input.ConsumeIntegral<std::int32_t>();
  const auto speed = input.ConsumeIntegral<std::int32_t>();
  const auto wrapLimit = input.ConsumeIntegral<std::int32_t>();
  const auto position = input.ConsumeIntegral<std::int32_t>();
  const auto bits = input.PickValueInArray<std::int32_t>({16, 16, 16, 8, 24, 32, 0, -16});
  const auto channels = input.ConsumeIntegralInRange<std::int32_t>(-2, 8);
  const auto frames = input.ConsumeIntegralInRange<std::int32_t>(-2, 70000);
  const std::int64_t valueCount = std::max<std::int64_t>(0, std::int64_t{frames} * channels);
  std::vector<std::int16_t> block(static_cast<std::size_t>(valueCount));
  for (std::int16_t& value : block) {
    value = input.ConsumeIntegral<std::int16_t>();
  }

  effectState.amount = amount;
  effectState.speed = speed;
  effectState.wrapLimit = wrapLimit;
  effectState.position = position;
  std::vector<std::int16_t> expected = block;
  const MixerSettings settings = mixerSettingsWithinLimits(amount, speed, wrapLimit);
  const bool mixes = bits == 16 && frames > 0 && channels > 0;
  const std::int32_t expectedEnd =
      mixes
          ? mixNoise(settings, startPositionWithin(position, settings), expected.data(), valueCount)
          : position;

  require(process(nullptr, block.data(), frames, bits, channels, 44100) == frames);
  // Other widths and empty blocks come back untouched, the position where it was; a 16-bit block
  // is the mix at the settings held to their limits, and the position stays inside the table.
  require(block == expected);
  require(effectState.position == expectedEnd);
  if (mixes) {
    require(expectedEnd >= 0 && expectedEnd <= settings.wrapLimit);
  }
  return 0;
}

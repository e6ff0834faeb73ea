// Every SIMD path this processor runs, held to the reference loop on random blocks: any shape
// from 1 frame of 1 channel to 65,536 frames of 8, any alignment of the values, amounts, speeds,
// wrap limits and start positions from the slider's range to the settings file's wildest, changed
// from one block to the next. The limits are applied once, as `process` applies them; every
// value and the end position must match. Built natively, under the sanitizers, and for Windows.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <random>
#include <vector>

#include "noise/mixer_paths.h"

namespace {

class RandomMixerInput {
 public:
  explicit RandomMixerInput(std::uint32_t randomSeed) : random_(randomSeed) {}

  std::int32_t amount() { return oneIn(8) ? pick(edgeSettings) : between(-70000, 70000); }

  std::int32_t speed() {
    if (oneIn(8)) {
      return pick(edgeSettings);
    }
    if (oneIn(8)) {
      // Runs from the start of about one vector, where the paths hand over to the reference loop.
      return fullWrapLimit / between(1, 40) + between(-2, 2);
    }
    return oneIn(2) ? between(0, 600) : between(-70000, 70000);
  }

  std::int32_t wrapLimit() {
    if (oneIn(8)) {
      return pick({INT_MIN, -1, 0, 1, 255, 256, fullWrapLimit + 1, INT_MAX});
    }
    return oneIn(4) ? between(-1000, fullWrapLimit + 1000) : fullWrapLimit;
  }

  // Mostly where the last block left it, as in the player; sometimes anywhere, or a few steps
  // before the wrap.
  std::int32_t position(std::int32_t lastEnd, const MixerSettings& settings) {
    switch (between(0, 5)) {
      case 0:
        return pick({INT_MIN, -1, 0, settings.wrapLimit, settings.wrapLimit + 1, INT_MAX});
      case 1:
        return between(-1000, fullWrapLimit + 1000);
      case 2:
        return settings.wrapLimit - between(0, 40) * settings.speed;
      default:
        return lastEnd;
    }
  }

  std::int32_t frames() { return between(1, 1 << between(0, 16)); }
  std::int32_t channels() { return between(1, 8); }
  // Where the block starts within a 32-byte line, in values.
  std::int32_t misalignment() { return between(0, 15); }

  // Full-scale noise, or audio near the rails where the clamp decides.
  std::int16_t value() {
    const std::int32_t value = between(-32768, 32767);
    return static_cast<std::int16_t>(oneIn(4) ? (value < 0 ? -32768 : 32767) - value % 300 : value);
  }

 private:
  static constexpr std::int32_t edgeSettings[] = {
      INT_MIN, -65537, -65536, -65535, -32769,  -32768,        -32767, -257,  -256,
      -1,      0,      1,      255,    256,     257,           512,    32767, 32768,
      32769,   65535,  65536,  65537,  1 << 24, (1 << 24) + 1, INT_MAX};

  bool oneIn(std::int32_t chances) { return between(1, chances) == 1; }

  std::int32_t between(std::int32_t lowest, std::int32_t highest) {
    return std::uniform_int_distribution<std::int32_t>(lowest, highest)(random_);
  }

  template <std::size_t n>
  std::int32_t pick(const std::int32_t (&choices)[n]) {
    return choices[between(0, static_cast<std::int32_t>(n) - 1)];
  }
  std::int32_t pick(std::initializer_list<std::int32_t> choices) {
    return choices.begin()[between(0, static_cast<std::int32_t>(choices.size()) - 1)];
  }

  std::mt19937 random_;
};

TEST(MixerPaths, EveryPathGivesTheReferenceValuesAndEndPosition) {
  constexpr int blocksPerPath = 1000;
  for (MixerPath path : everyMixerPath) {
    if (path == MixerPath::reference) {
      continue;
    }
    if (!mixerPathRuns(path)) {
      std::printf("%s: not on this processor, not tested here\n", mixerPathName(path));
      continue;
    }
    std::printf("%s: %d random blocks against the reference\n", mixerPathName(path), blocksPerPath);
    RandomMixerInput input(/* random seed */ 10);
    std::int32_t lastEnd = 0;
    for (int iBlock = 0; iBlock < blocksPerPath; ++iBlock) {
      const std::int32_t amount = input.amount();
      const std::int32_t speed = input.speed();
      const MixerSettings settings = mixerSettingsWithinLimits(amount, speed, input.wrapLimit());
      const std::int32_t position =
          startPositionWithin(input.position(lastEnd, settings), settings);
      const std::int32_t channels = input.channels();
      const std::int64_t count = std::int64_t{input.frames()} * channels;
      const std::int32_t misalignment = input.misalignment();

      std::vector<std::int16_t> block(static_cast<std::size_t>(count + misalignment));
      for (std::int16_t& value : block) {
        value = input.value();
      }
      std::vector<std::int16_t> expected = block;
      const std::int32_t expectedEnd =
          mixNoise(settings, position, expected.data() + misalignment, count);
      const std::int32_t end =
          mixNoiseOn(path, settings, position, block.data() + misalignment, count);

      const auto what = [&] {
        return testing::Message() << mixerPathName(path) << ", block " << iBlock << ": " << count
                                  << " values (" << channels << " channels) from value "
                                  << misalignment << ", amount " << amount << " ("
                                  << settings.amount << "), speed " << speed << " ("
                                  << settings.speed << "), wrap limit " << settings.wrapLimit
                                  << ", start " << position;
      };
      ASSERT_EQ(end, expectedEnd) << what();
      for (std::size_t i = 0; i < block.size(); ++i) {
        ASSERT_EQ(block[i], expected[i]) << what() << "; value " << i;
      }
      lastEnd = end;
    }
  }
}

}  // namespace

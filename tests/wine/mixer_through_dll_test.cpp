// The mixer as the player reaches it: through the DLL's own `process`, after its `initialise`.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "noise/mixer_paths.h"
#include "noise/noise_table.h"
#include "plugin/names.h"
#include "plugin_host.h"
#include "stack_offset_call.h"

namespace {

class MixerThroughDll : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plugin.load(folder.file(libraryFileName))); }

  void startWith(int amount, int speed) {
    writeTextFile(folder.file("plugin.ini"),
                  "[Tallowick's Crackleton v1.0]\r\nvinyl_speed=" + std::to_string(speed) +
                      "\r\nvinyl_amount=" + std::to_string(amount) + "\r\n");
    ASSERT_EQ(plugin.module->initialise(plugin.module), 0);
  }

  std::vector<std::int16_t> mix(std::vector<std::int16_t> block, int channels, int bits = 16) {
    const int frames = static_cast<int>(block.size()) / channels;
    EXPECT_EQ(plugin.module->process(plugin.module, block.data(), frames, bits, channels, 44100),
              frames);
    return block;
  }

  TempFolder folder;
  LoadedPlugin plugin;
};

TEST_F(MixerThroughDll, WorkedBlocks) {
  startWith(256, 256);
  EXPECT_EQ(mix({1000, 1000, 1000, 1000, 1000}, 1),
            (std::vector<std::int16_t>{1000, 1000, 929, 860, 793}));
  startWith(128, 256);
  EXPECT_EQ(mix({1000, 1000, 1000, 1000, 1000}, 1),
            (std::vector<std::int16_t>{1000, 1000, 965, 930, 897}));
  startWith(256, 128);
  EXPECT_EQ(mix(std::vector<std::int16_t>(8, 0), 2),
            (std::vector<std::int16_t>{0, 0, 0, 0, -71, -71, -140, -140}));
}

TEST_F(MixerThroughDll, SilenceGivesTheLoopedTableAcrossBlocks) {
  startWith(256, 256);
  std::vector<std::int16_t> played;
  for (int iBlock = 0; iBlock < 220; ++iBlock) {  // 220 stereo blocks of 576 frames: 2 loops
    auto block = mix(std::vector<std::int16_t>(2 * 576, 0), 2);
    played.insert(played.end(), block.begin(), block.end());
  }
  for (std::size_t i = 0; i < played.size(); ++i) {
    ASSERT_EQ(played[i], noiseTable[i % playedEntryCount]) << "value " << i;
  }
}

TEST_F(MixerThroughDll, OtherSampleWidthsPassUntouched) {
  startWith(256, 256);
  const std::vector<std::int16_t> original(64, 1234);
  for (int bits : {8, 24, 32}) {
    EXPECT_EQ(mix(original, 2, bits), original) << bits << " bits";
  }
  // The position did not move: the next 16-bit block starts at entry 0.
  EXPECT_EQ(mix({0, 0, 0}, 1), (std::vector<std::int16_t>{0, 0, -71}));
}

TEST_F(MixerThroughDll, InitialiseStartsTheLoopAgain) {
  startWith(256, 256);
  mix(std::vector<std::int16_t>(1001, 0), 1);
  startWith(256, 256);
  EXPECT_EQ(mix({0, 0, 0, 0}, 1), (std::vector<std::int16_t>{0, 0, -71, -140}));
}

// The player's threads call `process` with whatever stack alignment they have, on blocks at any
// address. From every stack offset a 32-bit player may give, on blocks big enough for the SIMD
// paths and at odd addresses, the DLL's `process` and every SIMD path this processor runs (from
// the core built as the DLL's is) give the reference loop's values and end position.
TEST_F(MixerThroughDll, RandomBlocksFromAnyStackAlignmentMatchTheReference) {
  std::mt19937 random(/* random seed */ 10);
  const auto between = [&](std::int32_t lowest, std::int32_t highest) {
    return std::uniform_int_distribution<std::int32_t>(lowest, highest)(random);
  };
  const std::int32_t edgeSettings[] = {INT_MIN, -65537, -1, 0, 256, 512, 65535, 65537, INT_MAX};
  for (std::uint32_t offset : stackOffsets) {
    for (int iSetting = 0; iSetting < 10; ++iSetting) {
      const std::int32_t amount =
          iSetting < 3 ? edgeSettings[between(0, 8)] : between(-70000, 70000);
      const std::int32_t speed = iSetting % 2 == 0 ? between(0, 600) : edgeSettings[between(0, 8)];
      startWith(amount, speed);
      const MixerSettings settings = mixerSettingsWithinLimits(amount, speed, fullWrapLimit);
      std::int32_t position = 0;
      for (int iBlock = 0; iBlock < 4; ++iBlock) {
        const std::int32_t channels = between(1, 8);
        const std::int32_t frames = between(576, 8192);
        const std::size_t count = static_cast<std::size_t>(frames) * channels;
        std::vector<std::int16_t> audio(count);
        for (std::int16_t& value : audio) {
          value = static_cast<std::int16_t>(between(-32768, 32767));
        }
        std::vector<std::int16_t> expected = audio;
        const std::int32_t expectedEnd =
            mixNoise(settings, position, expected.data(), static_cast<std::int64_t>(count));

        // One byte in, so the values sit at an odd address.
        std::vector<char> bytes(count * 2 + 1);
        const auto oddValues = reinterpret_cast<std::int16_t*>(bytes.data() + 1);
        const auto what = [&] {
          return testing::Message() << "stack offset " << offset << ", amount " << amount
                                    << ", speed " << speed << ", block " << iBlock << " of "
                                    << frames << " frames of " << channels << " channels";
        };
        std::memcpy(oddValues, audio.data(), count * 2);
        ASSERT_EQ(processFromStackOffBy(offset, plugin.module, oddValues, frames, channels),
                  frames);
        ASSERT_EQ(std::memcmp(oddValues, expected.data(), count * 2), 0) << "process, " << what();

        for (MixerPath path : everyMixerPath) {
          if (path == MixerPath::reference || !mixerPathRuns(path)) {
            continue;
          }
          std::memcpy(oddValues, audio.data(), count * 2);
          EXPECT_EQ(mixNoiseOnFromStackOffBy(offset, path, settings, position, oddValues,
                                             static_cast<std::int64_t>(count)),
                    expectedEnd)
              << mixerPathName(path) << ", " << what();
          ASSERT_EQ(std::memcmp(oddValues, expected.data(), count * 2), 0)
              << mixerPathName(path) << ", " << what();
        }
        position = expectedEnd;
      }
    }
  }
}

}  // namespace

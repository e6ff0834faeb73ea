// The mixer as the player reaches it: through the DLL's own `process`, after its `initialise`.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "noise/noise_table.h"
#include "plugin_host.h"

namespace {

class MixerThroughDll : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plugin.load(folder.file("dsp_crackleton.dll"))); }

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

}  // namespace

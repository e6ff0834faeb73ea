// The mixer on its own: the worked blocks, the loop, block splitting, what passes untouched,
// clamping, and whatever wild settings a hand-edited plugin.ini can bring.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "noise/mixer.h"
#include "plugin/effect_state.h"
#include "plugin/module.h"

namespace {

using Block = std::vector<std::int16_t>;

void startWith(std::int32_t amount, std::int32_t speed) {
  startEffectState(amount, speed);
}

Block mix(Block block, std::int32_t channels = 1) {
  const auto frames = static_cast<std::int32_t>(block.size()) / channels;
  EXPECT_EQ(process(nullptr, block.data(), frames, 16, channels, 44100), frames);
  return block;
}

// What the mixer should make of silence at speed 256: the table scaled, from entry `first`.
Block scaledTable(std::int32_t amount, std::size_t count, std::size_t first = 0) {
  Block expected;
  for (std::size_t i = 0; i < count; ++i) {
    expected.push_back(
        static_cast<std::int16_t>(noiseTable[(first + i) % playedEntryCount] * amount / 256));
  }
  return expected;
}

TEST(Mixer, WorkedBlocks) {
  startWith(256, 256);
  EXPECT_EQ(mix({1000, 1000, 1000, 1000, 1000}), (Block{1000, 1000, 929, 860, 793}));
  EXPECT_EQ(effectState.position, 1280);

  startWith(128, 256);
  EXPECT_EQ(mix({1000, 1000, 1000, 1000, 1000}), (Block{1000, 1000, 965, 930, 897}));

  // At half speed both values of a stereo frame read the same entry.
  startWith(256, 128);
  EXPECT_EQ(mix(Block(8, 0), 2), (Block{0, 0, 0, 0, -71, -71, -140, -140}));
  EXPECT_EQ(effectState.position, 1024);
}

TEST(Mixer, SilenceGivesTheTableScaledAndTruncatedTowardZero) {
  startWith(256, 256);
  EXPECT_EQ(mix(Block(5000, 0)), scaledTable(256, 5000));

  // -71 × 255 / 256 is -70.7: the noise is -70, not -71.
  startWith(255, 256);
  Block block = mix(Block(3, 0));
  EXPECT_EQ(block[2], -70);
  EXPECT_EQ(mix(Block(5000, 0)), scaledTable(255, 5000, 3));
}

TEST(Mixer, LoopsAfterEntry60417AndStartsAgainAtZero) {
  startWith(256, 256);
  Block firstPass = mix(Block(playedEntryCount, 0));
  EXPECT_EQ(effectState.position, 0) << "60,418 values fill one loop exactly";
  EXPECT_EQ(firstPass, scaledTable(256, playedEntryCount));
  EXPECT_EQ(mix(Block(playedEntryCount, 0)), firstPass);

  // At double speed the loop is 30,209 values: even entries 0..60,416, then the overshoot is
  // discarded and entry 0 comes next.
  startWith(256, 512);
  Block doubleSpeed = mix(Block(30210, 0));
  for (std::size_t i = 0; i < 30209; ++i) {
    ASSERT_EQ(doubleSpeed[i], noiseTable[2 * i]) << "value " << i;
  }
  EXPECT_EQ(doubleSpeed[30209], noiseTable[0]);
  EXPECT_EQ(effectState.position, 512);

  // A speed that does not divide the table: the position returns to exactly 0, not the remainder.
  startWith(256, 300);
  mix(Block(fullWrapLimit / 300 + 1, 0));
  EXPECT_EQ(effectState.position, 0);
}

TEST(Mixer, OneLongBlockEqualsTheSameAudioInUnevenBlocks) {
  Block audio(200000);
  for (std::size_t i = 0; i < audio.size(); ++i) {
    audio[i] = static_cast<std::int16_t>((i * 7919) % 65536 - 32768);
  }
  for (std::int32_t speed : {1, 256, 333, 512}) {
    startWith(300, speed);
    Block whole = mix(audio, 2);

    startWith(300, speed);
    Block pieces = audio;
    const std::int32_t frameCounts[] = {1, 575, 576, 4096, 3, 31337};
    std::size_t frame = 0;
    for (std::size_t iBlock = 0; frame < pieces.size() / 2; ++iBlock) {
      const auto frames = std::min<std::size_t>(frameCounts[iBlock % 6], pieces.size() / 2 - frame);
      process(nullptr, pieces.data() + 2 * frame, static_cast<std::int32_t>(frames), 16, 2, 48000);
      frame += frames;
    }
    EXPECT_EQ(pieces, whole) << "speed " << speed;
  }
}

TEST(Mixer, LeavesBlockAndPositionAloneWhenThereIsNothingToMix) {
  const Block original = {1, 2, 3, 4, 5, 6, 7, 8};
  struct Case {
    std::int32_t frames, bitsPerSample, channels;
  };
  for (Case c : {Case{4, 8, 2}, Case{2, 24, 2}, Case{2, 32, 2}, Case{0, 16, 2}, Case{4, 16, 0},
                 Case{-1, 16, 2}, Case{4, 16, -2}, Case{-4, 16, -2}}) {
    startWith(256, 256);
    effectState.position = 5 * 256;
    Block block = original;
    EXPECT_EQ(process(nullptr, block.data(), c.frames, c.bitsPerSample, c.channels, 44100),
              c.frames);
    EXPECT_EQ(block, original) << c.frames << " frames, " << c.bitsPerSample << " bits, "
                               << c.channels << " channels";
    EXPECT_EQ(effectState.position, 5 * 256);
  }
}

TEST(Mixer, AmountZeroLeavesAudioAloneButStillMoves) {
  startWith(0, 256);
  Block audio = {123, -32768, 32767, 0, 9};
  EXPECT_EQ(mix(audio), audio);
  EXPECT_EQ(effectState.position, 5 * 256);
}

TEST(Mixer, SpeedZeroHoldsTheEntryItStoppedAt) {
  startWith(256, 0);
  EXPECT_EQ(mix(Block(100, 500)), Block(100, 500)) << "entry 0 is silent";

  startWith(256, 256);
  mix(Block(3, 0));
  effectState.speed = 0;
  EXPECT_EQ(mix(Block(4, 0)), Block(4, -140)) << "entry 3, again and again";
  EXPECT_EQ(effectState.position, 3 * 256);
}

TEST(Mixer, ClampsTheSumToSixteenBits) {
  startWith(256, 0);
  effectState.position = 100 * 256;  // entry 951
  EXPECT_EQ(mix({32000, 31816, 31817, -32768}), (Block{32767, 32767, 32767, -31817}));

  effectState.position = 4 * 256;  // entry -207
  EXPECT_EQ(mix({-32000, -32561, -32562, 32767}), (Block{-32207, -32768, -32768, 32560}));

  // Amount 512 doubles the largest entry, 17,672, to 35,344: far past the top.
  startWith(512, 0);
  effectState.position = 47436 * 256;
  ASSERT_EQ(noiseTable[47436], 17672);
  EXPECT_EQ(mix({-32768, -2576, -2577, 0}), (Block{2576, 32767, 32767, 32767}));
}

// plugin.ini can hold anything; the mixer must stay inside entries 0..60,417 and never overflow.
// These run under the sanitizers too.
TEST(Mixer, WildSettingsStayInsideTheTableAndNeverOverflow) {
  const std::int32_t wild[] = {INT_MIN, -65537, -1, 0, 1, 512, 513, 65535, 65536, 65537, INT_MAX};
  for (std::int32_t amount : wild) {
    for (std::int32_t speed : wild) {
      startWith(amount, speed);
      Block block(70000, 32767);
      mix(block, 2);
      EXPECT_GE(effectState.position, 0);
      EXPECT_LE(effectState.position, fullWrapLimit);
    }
  }

  // A negative speed holds the position rather than walking off the front of the table.
  startWith(256, -1);
  effectState.position = 3 * 256;
  EXPECT_EQ(mix(Block(3, 0)), Block(3, -140));
  EXPECT_EQ(effectState.position, 3 * 256);

  // The largest amount in use is 256 times the table: entry -71 gives -18,176.
  startWith(INT_MAX, 0);
  effectState.position = 2 * 256;
  EXPECT_EQ(mix({0}), Block{-18176});
  startWith(INT_MIN, 0);
  effectState.position = 2 * 256;
  EXPECT_EQ(mix({0}), Block{18176});

  // A speed past the whole table wraps to 0 at every step, as any speed above 15,466,752 does.
  startWith(256, INT_MAX);
  EXPECT_EQ(mix(Block(4, 7)), Block(4, 7));
  EXPECT_EQ(effectState.position, 0);
}

TEST(Mixer, WithoutInitialiseStaysAtTheFirstEntry) {
  // As loaded, before initialise: the wrap limit is 0.
  startWith(256, 256);
  effectState.wrapLimit = 0;
  EXPECT_EQ(mix(Block(10, 5)), Block(10, 5));
  EXPECT_EQ(effectState.position, 0);

  startWith(256, 256);
  effectState.position = -5;  // never made by the mixer; treated as the start
  EXPECT_EQ(mix(Block(3, 0)), (Block{0, 0, -71}));
}

}  // namespace

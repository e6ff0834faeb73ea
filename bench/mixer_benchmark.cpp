// Prints how fast the mixer runs: nanoseconds per sample value and the multiple of real time for a
// 44.1 kHz stereo stream, over blocks of the player's usual 576 frames.
//
//   build/native/bin/mixer_benchmark

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "noise/mixer.h"
#include "plugin/effect_state.h"

int main() {
  constexpr std::int32_t framesPerBlock = 576;
  constexpr std::int32_t channels = 2;
  constexpr int blockCount = 200000;  // about 43 minutes of audio

  std::vector<std::int16_t> block(framesPerBlock * channels);
  startEffectState(256, 256);

  std::int64_t checksum = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int iBlock = 0; iBlock < blockCount; ++iBlock) {
    for (std::size_t i = 0; i < block.size(); ++i) {
      block[i] = static_cast<std::int16_t>((iBlock * 31 + i * 7) & 0x3FFF);
    }
    process(nullptr, block.data(), framesPerBlock, 16, channels, 44100);
    checksum += block[iBlock % block.size()];
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  const double values = double(blockCount) * framesPerBlock * channels;
  const double audioSeconds = double(blockCount) * framesPerBlock / 44100.0;
  std::printf("blocks of %d stereo frames: %d\n", framesPerBlock, blockCount);
  std::printf("sample values mixed:       %.0f in %.3f s (block refill included)\n", values, seconds);
  std::printf("per value:                 %.2f ns\n", seconds * 1e9 / values);
  std::printf("speed:                     %.0f x real time at 44.1 kHz stereo\n",
              audioSeconds / seconds);
  std::printf("memory:                    no allocation; table %zu bytes, state %zu bytes\n",
              sizeof(noiseTable), sizeof(EffectState));
  std::printf("(checksum %lld)\n", static_cast<long long>(checksum));
  return 0;
}

// Prints how fast the mixer runs on this processor in this build: nanoseconds per sample value for
// the reference loop, each SIMD path the processor has and a memcpy of the same block, with each
// one's multiple of the reference, as rows of a Markdown table. Blocks of the player's usual 576
// stereo frames, and one block of a million values, at five amount/speed settings.
//
//   mixer_benchmark
//
// Each block is mixed again and again, never refilled: the mixer's work does not depend on the
// values. Each figure is the best of several timed stretches, as other programs share the
// processor. Before any timing, every path must give the reference loop's values and end
// position; the program fails if one does not, as a fast wrong answer is worth nothing.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

#include "noise/mixer_paths.h"

namespace {

#if defined(_WIN32) && defined(__i386__)
constexpr const char* buildName = "win32";
#else
constexpr const char* buildName = "native";
#endif

struct BlockShape {
  const char* name;
  std::int64_t valueCount;
};

struct Setting {
  std::int32_t amount;
  std::int32_t speed;
};

constexpr BlockShape blockShapes[] = {{"576 x 2", 576 * 2}, {"1,000,000", 1000000}};
constexpr Setting settings[] = {{256, 256}, {128, 384}, {512, 512}, {0, 256}, {300, 300}};

constexpr double secondsPerStretch = 0.02;
constexpr int stretches = 7;

// The best nanoseconds per value of `work`, a call that handles `valueCount` values.
template <typename Work>
double nanosecondsPerValue(std::int64_t valueCount, Work work) {
  using Clock = std::chrono::steady_clock;
  std::int64_t callsPerStretch = 1;
  // As many calls as fill one stretch, found by doubling.
  for (;;) {
    const auto start = Clock::now();
    for (std::int64_t iCall = 0; iCall < callsPerStretch; ++iCall) {
      work();
    }
    if (std::chrono::duration<double>(Clock::now() - start).count() >= secondsPerStretch) {
      break;
    }
    callsPerStretch *= 2;
  }
  double best = 1e30;
  for (int iStretch = 0; iStretch < stretches; ++iStretch) {
    const auto start = Clock::now();
    for (std::int64_t iCall = 0; iCall < callsPerStretch; ++iCall) {
      work();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    best = std::min(best, seconds * 1e9 / (double(callsPerStretch) * double(valueCount)));
  }
  return best;
}

// Keeps the compiler from dropping or merging copies whose result nothing reads.
void keep(const void* memory) {
  __asm__ volatile("" : : "r"(memory) : "memory");
}

void printCell(double nanoseconds, double referenceNanoseconds) {
  std::printf(" %.3f ns (%.1fx) |", nanoseconds, referenceNanoseconds / nanoseconds);
}

// Whether `path` mixes `source` as the reference loop does, from several start positions.
bool agreesWithReference(MixerPath path, const MixerSettings& mixer,
                         const std::vector<std::int16_t>& source) {
  for (std::int32_t start : {0, 1, mixer.wrapLimit / 2, mixer.wrapLimit}) {
    std::vector<std::int16_t> expected = source;
    std::vector<std::int16_t> actual = source;
    const auto count = static_cast<std::int64_t>(source.size());
    if (mixNoise(mixer, start, expected.data(), count) !=
            mixNoiseOn(path, mixer, start, actual.data(), count) ||
        expected != actual) {
      return false;
    }
  }
  return true;
}

}  // namespace

int main() {
  std::printf("| build | block (values) | amount/speed |");
  for (MixerPath path : everyMixerPath) {
    std::printf(" %s |", mixerPathName(path));
  }
  std::printf(" memcpy |\n|---|---|---|");
  for (std::size_t iPath = 0; iPath < std::size(everyMixerPath); ++iPath) {
    std::printf("---|");
  }
  std::printf("---|\n");

  for (const BlockShape& shape : blockShapes) {
    std::vector<std::int16_t> block(static_cast<std::size_t>(shape.valueCount));
    for (std::size_t i = 0; i < block.size(); ++i) {
      block[i] = static_cast<std::int16_t>((i * 7919) & 0x3FFF);
    }
    const std::vector<std::int16_t> source = block;
    for (const Setting& setting : settings) {
      const MixerSettings mixer =
          mixerSettingsWithinLimits(setting.amount, setting.speed, fullWrapLimit);
      std::printf("| %s | %s | %d/%d |", buildName, shape.name, setting.amount, setting.speed);
      double referenceNanoseconds = 0;
      for (MixerPath path : everyMixerPath) {
        if (!mixerPathRuns(path)) {
          std::printf(" - |");
          continue;
        }
        if (!agreesWithReference(path, mixer, source)) {
          std::printf("\n%s: the %s path does not give the reference loop's values at %d/%d\n",
                      buildName, mixerPathName(path), setting.amount, setting.speed);
          return 1;
        }
        // The position runs on from block to block, as in playback.
        std::int32_t position = 0;
        const double nanoseconds = nanosecondsPerValue(shape.valueCount, [&] {
          position = mixNoiseOn(path, mixer, position, block.data(), shape.valueCount);
        });
        if (path == MixerPath::reference) {
          referenceNanoseconds = nanoseconds;
        }
        printCell(nanoseconds, referenceNanoseconds);
      }
      printCell(nanosecondsPerValue(shape.valueCount,
                                    [&] {
                                      std::memcpy(block.data(), source.data(),
                                                  block.size() * sizeof block[0]);
                                      keep(block.data());
                                    }),
                referenceNanoseconds);
      std::printf("\n");
      std::fflush(stdout);
    }
  }
  return 0;
}

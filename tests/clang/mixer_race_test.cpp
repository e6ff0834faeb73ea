// The mixer while other threads change the settings and start the state again, as the settings
// window and `initialise` do on the player's main thread while its audio thread mixes. Built with
// ThreadSanitizer: any data race is a report, and the run fails.
//
// Usage: mixer_race_test SECONDS

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "noise/mixer.h"
#include "plugin/effect_state.h"
#include "plugin/module.h"

int main(int argumentCount, char** arguments) {
  const double seconds = argumentCount > 1 ? std::atof(arguments[1]) : 2;
  std::atomic<bool> stopping{false};

  // The settings window: the sliders move, and a hand-edited file's wild values come by too.
  std::thread settingsWindow([&] {
    std::mt19937 random(1);
    while (!stopping) {
      effectState.amount.store(static_cast<std::int32_t>(random() % 513),
                               std::memory_order_relaxed);
      effectState.speed.store(random() % 16 == 0 ? static_cast<std::int32_t>(random())
                                                 : static_cast<std::int32_t>(random() % 513),
                              std::memory_order_relaxed);
    }
  });
  // The player starting the module again.
  std::thread player([&] {
    std::mt19937 random(2);
    while (!stopping) {
      startEffectState(static_cast<std::int32_t>(random() % 513),
                       static_cast<std::int32_t>(random() % 513));
    }
  });

  std::mt19937 random(3);
  // Small blocks, so that the block's start and end, where the mixer meets the shared state,
  // come often.
  std::vector<std::int16_t> block(2 * 256);
  long blocks = 0;
  int failures = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    const auto frames = static_cast<std::int32_t>(1 + random() % 256);
    std::generate(block.begin(), block.end(), [&] { return static_cast<std::int16_t>(random()); });
    if (process(nullptr, block.data(), frames, 16, 2, 44100) != frames) {
      ++failures;
    }
    const std::int32_t position = effectState.position.load(std::memory_order_relaxed);
    if (position < 0 || position > fullWrapLimit) {
      ++failures;
    }
    ++blocks;
  }
  stopping = true;
  settingsWindow.join();
  player.join();
  std::printf("mixer_race_test: %ld blocks mixed while the settings changed: %s\n", blocks,
              failures == 0 ? "no failure" : "FAILED");
  return failures == 0 ? 0 : 1;
}

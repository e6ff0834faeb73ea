#pragma once

// Blocks handed to the plug-in the way an odd player's audio threads hand them over: any frame
// count from 0 to 65,536, 1 to 8 channels, every sample width, odd addresses, and a guard page
// right after the block. What comes back is checked at once where it can be (the frame count,
// untouched bytes around the block and in blocks of other widths); 16-bit blocks are kept, to be
// explained afterwards against the model mixer.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "plugin/module.h"
#include "tools/dspval/settings_timeline.h"

struct MixedBlock {
  std::uint64_t order = 0;  // when it was handed over, among all blocks of the session
  std::uint64_t firstMoment = 0, lastMoment = 0;  // of the settings timeline, around the call
  std::uint64_t inputKey = 0;                     // makes its input again
  std::int64_t valueCount = 0;
  std::vector<std::int16_t> output;
};

struct AudioFindings {
  std::vector<MixedBlock> blocks;
  std::vector<std::string> failures;
  std::uint64_t blockCount = 0;
  std::uint64_t valueCount = 0;

  void add(AudioFindings&& other);
};

// Memory for the largest block (65,536 frames of 8 channels of 32 bits) that ends right at a page
// the plug-in may not touch.
class GuardedMemory {
 public:
  GuardedMemory();
  ~GuardedMemory();
  GuardedMemory(const GuardedMemory&) = delete;
  GuardedMemory& operator=(const GuardedMemory&) = delete;

  // Room for `bytes` ending at the guard page, or one byte short of it so that 16-bit values
  // start at an odd address; the bytes around it are marked.
  unsigned char* place(std::size_t bytes, bool oddAddress);
  // The marks around the last placed block are as they were.
  bool surroundingsUntouched() const;

 private:
  unsigned char* base_ = nullptr;
  unsigned char* guard_ = nullptr;
  unsigned char* block_ = nullptr;
  std::size_t bytes_ = 0;
};

// What the audio threads share.
struct AudioContext {
  EffectModule* module = nullptr;
  const SettingsTimeline* timeline = nullptr;
  std::atomic<std::uint64_t>* nextOrder = nullptr;
  // How many more 16-bit values may be kept for explaining; past it blocks are still checked
  // but not kept.
  std::atomic<std::int64_t>* valuesLeftToKeep = nullptr;
};

// Hands `process` one random block and checks what it can at once.
void mixOneBlock(const AudioContext& context, std::mt19937& random, GuardedMemory& memory,
                 AudioFindings& findings);

// Audio threads mixing random blocks until stopped.
class AudioThreads {
 public:
  ~AudioThreads() { stop(); }
  void start(const AudioContext& context, int threadCount, std::uint32_t randomStart);
  // Joins them and adds what they found to `findings`.
  void stop();
  bool running() const { return !threads_.empty(); }
  AudioFindings findings;

 private:
  std::atomic<bool> stopping_{false};
  std::vector<std::thread> threads_;
  std::vector<AudioFindings> perThread_;
};

// Explains every kept block by one amount, speed and wrap limit the timeline allows for it and
// one start position that the blocks around it could have left, against the model mixer.
// Adds a line to `failures` for the first block nothing explains.
void explainBlocks(std::vector<MixedBlock> blocks, const SettingsTimeline& timeline,
                   std::vector<std::string>& failures);

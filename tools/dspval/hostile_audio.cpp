#include "tools/dspval/hostile_audio.h"

#include <algorithm>
#include <cstring>

#include "noise/mixer.h"

namespace {

constexpr std::int32_t largestFrames = 65536;
constexpr std::int32_t largestChannels = 8;
constexpr std::size_t largestBlockBytes = std::size_t{largestFrames} * largestChannels * 4;
constexpr std::size_t markedBytesBefore = 64;
constexpr unsigned char markBefore = 0xA5;
constexpr unsigned char markAfter = 0x5A;
// Blocks on either side, in the order they were handed over, whose end may be another's start:
// a thread held up between taking its number and reading the position may see the end of a block
// numbered well after its own, as other threads mix small blocks meanwhile.
constexpr std::size_t neighbourhood = 64;
// The most start or end positions kept for one block: at amount 0 any start explains a block.
constexpr std::size_t mostPositions = 4096;

std::uint64_t mixBits(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Loud, quiet, near the clipping points, or silent: the key says which.
std::int16_t inputValue(std::uint64_t key, std::int64_t iValue) {
  const std::uint64_t bits =
      mixBits(key ^ (static_cast<std::uint64_t>(iValue) * 0x9E3779B97F4A7C15ull));
  switch (key & 3) {
    case 0:
      return static_cast<std::int16_t>(bits);
    case 1:
      return static_cast<std::int16_t>(static_cast<std::int32_t>(bits % 4096) - 2048);
    case 2:
      return static_cast<std::int16_t>((bits & 1 ? 32767 : -32768) -
                                       (bits >> 1) % 700 * (bits & 1 ? 1 : -1));
    default:
      return 0;
  }
}

void makeInput(std::uint64_t key, std::int16_t* values, std::int64_t count) {
  for (std::int64_t iValue = 0; iValue < count; ++iValue) {
    values[iValue] = inputValue(key, iValue);
  }
}

void makeBytes(std::uint64_t key, unsigned char* bytes, std::size_t count) {
  for (std::size_t iByte = 0; iByte < count; ++iByte) {
    bytes[iByte] = static_cast<unsigned char>(mixBits(key + iByte));
  }
}

// Mostly the player's usual blocks; now and then an empty one or the largest.
std::int32_t randomFrames(std::mt19937& random) {
  switch (random() % 8) {
    case 0:
      return 0;
    case 1:
      return 576;
    case 2:
      return static_cast<std::int32_t>(random() % (largestFrames + 1));
    case 3:
      return largestFrames;
    default:
      return static_cast<std::int32_t>(1 + random() % 2048);
  }
}

std::int32_t randomBits(std::mt19937& random) {
  static const std::int32_t otherWidths[] = {8, 24, 32};
  return random() % 4 == 0 ? otherWidths[random() % 3] : 16;
}

}  // namespace

void AudioFindings::add(AudioFindings&& other) {
  std::move(other.blocks.begin(), other.blocks.end(), std::back_inserter(blocks));
  std::move(other.failures.begin(), other.failures.end(), std::back_inserter(failures));
  blockCount += other.blockCount;
  valueCount += other.valueCount;
}

GuardedMemory::GuardedMemory() {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const std::size_t page = system.dwPageSize;
  const std::size_t usable = (largestBlockBytes + markedBytesBefore + 1 + page - 1) / page * page;
  base_ = static_cast<unsigned char*>(
      VirtualAlloc(nullptr, usable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  guard_ = base_ + usable;
  DWORD previous = 0;
  VirtualProtect(guard_, page, PAGE_NOACCESS, &previous);
}

GuardedMemory::~GuardedMemory() {
  VirtualFree(base_, 0, MEM_RELEASE);
}

unsigned char* GuardedMemory::place(std::size_t bytes, bool oddAddress) {
  bytes_ = bytes;
  block_ = guard_ - (oddAddress ? 1 : 0) - bytes;
  std::memset(block_ - markedBytesBefore, markBefore, markedBytesBefore);
  if (oddAddress) {
    guard_[-1] = markAfter;
  }
  return block_;
}

bool GuardedMemory::surroundingsUntouched() const {
  for (const unsigned char* mark = block_ - markedBytesBefore; mark < block_; ++mark) {
    if (*mark != markBefore) {
      return false;
    }
  }
  return block_ + bytes_ == guard_ || block_[bytes_] == markAfter;
}

void mixOneBlock(const AudioContext& context, std::mt19937& random, GuardedMemory& memory,
                 AudioFindings& findings) {
  const std::int32_t frames = randomFrames(random);
  const std::int32_t channels = static_cast<std::int32_t>(1 + random() % largestChannels);
  const std::int32_t bits = randomBits(random);
  const std::int64_t valueCount = std::int64_t{frames} * channels;
  const std::size_t bytes = static_cast<std::size_t>(valueCount) * (bits / 8);
  const std::uint64_t key = (std::uint64_t{random()} << 32) | random();
  unsigned char* block = memory.place(bytes, random() % 2 == 0);
  const std::string shape = std::to_string(frames) + " frames of " + std::to_string(channels) +
                            " channels of " + std::to_string(bits) + " bits";
  if (bits == 16) {
    std::vector<std::int16_t> input(static_cast<std::size_t>(valueCount));
    makeInput(key, input.data(), valueCount);
    std::memcpy(block, input.data(), bytes);
  } else {
    makeBytes(key, block, bytes);
  }

  MixedBlock mixed;
  mixed.order = context.nextOrder->fetch_add(1);
  mixed.firstMoment = context.timeline->moment();
  const std::int32_t returned = context.module->process(
      context.module, reinterpret_cast<std::int16_t*>(block), frames, bits, channels, 44100);
  mixed.lastMoment = context.timeline->moment();
  ++findings.blockCount;
  findings.valueCount += static_cast<std::uint64_t>(valueCount);

  if (returned != frames) {
    findings.failures.push_back("process returned " + std::to_string(returned) + " for " + shape);
  }
  if (!memory.surroundingsUntouched()) {
    findings.failures.push_back("process wrote outside a block of " + shape);
  }
  if (bits != 16) {
    std::vector<unsigned char> expected(bytes);
    makeBytes(key, expected.data(), bytes);
    if (std::memcmp(expected.data(), block, bytes) != 0) {
      findings.failures.push_back("process changed a block of " + shape);
    }
    return;
  }
  if (valueCount == 0) {
    return;
  }
  if (context.valuesLeftToKeep->fetch_sub(valueCount) < valueCount) {
    return;
  }
  mixed.inputKey = key;
  mixed.valueCount = valueCount;
  mixed.output.resize(static_cast<std::size_t>(valueCount));
  std::memcpy(mixed.output.data(), block, bytes);
  findings.blocks.push_back(std::move(mixed));
}

void AudioThreads::start(const AudioContext& context, int threadCount, std::uint32_t randomStart) {
  stop();
  stopping_ = false;
  perThread_.assign(static_cast<std::size_t>(threadCount), AudioFindings{});
  for (int iThread = 0; iThread < threadCount; ++iThread) {
    threads_.emplace_back([this, context, iThread, randomStart] {
      std::mt19937 random(randomStart + static_cast<std::uint32_t>(iThread));
      GuardedMemory memory;
      while (!stopping_.load()) {
        mixOneBlock(context, random, memory, perThread_[static_cast<std::size_t>(iThread)]);
      }
    });
  }
}

void AudioThreads::stop() {
  stopping_ = true;
  for (std::thread& thread : threads_) {
    thread.join();
  }
  threads_.clear();
  for (AudioFindings& found : perThread_) {
    findings.add(std::move(found));
  }
  perThread_.clear();
}

namespace {

// Where the position stands after `count` values from `position`, without mixing them.
std::int32_t positionAfter(const MixerSettings& mixer, std::int32_t position, std::int64_t count) {
  if (mixer.speed == 0 || count == 0) {
    return position;
  }
  // The k-th value leaves the position at position + k × speed, and 0 once that passes the limit;
  // from 0 the loop lasts wrapLimit / speed + 1 values.
  const std::int64_t valuesToWrap = (mixer.wrapLimit - position) / mixer.speed + 1;
  if (count < valuesToWrap) {
    return static_cast<std::int32_t>(position + count * mixer.speed);
  }
  const std::int64_t loop = mixer.wrapLimit / mixer.speed + 1;
  return static_cast<std::int32_t>((count - valuesToWrap) % loop * mixer.speed);
}

// Sorts out repeats; keeps at most `mostPositions`, saying so when it had to drop some.
void distinct(std::vector<std::int32_t>& values, bool& truncated) {
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  if (values.size() > mostPositions) {
    values.resize(mostPositions);
    truncated = true;
  }
}

// The end positions of every explanation of `block` from one of `starts`.
std::vector<std::int32_t> explanations(const MixedBlock& block, const SettingsCandidates& settings,
                                       const std::vector<std::int32_t>& starts, bool& truncated) {
  std::vector<std::int16_t> input(static_cast<std::size_t>(block.valueCount));
  makeInput(block.inputKey, input.data(), block.valueCount);
  const std::int64_t prefix = std::min<std::int64_t>(block.valueCount, 32);
  std::vector<std::int16_t> trial(input.size());
  std::vector<std::int32_t> ends;
  for (std::int32_t amount : settings.amounts) {
    for (std::int32_t speed : settings.speeds) {
      for (std::int32_t wrapLimit : settings.wrapLimits) {
        const MixerSettings mixer = mixerSettingsWithinLimits(amount, speed, wrapLimit);
        std::vector<std::int32_t> positions;
        for (std::int32_t start : starts) {
          positions.push_back(startPositionWithin(start, mixer));
        }
        distinct(positions, truncated);
        if (mixer.amount == 0) {
          // Silent noise leaves the values as they came from any start: every start explains it.
          if (std::equal(input.begin(), input.end(), block.output.begin())) {
            for (std::int32_t position : positions) {
              ends.push_back(positionAfter(mixer, position, block.valueCount));
            }
          }
          continue;
        }
        for (std::int32_t position : positions) {
          // Most candidates fail within the first few values.
          std::copy(input.begin(), input.begin() + prefix, trial.begin());
          mixNoise(mixer, position, trial.data(), prefix);
          if (!std::equal(trial.begin(), trial.begin() + prefix, block.output.begin())) {
            continue;
          }
          trial = input;
          const std::int32_t end = mixNoise(mixer, position, trial.data(), block.valueCount);
          if (trial == block.output) {
            ends.push_back(end);
          }
        }
      }
    }
  }
  distinct(ends, truncated);
  return ends;
}

}  // namespace

void explainBlocks(std::vector<MixedBlock> blocks, const SettingsTimeline& timeline,
                   std::vector<std::string>& failures) {
  std::sort(blocks.begin(), blocks.end(),
            [](const MixedBlock& a, const MixedBlock& b) { return a.order < b.order; });
  std::vector<std::vector<std::int32_t>> ends(blocks.size());
  std::vector<bool> explained(blocks.size(), false);
  // Past a long stretch at amount 0 the blocks could have started almost anywhere; once the
  // candidates are cut short, a block nothing explains proves nothing.
  bool truncated = false;
  // A block may start where a later-numbered one ended (threads race between taking a number and
  // reading the position), so passes repeat until nothing more can be explained.
  for (bool progress = true; progress && !truncated;) {
    progress = false;
    for (std::size_t iBlock = 0; iBlock < blocks.size(); ++iBlock) {
      if (explained[iBlock]) {
        continue;
      }
      // `initialise` and a fresh load put the position at 0.
      std::vector<std::int32_t> starts = {0};
      const std::size_t first = iBlock > neighbourhood ? iBlock - neighbourhood : 0;
      const std::size_t last = std::min(blocks.size(), iBlock + neighbourhood + 1);
      for (std::size_t iOther = first; iOther < last; ++iOther) {
        starts.insert(starts.end(), ends[iOther].begin(), ends[iOther].end());
      }
      distinct(starts, truncated);
      const MixedBlock& block = blocks[iBlock];
      ends[iBlock] = explanations(block, timeline.candidates(block.firstMoment, block.lastMoment),
                                  starts, truncated);
      if (!ends[iBlock].empty()) {
        explained[iBlock] = true;
        progress = true;
      }
    }
  }
  const auto unexplained = std::find(explained.begin(), explained.end(), false);
  if (unexplained != explained.end() && !truncated) {
    const MixedBlock& block = blocks[static_cast<std::size_t>(unexplained - explained.begin())];
    const SettingsCandidates settings = timeline.candidates(block.firstMoment, block.lastMoment);
    auto listed = [](const std::vector<std::int32_t>& values) {
      std::string text;
      for (std::int32_t value : values) {
        text += (text.empty() ? "" : "/") + std::to_string(value);
      }
      return text;
    };
    failures.push_back(
        "a block of " + std::to_string(block.valueCount) + " values (number " +
        std::to_string(block.order) + " of the session) is not the noise at amount " +
        listed(settings.amounts) + ", speed " + listed(settings.speeds) + ", wrap limit " +
        listed(settings.wrapLimits) + " from any position the blocks around it left");
  }
}

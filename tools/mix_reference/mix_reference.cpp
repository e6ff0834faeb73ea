// mix_reference AMOUNT SPEED: reads raw 16-bit little-endian PCM on standard input and writes what
// the reference loop makes of it, starting as `initialise` leaves the module, with the two
// settings in 1/256 (256 = 100 %). The reference loop, not `process`: the DLL's SIMD paths are
// held to it.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "noise/mixer.h"

namespace {

// The mixer walks the values in memory order whatever the channel count, so the input is handed
// over as mono blocks of this many values.
constexpr std::size_t valuesPerBlock = 65536;

bool readSetting(const char* text, std::int32_t& setting) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || value < 0 || value > largestAmount) {
    return false;
  }
  setting = static_cast<std::int32_t>(value);
  return true;
}

}  // namespace

int main(int argumentCount, char** arguments) {
  std::int32_t amount = 0;
  std::int32_t speed = 0;
  if (argumentCount != 3 || !readSetting(arguments[1], amount) ||
      !readSetting(arguments[2], speed)) {
    std::fprintf(stderr, "usage: mix_reference AMOUNT SPEED (settings in 1/256, 0..65536)\n");
    return 2;
  }
  const MixerSettings settings = mixerSettingsWithinLimits(amount, speed, fullWrapLimit);
  std::int32_t position = 0;

  std::vector<std::int16_t> block(valuesPerBlock);
  std::size_t valuesRead = 0;
  while ((valuesRead = std::fread(block.data(), sizeof block[0], block.size(), stdin)) > 0) {
    position = mixNoise(settings, position, block.data(), static_cast<std::int64_t>(valuesRead));
    if (std::fwrite(block.data(), sizeof block[0], valuesRead, stdout) != valuesRead) {
      std::fprintf(stderr, "mix_reference: cannot write the output\n");
      return 1;
    }
  }
  if (std::ferror(stdin) || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "mix_reference: cannot read the input or write the output\n");
    return 1;
  }
  return 0;
}

#pragma once

// dsphost's command line and the arithmetic of cutting its input into blocks. Portable: the
// native tests reach all of it.

#include <cstdint>
#include <string>

struct HostOptions {
  std::string pluginPath;  // empty: dsp_crackleton.dll beside dsphost.exe
  std::int32_t moduleIndex = 0;
  std::int32_t sampleRate = 0;
  std::int32_t channels = 0;
  std::int32_t bitsPerSample = 0;
  std::int32_t blockFrames = 576;  // what the player hands a DSP plug-in
  bool openSettingsWindow = false;
};

constexpr const char* hostUsage =
    "usage: dsphost [--plugin PATH] [--module N] --rate HZ --channels N --bits B "
    "[--block FRAMES] [--configure]";

// The largest block and channel count accepted: together they keep one block under 256 MiB.
constexpr std::int32_t largestBlockFrames = 1 << 20;
constexpr std::int32_t largestChannels = 64;

// Reads `arguments` (without the program name) into `options`. On a bad or missing argument
// returns false with `error` set to one line saying what is wrong.
bool parseHostOptions(int argumentCount, const char* const* arguments, HostOptions& options,
                      std::string& error);

inline std::int32_t bytesPerFrame(const HostOptions& options) {
  return options.channels * (options.bitsPerSample / 8);
}

inline std::int64_t bytesPerBlock(const HostOptions& options) {
  return static_cast<std::int64_t>(options.blockFrames) * bytesPerFrame(options);
}

// The plug-in says how many frames of the block it left; never more than the block holds.
inline std::int32_t framesToWrite(std::int32_t framesReturned, std::int32_t framesInBlock) {
  return framesReturned < 0 ? 0 : framesReturned > framesInBlock ? framesInBlock : framesReturned;
}

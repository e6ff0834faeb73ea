#include "tools/dsphost/host_options.h"

#include <cstring>

namespace {

// Decimal digits only, no sign, and at most `largest`: "0x10", "+5", "1e3" and "" are all refused
// rather than read as something the user did not mean.
bool readWholeNumber(const char* text, std::int32_t largest, std::int32_t& value) {
  if (*text == '\0') {
    return false;
  }
  std::int64_t number = 0;
  for (const char* digit = text; *digit != '\0'; ++digit) {
    if (*digit < '0' || *digit > '9') {
      return false;
    }
    number = number * 10 + (*digit - '0');
    if (number > largest) {
      return false;
    }
  }
  value = static_cast<std::int32_t>(number);
  return true;
}

// Named apart: clang-format releases space "HostOptions::* field" differently in a declaration.
using HostOptionField = std::int32_t HostOptions::*;

struct NumberOption {
  const char* name;
  HostOptionField field;
  std::int32_t smallest;
  std::int32_t largest;
  const char* range;  // said in the error when the value is refused
};

const NumberOption numberOptions[] = {
    {"--module", &HostOptions::moduleIndex, 0, 1 << 30, "a whole number from 0"},
    {"--rate", &HostOptions::sampleRate, 1, 1 << 30, "a positive whole number of hertz"},
    {"--channels", &HostOptions::channels, 1, largestChannels, "a whole number from 1 to 64"},
    {"--bits", &HostOptions::bitsPerSample, 8, 32, "8, 16, 24 or 32"},
    {"--block", &HostOptions::blockFrames, 1, largestBlockFrames,
     "a whole number of frames from 1 to 1048576"},
};

const NumberOption* findNumberOption(const char* name) {
  for (const NumberOption& option : numberOptions) {
    if (std::strcmp(option.name, name) == 0) {
      return &option;
    }
  }
  return nullptr;
}

bool readNumberOption(const NumberOption& option, const char* text, HostOptions& options,
                      std::string& error) {
  std::int32_t value = 0;
  const bool whole = readWholeNumber(text, option.largest, value);
  const bool wholeBytes = option.field != &HostOptions::bitsPerSample || value % 8 == 0;
  if (!whole || value < option.smallest || !wholeBytes) {
    error = std::string(option.name) + " takes " + option.range + ", not '" + text + "'";
    return false;
  }
  options.*option.field = value;
  return true;
}

}  // namespace

bool parseHostOptions(int argumentCount, const char* const* arguments, HostOptions& options,
                      std::string& error) {
  options = HostOptions{};
  for (int iArgument = 0; iArgument < argumentCount; ++iArgument) {
    const char* name = arguments[iArgument];
    if (std::strcmp(name, "--configure") == 0) {
      options.openSettingsWindow = true;
      continue;
    }
    const NumberOption* numberOption = findNumberOption(name);
    const bool takesValue = numberOption != nullptr || std::strcmp(name, "--plugin") == 0;
    if (!takesValue) {
      error = std::string(name[0] == '-' ? "unknown option '" : "unexpected argument '") + name +
              "'; " + hostUsage;
      return false;
    }
    if (iArgument + 1 == argumentCount) {
      error = std::string(name) + " needs a value";
      return false;
    }
    const char* value = arguments[++iArgument];
    if (numberOption == nullptr) {
      options.pluginPath = value;
    } else if (!readNumberOption(*numberOption, value, options, error)) {
      return false;
    }
  }
  if (options.sampleRate == 0 || options.channels == 0 || options.bitsPerSample == 0) {
    error = std::string("--rate, --channels and --bits are needed; ") + hostUsage;
    return false;
  }
  return true;
}

#pragma once

// One random session of a player with a DSP plug-in, as a new user's odd player would drive it:
// loading and freeing the library, starting and ending the module, the settings window opened,
// moved and closed in every way, a preferences page that frees the library under its window,
// audio threads mixing all the while, and plugin.ini made hostile before it all.

#include <cstdint>
#include <string>
#include <vector>

struct SessionTotals {
  std::uint64_t sessions = 0;
  std::uint64_t hostCalls = 0;
  std::uint64_t windows = 0;
  std::uint64_t okPresses = 0;
  std::uint64_t blocks = 0;
  std::uint64_t values = 0;
};

// Runs one session of the plug-in built at `dllPath` (copied into a folder of the session's own),
// every random choice made from `randomStart`. Returns what went wrong, the first thing first;
// empty when everything held.
std::vector<std::string> runSession(const std::wstring& dllPath, std::uint32_t randomStart,
                                    SessionTotals& totals);

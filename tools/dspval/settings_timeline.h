#pragma once

// Which settings the module may have held while a block was mixed. The session changes them on
// the main thread while audio threads mix; every change is announced before it is made and
// settled after, so that a block that overlaps a change may have been mixed with either side.

#include <cstdint>
#include <mutex>
#include <vector>

struct HeldSettings {
  std::int32_t amount = 0;
  std::int32_t speed = 0;
  std::int32_t wrapLimit = 0;
};

// The candidates for one block, field by field: amount and speed are read separately, so a block
// may see a new amount with the old speed.
struct SettingsCandidates {
  std::vector<std::int32_t> amounts;
  std::vector<std::int32_t> speeds;
  std::vector<std::int32_t> wrapLimits;
};

class SettingsTimeline {
 public:
  explicit SettingsTimeline(HeldSettings start);

  // The main thread, around every call that may change what the module holds.
  void beginChange();
  void endChange(const HeldSettings& now);

  // An even moment is settled; an odd one is inside a change.
  std::uint64_t moment() const;

  // Everything held at any moment from `first` to `last`.
  SettingsCandidates candidates(std::uint64_t first, std::uint64_t last) const;

 private:
  mutable std::mutex mutex_;
  std::vector<HeldSettings> settled_;  // entry k holds from moment 2k on
  std::uint64_t moment_ = 0;
};

#include "tools/dspval/settings_timeline.h"

#include <algorithm>

namespace {

void addOnce(std::vector<std::int32_t>& values, std::int32_t value) {
  if (std::find(values.begin(), values.end(), value) == values.end()) {
    values.push_back(value);
  }
}

}  // namespace

SettingsTimeline::SettingsTimeline(HeldSettings start) : settled_{start} {}

void SettingsTimeline::beginChange() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++moment_;
}

void SettingsTimeline::endChange(const HeldSettings& now) {
  std::lock_guard<std::mutex> lock(mutex_);
  settled_.push_back(now);
  ++moment_;
}

std::uint64_t SettingsTimeline::moment() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return moment_;
}

SettingsCandidates SettingsTimeline::candidates(std::uint64_t first, std::uint64_t last) const {
  std::lock_guard<std::mutex> lock(mutex_);
  SettingsCandidates candidates;
  // Moment 2k+1 lies between settled entries k and k+1.
  const std::size_t lastEntry = std::min<std::size_t>((last + 1) / 2, settled_.size() - 1);
  for (std::size_t iEntry = first / 2; iEntry <= lastEntry; ++iEntry) {
    addOnce(candidates.amounts, settled_[iEntry].amount);
    addOnce(candidates.speeds, settled_[iEntry].speed);
    addOnce(candidates.wrapLimits, settled_[iEntry].wrapLimit);
  }
  return candidates;
}

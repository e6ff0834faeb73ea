#include "settings_window/slider_arithmetic.h"

#include <algorithm>

#include "noise/fixed_point.h"

std::int32_t settingFromSliderPosition(std::int32_t position) {
  return sliderLargest - position;
}

std::int32_t sliderPositionFromSetting(std::int32_t setting) {
  const std::int64_t position = std::int64_t{sliderLargest} - setting;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(position, 0, sliderLargest));
}

std::int32_t percentOf(std::int32_t setting) {
  return static_cast<std::int32_t>(std::int64_t{setting} * 100 / settingUnit);
}

#pragma once

// What the settings window shows and sets, as pure arithmetic: the native tests reach it all.

#include <cstdint>

// Both sliders run 0..512. A vertical slider has its lowest position at the top, so the top
// means 512 (200 %), the middle 256 (100 %) and the bottom 0.
constexpr std::int32_t sliderLargest = 512;

std::int32_t settingFromSliderPosition(std::int32_t position);

// The position that shows `setting`; a setting outside 0..512 (only the settings file can hold
// one) shows at the nearer end, as the slider itself would show it.
std::int32_t sliderPositionFromSetting(std::int32_t setting);

// A setting as the percentage the labels show: setting × 100 / 256, truncated toward zero.
// Exact for every 32-bit setting.
std::int32_t percentOf(std::int32_t setting);

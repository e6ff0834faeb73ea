// What the sliders set and what the labels show, without a window.

#include <gtest/gtest.h>

#include <climits>

#include "settings_window/slider_arithmetic.h"

namespace {

TEST(SliderPositionToSetting, TopIsLargestAndBottomIsZero) {
  EXPECT_EQ(settingFromSliderPosition(0), 512);
  EXPECT_EQ(settingFromSliderPosition(1), 511);
  EXPECT_EQ(settingFromSliderPosition(256), 256);
  EXPECT_EQ(settingFromSliderPosition(512), 0);
}

TEST(SettingToSliderPosition, RoundTripsEverySliderPosition) {
  for (std::int32_t position = 0; position <= 512; ++position) {
    EXPECT_EQ(sliderPositionFromSetting(settingFromSliderPosition(position)), position);
  }
}

TEST(SettingToSliderPosition, SettingsOutsideTheRangeShowAtTheNearerEnd) {
  EXPECT_EQ(sliderPositionFromSetting(1000), 0);
  EXPECT_EQ(sliderPositionFromSetting(513), 0);
  EXPECT_EQ(sliderPositionFromSetting(INT_MAX), 0);
  EXPECT_EQ(sliderPositionFromSetting(-1), 512);
  EXPECT_EQ(sliderPositionFromSetting(-5), 512);
  EXPECT_EQ(sliderPositionFromSetting(INT_MIN), 512);
}

TEST(PercentOfSetting, SliderSettingsShowAsWholePercent) {
  EXPECT_EQ(percentOf(0), 0);
  EXPECT_EQ(percentOf(256), 100);
  EXPECT_EQ(percentOf(512), 200);
  EXPECT_EQ(percentOf(511), 199);
  EXPECT_EQ(percentOf(255), 99);
}

TEST(PercentOfSetting, FractionsAreTruncatedTowardZero) {
  EXPECT_EQ(percentOf(1), 0);
  EXPECT_EQ(percentOf(3), 1);
  EXPECT_EQ(percentOf(-1), 0);
  EXPECT_EQ(percentOf(-5), -1);
  EXPECT_EQ(percentOf(-300), -117);
  EXPECT_EQ(percentOf(1000), 390);
}

// The settings file can hold any 32-bit value; × 100 must not overflow on the way.
TEST(PercentOfSetting, ExactAtTheEndsOfTheIntegerRange) {
  EXPECT_EQ(percentOf(INT_MAX), 838860799);   // 2147483647 × 100 / 256 = 838860799.6
  EXPECT_EQ(percentOf(INT_MIN), -838860800);  // −2147483648 × 100 / 256, exactly
}

}  // namespace

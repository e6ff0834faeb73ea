#pragma once

// The plug-in's own names: its description, its settings file and keys, its dialog and controls.

constexpr const char* descriptionText = "Tallowick's Crackleton v1.0";

constexpr const char* settingsFileName = "plugin.ini";
constexpr const char* speedKey = "vinyl_speed";
constexpr const char* amountKey = "vinyl_amount";
constexpr int defaultSetting = 256;

constexpr int settingsDialogId = 105;
constexpr int okButtonId = 1;
constexpr int amountSliderId = 1000;
constexpr int amountLabelId = 1008;
constexpr int speedSliderId = 1009;
constexpr int speedLabelId = 1010;

#pragma once

// The plug-in's own names: its description, its settings file and keys. The settings window's
// dialog and control numbers are in settings_window/dialog_ids.h, which the resource compiler
// reads too.

constexpr const char* descriptionText = "Tallowick's Crackleton v1.0";

constexpr const char* settingsFileName = "plugin.ini";
constexpr const char* speedKey = "vinyl_speed";
constexpr const char* amountKey = "vinyl_amount";
constexpr int defaultSetting = 256;

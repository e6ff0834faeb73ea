#pragma once

// The plug-in's own names: its description, its library and settings files, the settings' keys.
// The settings window's dialog and control numbers are in settings_window/dialog_ids.h, which the
// resource compiler reads too.

#include "noise/fixed_point.h"

// What the player lists the module as, and the name of its section in plugin.ini: so it stays as
// it is when the version changes, or every user's stored settings would be left behind.
constexpr const char* descriptionText = "Tallowick's Crackleton v1.0";

// The library's own file name, as the build makes it and the player's Plugins folder holds it.
constexpr const char* libraryFileName = "dsp_crackleton.dll";
constexpr const char* settingsFileName = "plugin.ini";
constexpr const char* speedKey = "vinyl_speed";
constexpr const char* amountKey = "vinyl_amount";
// 100 %.
constexpr int defaultSetting = settingUnit;

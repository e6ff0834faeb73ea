#pragma once

// The two settings in plugin.ini, and where the ones the module holds came from, so that it never
// writes values over the user's stored ones that the user did not set.

#include <atomic>

struct EffectModule;

struct SettingsOrigin {
  // `initialise` has run since the library was loaded.
  std::atomic<bool> initialised;
  // Between `initialise` and `quit`: the player plays through the module, and `quit` will store
  // the settings. Otherwise what the user sets in a window is stored when the window closes.
  std::atomic<bool> running;
  // plugin.ini was there when the settings were last loaded but could not be read (another
  // program held it locked, say): the settings held are defaults, not the user's.
  std::atomic<bool> fileUnreadable;
  // Set with a slider and not stored since.
  std::atomic<bool> amountSetByUser;
  std::atomic<bool> speedSetByUser;
};

extern SettingsOrigin settingsOrigin;

// Reads both settings from plugin.ini into `effectState`, 256 for a missing one, exactly as
// `initialise` does, and touches nothing else of it. A setting the user has set and that is not
// stored yet (its write failed) stays as the user set it.
void loadSettings(const EffectModule* module);

// Writes both settings to plugin.ini, as `quit` does once the module is initialised: both of
// them, unless the file could not be read when they were loaded; then only those the user has
// set since.
void storeSettings(const EffectModule* module);

// Writes only the settings the user has set since they were last loaded or stored, if any.
void storeUserChanges(const EffectModule* module);

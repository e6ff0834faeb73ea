#pragma once

// The two settings in plugin.ini (which file: plugin/settings_place.h), and what the user sets in
// the settings windows. A setting the user sets is stored as soon as the user ends the change,
// whether or not the module is running; `quit` stores both. The module never writes values over
// the user's stored ones that the user did not set, nor over newer ones set elsewhere (another
// player sharing the file, the user's editor): those it takes and holds.

#include <cstdint>

struct EffectModule;

enum class Setting { amount, speed };

// A settings window is about to open. Before any `initialise` in this load of the library it
// reads both settings into `effectState` exactly as `initialise` does (a preferences page opens
// the window of a library it never started); after one, it reads them afresh where they were read
// from another file (the player could not say where its settings folder was, and now has) or
// from a file that could not be read, and otherwise takes what was set elsewhere since. Never
// replaces a choice the user made in this process and that is not stored yet. Touches nothing
// else of `effectState`.
void loadSettingsForWindow(const EffectModule* module);

// The user has moved a slider: the mixer plays `value` at once, and `storeUserChanges` stores it.
void setByUser(Setting setting, std::int32_t value);

// The user has ended a change, or pressed OK: writes the settings the user has set and that are
// not stored yet, if any, after reading the file again where it could not be read before. The
// first write into the player's settings folder carries the other setting over from beside the
// library with it. A setting whose write fails stays marked for the next store.
void storeUserChanges(const EffectModule* module);

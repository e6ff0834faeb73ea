// Loading and storing the two settings in plugin.ini, `initialise` and `quit`.
//
// Every call goes through the profile API's wide forms: a library in a folder that the ANSI code
// page cannot spell (Cyrillic on a Western system, say) gets its name back with question marks
// from the 8-bit forms, and would never find its file. The file itself stays 8-bit text.
//
// Hosts call in from several threads at once, and the settings windows' threads set and store
// what the user chooses meanwhile. Every change to what the module holds and every read or write
// of the file is made under one lock, so that a load cannot replace a choice the user is making
// that very moment, nor a store write a value another thread has just replaced. The lock is never
// held while a window is asked anything or sent a message: no thread waits on it for longer than
// a few file operations. The audio thread never takes it.

#include <windows.h>

#include "plugin/settings_file.h"

#include <atomic>

#include "plugin/effect_state.h"
#include "plugin/module.h"
#include "plugin/names.h"
#include "plugin/settings_place.h"
#include "settings_window/window.h"

namespace {

std::atomic_flag settingsLocked = ATOMIC_FLAG_INIT;

// Taken and given back by hand, not by a destructor: the library carries no unwinding code.
void lockSettings() {
  for (int iTry = 0; settingsLocked.test_and_set(std::memory_order_acquire); ++iTry) {
    Sleep(iTry < 16 ? 0 : 1);
  }
}

void unlockSettings() {
  settingsLocked.clear(std::memory_order_release);
}

// Where the settings the module holds came from; read and written under the lock only.
struct SettingsOrigin {
  // `initialise` has loaded them since the library was loaded.
  bool initialised;
  // Between `initialise` and `quit`: `quit` will store both.
  bool running;
  // Some settings were loaded, from `loadedFrom`.
  bool loaded;
  wchar_t loadedFrom[MAX_PATH];
  // plugin.ini was there when the settings were last loaded but could not be read (another
  // program held it locked, say): the settings held are defaults, not the user's.
  bool fileUnreadable;
  // Set with a slider and not stored since, in the order of `Setting`.
  bool setByUser[2];
};

SettingsOrigin origin{};

std::atomic<std::int32_t>& held(Setting setting) {
  return setting == Setting::amount ? effectState.amount : effectState.speed;
}

bool& userSet(Setting setting) {
  return origin.setByUser[static_cast<int>(setting)];
}

// The section and key names as the wide profile calls take them. The section is the module's
// description, 8-bit text in the ANSI code page.
struct ProfileNames {
  SettingsFiles files;
  wchar_t section[128];
  wchar_t speedKey[16];
  wchar_t amountKey[16];

  const wchar_t* key(Setting setting) const {
    return setting == Setting::amount ? amountKey : speedKey;
  }
};

// In the order they are read and written.
constexpr Setting bothSettings[] = {Setting::speed, Setting::amount};

template <std::size_t capacity>
bool widen(const char* text, wchar_t (&wide)[capacity]) {
  return MultiByteToWideChar(CP_ACP, 0, text, -1, wide, capacity) != 0;
}

// Picks the file (which may ask the player's window, so never under the lock).
bool profileNamesFor(const EffectModule* module, ProfileNames& names) {
  settingsFiles(module, names.files);
  return names.files.written[0] != L'\0' && widen(module->description, names.section) &&
         widen(speedKey, names.speedKey) && widen(amountKey, names.amountKey);
}

bool writtenBesideLibrary(const ProfileNames& names) {
  return lstrcmpiW(names.files.written, names.files.besideLibrary) == 0;
}

bool holdsKey(const ProfileNames& names, const wchar_t* key, const wchar_t* path) {
  wchar_t value[2];
  return GetPrivateProfileStringW(names.section, key, L"", value, 2, path) != 0;
}

bool holdsSection(const ProfileNames& names, const wchar_t* path) {
  wchar_t firstLine[4];
  return GetPrivateProfileSectionW(names.section, firstLine, 4, path) != 0;
}

// A file that is there but will not open for reading (locked by another program, a folder of
// that name, no right to read it) reads as all defaults: those are not the user's values.
bool existsButCannotBeRead(const wchar_t* path) {
  const DWORD error = errorOpening(path, GENERIC_READ);
  return error != 0 && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

// Reads both settings into `effectState`, 256 for a missing one. A setting that the player's file
// does not hold yet is read from beside the library, where it was kept before (or an
// administrator set it). A setting the user has set and that is not stored yet (its write failed)
// is newer than any file, and stays as the user set it. Under the lock.
void readSettings(const ProfileNames* names) {
  bool unreadable = false;
  for (Setting setting : bothSettings) {
    auto value = static_cast<std::int32_t>(defaultSetting);
    // Without a usable path the settings are as on a first run; the mixer and the settings
    // window cope with any value the file holds, so nothing is range-checked here.
    if (names != nullptr) {
      const wchar_t* path = names->files.written;
      const wchar_t* key = names->key(setting);
      if (!writtenBesideLibrary(*names) && !existsButCannotBeRead(path) &&
          !holdsKey(*names, key, path)) {
        path = names->files.besideLibrary;
      }
      unreadable = unreadable || existsButCannotBeRead(path);
      value = static_cast<std::int32_t>(
          GetPrivateProfileIntW(names->section, key, defaultSetting, path));
    }
    if (!userSet(setting)) {
      held(setting).store(value, std::memory_order_relaxed);
    }
  }
  origin.fileUnreadable = unreadable;
  origin.loaded = true;
  lstrcpyW(origin.loadedFrom, names != nullptr ? names->files.written : L"");
}

// When the settings were read from another file than the one now picked (the player has named
// its settings folder since), reads them afresh from that one; true when it did. Under the lock.
bool followPickedFile(const ProfileNames& names) {
  if (!origin.loaded || lstrcmpiW(origin.loadedFrom, names.files.written) == 0) {
    return false;
  }
  readSettings(&names);
  return true;
}

// Writes the settings the user has set and not stored, and with `everything` the others too. The
// first write into the player's file writes both, so that it never holds one setting alone. A
// write into a file that is not decided yet leaves the user's mark in place: the setting is
// written again once the file is known. Under the lock.
void writeSettings(const ProfileNames& names, bool everything) {
  if (!everything && !userSet(Setting::amount) && !userSet(Setting::speed)) {
    return;
  }
  everything = everything || (!writtenBesideLibrary(names) && !origin.fileUnreadable &&
                              !holdsSection(names, names.files.written));
  for (Setting setting : bothSettings) {
    if (!everything && !userSet(setting)) {
      continue;
    }
    wchar_t text[32];
    wsprintfW(text, L"%d", held(setting).load(std::memory_order_relaxed));
    if (WritePrivateProfileStringW(names.section, names.key(setting), text, names.files.written) !=
            FALSE &&
        names.files.decided) {
      userSet(setting) = false;
    }
  }
}

}  // namespace

void loadSettingsForWindow(const EffectModule* module) {
  ProfileNames names;
  const bool named = profileNamesFor(module, names);
  lockSettings();
  bool read = false;
  if (!origin.initialised) {
    readSettings(named ? &names : nullptr);
    read = true;
  } else if (named) {
    read = followPickedFile(names);
  }
  unlockSettings();
  if (read) {
    showSettingsInEveryWindow();
  }
}

void setByUser(Setting setting, std::int32_t value) {
  lockSettings();
  held(setting).store(value, std::memory_order_relaxed);
  userSet(setting) = true;
  unlockSettings();
}

void storeUserChanges(const EffectModule* module) {
  lockSettings();
  const bool anySet = userSet(Setting::amount) || userSet(Setting::speed);
  unlockSettings();
  ProfileNames names;
  if (!anySet || !profileNamesFor(module, names)) {
    return;
  }
  lockSettings();
  const bool read = followPickedFile(names);
  writeSettings(names, false);
  unlockSettings();
  if (read) {
    showSettingsInEveryWindow();
  }
}

std::int32_t initialise(EffectModule* module) {
  releaseLibraryOnceWindowsClosed();
  ProfileNames names;
  const bool named = profileNamesFor(module, names);
  lockSettings();
  readSettings(named ? &names : nullptr);
  // A choice the user made that could not be stored where it was made (the player could not say
  // where its settings folder was yet) is stored now.
  if (named) {
    writeSettings(names, false);
  }
  startEffectState(effectState.amount.load(std::memory_order_relaxed),
                   effectState.speed.load(std::memory_order_relaxed));
  origin.initialised = true;
  origin.running = true;
  unlockSettings();
  showSettingsInEveryWindow();
  return 0;
}

void quit(EffectModule* module) {
  releaseLibraryOnceWindowsClosed();
  ProfileNames names;
  const bool named = profileNamesFor(module, names);
  lockSettings();
  const bool wasRunning = origin.running;
  origin.running = false;
  bool read = false;
  if (named) {
    read = followPickedFile(names);
    // Once initialised, the module holds the user's settings; before, or after a load from a file
    // that could not be read, only those set in a window are the user's.
    writeSettings(names, wasRunning && !origin.fileUnreadable);
  }
  unlockSettings();
  if (read) {
    showSettingsInEveryWindow();
  }
}

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
//
// The file is shared: with the player's other plug-ins, with other players (or copies of this
// library) that use the same Plugins folder, and with the user's editor. So the newest choice
// wins whoever made it: a setting this module has not been given by the user since it read it,
// and that the file now holds with another value, was changed elsewhere since, and the file's
// value is taken, never written over. A file that could not be read (another program held it)
// is read again at the next call that touches files, and a setting whose write failed is written
// again at the next store, at OK and at the host's next call.

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

struct StoredSetting {
  bool present;
  std::int32_t value;  // as the profile reader reads it: "0x200" is 512
};

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
  // What `loadedFrom` held for each setting when it was last read or written here, in the order
  // of `Setting`: a different value there now was put there by someone else.
  StoredSetting lastSeen[2];
};

SettingsOrigin origin{};

std::atomic<std::int32_t>& held(Setting setting) {
  return setting == Setting::amount ? effectState.amount : effectState.speed;
}

bool& userSet(Setting setting) {
  return origin.setByUser[static_cast<int>(setting)];
}

StoredSetting& lastSeen(Setting setting) {
  return origin.lastSeen[static_cast<int>(setting)];
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

// A backup or a virus scanner holds a file without sharing it for milliseconds at a time: worth
// a short wait at a start, not a session of defaults.
void waitWhileHeldByAnotherProgram(const wchar_t* path) {
  constexpr int tries = 10;
  constexpr DWORD pauseMilliseconds = 20;
  for (int iTry = 0; iTry < tries; ++iTry) {
    const DWORD error = errorOpening(path, GENERIC_READ);
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) {
      return;
    }
    Sleep(pauseMilliseconds);
  }
}

// The setting as the file at `path` holds it now; the file must be readable.
StoredSetting storedIn(const ProfileNames& names, Setting setting, const wchar_t* path) {
  if (!holdsKey(names, names.key(setting), path)) {
    return {false, 0};
  }
  return {true, static_cast<std::int32_t>(
                    GetPrivateProfileIntW(names.section, names.key(setting), 0, path))};
}

// Reads both settings into `effectState`, 256 for a missing one. A setting that the player's file
// does not hold yet is read from beside the library, where it was kept before (or an
// administrator set it). A setting the user has set and that is not stored yet (its write failed)
// is newer than any file, and stays as the user set it. Under the lock.
void readSettings(const ProfileNames* names) {
  const bool writtenReadable = names != nullptr && !existsButCannotBeRead(names->files.written);
  bool unreadable = names != nullptr && !writtenReadable;
  for (Setting setting : bothSettings) {
    auto value = static_cast<std::int32_t>(defaultSetting);
    lastSeen(setting) = {false, 0};
    // Without a usable path the settings are as on a first run; the mixer and the settings
    // window cope with any value the file holds, so nothing is range-checked here.
    if (names != nullptr) {
      const wchar_t* path = names->files.written;
      if (writtenReadable) {
        lastSeen(setting) = storedIn(*names, setting, path);
        if (!lastSeen(setting).present && !writtenBesideLibrary(*names)) {
          path = names->files.besideLibrary;
          unreadable = unreadable || existsButCannotBeRead(path);
        }
      }
      value = static_cast<std::int32_t>(
          GetPrivateProfileIntW(names->section, names->key(setting), defaultSetting, path));
    }
    if (!userSet(setting)) {
      held(setting).store(value, std::memory_order_relaxed);
    }
  }
  origin.fileUnreadable = unreadable;
  origin.loaded = true;
  lstrcpyW(origin.loadedFrom, names != nullptr ? names->files.written : L"");
}

// A setting the user has not set since the module read it, that the file now holds with another
// value than the one last seen there, was set elsewhere since: that value is the newest, and the
// module holds it from now on. True when it took one. Under the lock.
bool takeSettingsChangedElsewhere(const ProfileNames& names) {
  const wchar_t* path = names.files.written;
  if (existsButCannotBeRead(path)) {
    return false;
  }
  bool taken = false;
  for (Setting setting : bothSettings) {
    const StoredSetting stored = storedIn(names, setting, path);
    const StoredSetting seen = lastSeen(setting);
    if (userSet(setting) || !stored.present || (seen.present && seen.value == stored.value)) {
      continue;
    }
    held(setting).store(stored.value, std::memory_order_relaxed);
    lastSeen(setting) = stored;
    taken = true;
  }
  return taken;
}

// Brings what the module holds up to the file now picked: read afresh where the settings were read
// from another file (the player has named its settings folder since) or could not be read at all,
// else with what was set elsewhere since. True when the settings held may have changed. Under the
// lock.
bool catchUpWithFile(const ProfileNames& names) {
  if (!origin.loaded) {
    return false;
  }
  if (origin.fileUnreadable || lstrcmpiW(origin.loadedFrom, names.files.written) != 0) {
    readSettings(&names);
    return true;
  }
  return takeSettingsChangedElsewhere(names);
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
    const std::int32_t value = held(setting).load(std::memory_order_relaxed);
    wchar_t text[32];
    wsprintfW(text, L"%d", value);
    if (WritePrivateProfileStringW(names.section, names.key(setting), text, names.files.written) ==
        FALSE) {
      continue;
    }
    lastSeen(setting) = {true, value};
    if (names.files.decided) {
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
    read = catchUpWithFile(names);
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
  const bool due = userSet(Setting::amount) || userSet(Setting::speed) || origin.fileUnreadable;
  unlockSettings();
  ProfileNames names;
  if (!due || !profileNamesFor(module, names)) {
    return;
  }
  lockSettings();
  const bool read = catchUpWithFile(names);
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
  if (named) {
    waitWhileHeldByAnotherProgram(names.files.written);
  }
  lockSettings();
  readSettings(named ? &names : nullptr);
  // A choice the user made that could not be stored where it was made (the player could not say
  // where its settings folder was yet, or another program held the file) is stored now.
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
    read = catchUpWithFile(names);
    // Once initialised, the module holds the user's settings; before, or while the file cannot be
    // read, only those set in a window are the user's.
    writeSettings(names, wasRunning && !origin.fileUnreadable);
  }
  unlockSettings();
  if (read) {
    showSettingsInEveryWindow();
  }
}

// Loading and storing the two settings in plugin.ini (which one: plugin/settings_place.h).
//
// Every call goes through the profile API's wide forms: a library in a folder that the ANSI code
// page cannot spell (Cyrillic on a Western system, say) gets its name back with question marks
// from the 8-bit forms, and would never find its file. The file itself stays 8-bit text.

#include <windows.h>

#include "plugin/settings_file.h"

#include "plugin/effect_state.h"
#include "plugin/module.h"
#include "plugin/names.h"
#include "plugin/settings_place.h"
#include "settings_window/window.h"

SettingsOrigin settingsOrigin{};

namespace {

// The section and key names as the wide profile calls take them. The section is the module's
// description, 8-bit text in the ANSI code page.
struct ProfileNames {
  SettingsFiles files;
  wchar_t section[128];
  wchar_t speedKey[16];
  wchar_t amountKey[16];
};

template <std::size_t capacity>
bool widen(const char* text, wchar_t (&wide)[capacity]) {
  return MultiByteToWideChar(CP_ACP, 0, text, -1, wide, capacity) != 0;
}

bool profileNamesFor(const EffectModule* module, ProfileNames& names) {
  settingsFiles(module, names.files);
  return names.files.written[0] != L'\0' && widen(module->description, names.section) &&
         widen(speedKey, names.speedKey) && widen(amountKey, names.amountKey);
}

// Whether the written file is the player's and holds no section of ours yet: then the settings
// are read from plugin.ini beside the library, where they were kept before (or an administrator
// set them).
bool readBesideLibrary(const ProfileNames& names) {
  wchar_t firstLine[4];
  return lstrcmpiW(names.files.written, names.files.besideLibrary) != 0 &&
         GetPrivateProfileSectionW(names.section, firstLine, 4, names.files.written) == 0;
}

// A file that is there but will not open for reading (locked by another program, a folder of
// that name, no right to read it) reads as all defaults: those are not the user's values.
bool existsButCannotBeRead(const wchar_t* path) {
  const DWORD error = errorOpening(path, GENERIC_READ);
  return error != 0 && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

bool writeValue(const ProfileNames& names, const wchar_t* key, std::int32_t value) {
  wchar_t text[32];
  wsprintfW(text, L"%d", value);
  return WritePrivateProfileStringW(names.section, key, text, names.files.written) != FALSE;
}

// Writes `setting` when `everything` says so or the user has set it since it was last loaded or
// stored. The user's mark is taken as it is read, so that a move of a slider on another thread
// meanwhile is stored by the next call, never lost; a failed write (a read-only file, say) puts
// it back, so that the next store tries again.
void storeSetting(const ProfileNames& names, const wchar_t* key,
                  const std::atomic<std::int32_t>& setting, std::atomic<bool>& setByUser,
                  bool everything) {
  const bool userSet = setByUser.exchange(false, std::memory_order_relaxed);
  if ((userSet || everything) && !writeValue(names, key, setting.load(std::memory_order_relaxed)) &&
      userSet) {
    setByUser.store(true, std::memory_order_relaxed);
  }
}

void writeSettings(const EffectModule* module, bool everything) {
  const bool anySetByUser = settingsOrigin.speedSetByUser.load(std::memory_order_relaxed) ||
                            settingsOrigin.amountSetByUser.load(std::memory_order_relaxed);
  ProfileNames names;
  if ((!everything && !anySetByUser) || !profileNamesFor(module, names)) {
    return;
  }
  storeSetting(names, names.speedKey, effectState.speed, settingsOrigin.speedSetByUser, everything);
  storeSetting(names, names.amountKey, effectState.amount, settingsOrigin.amountSetByUser,
               everything);
}

}  // namespace

void loadSettings(const EffectModule* module) {
  std::int32_t speed = defaultSetting;
  std::int32_t amount = defaultSetting;
  bool unreadable = false;
  ProfileNames names;
  // Without a usable path the settings are as on a first run; the mixer and the settings window
  // cope with any value the file holds, so nothing is range-checked here.
  if (profileNamesFor(module, names)) {
    const wchar_t* path = names.files.written;
    unreadable = existsButCannotBeRead(path);
    if (!unreadable && readBesideLibrary(names)) {
      path = names.files.besideLibrary;
      unreadable = existsButCannotBeRead(path);
    }
    speed = static_cast<std::int32_t>(
        GetPrivateProfileIntW(names.section, names.speedKey, defaultSetting, path));
    amount = static_cast<std::int32_t>(
        GetPrivateProfileIntW(names.section, names.amountKey, defaultSetting, path));
  }
  // A setting the user set whose store failed (the file was locked, say) is newer than the file.
  if (!settingsOrigin.speedSetByUser.load(std::memory_order_relaxed)) {
    effectState.speed.store(speed, std::memory_order_relaxed);
  }
  if (!settingsOrigin.amountSetByUser.load(std::memory_order_relaxed)) {
    effectState.amount.store(amount, std::memory_order_relaxed);
  }
  settingsOrigin.fileUnreadable.store(unreadable, std::memory_order_relaxed);
}

void storeSettings(const EffectModule* module) {
  writeSettings(module, !settingsOrigin.fileUnreadable.load(std::memory_order_relaxed));
}

void storeUserChanges(const EffectModule* module) {
  writeSettings(module, false);
}

std::int32_t initialise(EffectModule* module) {
  releaseLibraryOnceWindowsClosed();
  // A choice made in a window since the settings were last loaded, while nothing played (a
  // preferences page) or while the player played before starting the module again, is the
  // user's latest: it goes to the file first, and so comes back from it.
  storeUserChanges(module);
  loadSettings(module);
  startEffectState(effectState.amount.load(std::memory_order_relaxed),
                   effectState.speed.load(std::memory_order_relaxed));
  settingsOrigin.initialised.store(true, std::memory_order_relaxed);
  settingsOrigin.running.store(true, std::memory_order_relaxed);
  showSettingsInEveryWindow();
  return 0;
}

void quit(EffectModule* module) {
  releaseLibraryOnceWindowsClosed();
  if (settingsOrigin.running.exchange(false, std::memory_order_relaxed)) {
    storeSettings(module);
  } else {
    storeUserChanges(module);
  }
}

// Loading and storing the two settings in plugin.ini beside the library.

#include <windows.h>

#include "plugin/module.h"
#include "plugin/names.h"
#include "plugin/settings_path_text.h"
#include "settings_window/window.h"

bool settingsPath(const EffectModule* module, char (&path)[MAX_PATH]) {
  char libraryFileName[MAX_PATH];
  const DWORD length = GetModuleFileNameA(module->instance, libraryFileName, MAX_PATH);
  // A name that fills the whole buffer may have been cut short, and older systems leave it
  // unterminated: treat it like no name at all rather than guess at a directory.
  if (length == 0 || length >= MAX_PATH) {
    path[0] = '\0';
    return false;
  }
  return settingsPathBeside(libraryFileName, path, MAX_PATH);
}

std::int32_t initialise(EffectModule* module) {
  releaseLibraryOnceWindowsClosed();
  std::int32_t speed = defaultSetting;
  std::int32_t amount = defaultSetting;
  char path[MAX_PATH];
  // Without a usable path the settings are as on a first run; the mixer and the settings window
  // cope with any value the file holds, so nothing is range-checked here.
  if (settingsPath(module, path)) {
    speed = static_cast<std::int32_t>(
        GetPrivateProfileIntA(module->description, speedKey, defaultSetting, path));
    amount = static_cast<std::int32_t>(
        GetPrivateProfileIntA(module->description, amountKey, defaultSetting, path));
  }
  effectState.speed.store(speed, std::memory_order_relaxed);
  effectState.amount.store(amount, std::memory_order_relaxed);
  effectState.settingsWindow = nullptr;
  effectState.position = 0;
  effectState.wrapLimit = fullWrapLimit;
  return 0;
}

void quit(EffectModule* module) {
  releaseLibraryOnceWindowsClosed();
  char path[MAX_PATH];
  if (!settingsPath(module, path)) {
    return;
  }
  char text[32];
  // A failed write (a read-only file, say) is ignored; the next quit writes again.
  wsprintfA(text, "%d", effectState.speed.load(std::memory_order_relaxed));
  WritePrivateProfileStringA(module->description, speedKey, text, path);
  wsprintfA(text, "%d", effectState.amount.load(std::memory_order_relaxed));
  WritePrivateProfileStringA(module->description, amountKey, text, path);
}

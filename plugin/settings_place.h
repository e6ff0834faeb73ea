#pragma once

// Where the settings are kept: plugin.ini beside the library wherever that folder can be written,
// as players have always had it; where it cannot (a player installed under Program Files, run by
// a user who may not write there), plugin.ini in the Plugins folder of the player's own settings
// folder, which the player names when asked and which its other plug-ins share.

#include <windows.h>

struct EffectModule;

struct SettingsFiles {
  // The file the settings are read from and written to; empty when none can be named.
  wchar_t written[MAX_PATH];
  // plugin.ini beside the library. When `written` is another file with no section of ours yet,
  // the settings are read from here, so that settings kept here earlier carry over.
  wchar_t besideLibrary[MAX_PATH];
};

// The player's main window answers WM_USER with this lParam (and wParam 0) with a pointer to its
// settings folder, 8-bit text in its process; players before version 2.9, and other hosts, answer
// 0. It is asked with a timeout: `initialise` may run on a thread other than the window's.
constexpr LPARAM playerSettingsFolderQuery = 335;
constexpr UINT playerQueryTimeoutMilliseconds = 500;

// Fills `files` with the files picked at the first call in this load of the library (the first
// `initialise` or `configure`); every later call gives the same. Picking leaves no file behind
// and changes none; it may make the player's Plugins folder.
void settingsFiles(const EffectModule* module, SettingsFiles& files);

// Opens the existing file at `path` for `access`, sharing it all, and closes it at once: 0 when
// it opened, else the system's error.
DWORD errorOpening(const wchar_t* path, DWORD access);

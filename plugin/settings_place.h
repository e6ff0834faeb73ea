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
  // plugin.ini beside the library. A setting that `written`, another file, does not hold yet is
  // read from here, so that settings kept here earlier carry over.
  wchar_t besideLibrary[MAX_PATH];
  // Whether `written` is known for the rest of this load of the library. Where the library's
  // folder cannot be written and the player could not say (no player window, or one that did not
  // answer in time), `written` is the file beside the library for now, and a later call asks
  // again.
  bool decided;
};

// The player's main window, the only window asked where its settings folder is: the window of
// this class, the owner (or the owner's owner) of the window the player hands the module.
constexpr const char* playerWindowClass = "Winamp v1.x";

// The player's main window answers WM_USER with these lParams (and wParam 0) with a pointer to
// its settings folder in its process: wide text, or 8-bit text in the ANSI code page, which
// cannot spell every folder. Players before version 2.9 answer 0 to both.
constexpr LPARAM playerSettingsFolderQueryWide = 1335;
constexpr LPARAM playerSettingsFolderQuery = 335;
// How long the questions may take together: the module may be called on a thread other than the
// window's, while the window's thread waits for that call.
constexpr UINT playerQueryTimeoutMilliseconds = 500;

// Fills `files` with the files to use now. The first call that can decide decides for the rest of
// this load of the library; every later call gives the same. Picking leaves no file behind and
// changes none; it may make the player's Plugins folder.
void settingsFiles(const EffectModule* module, SettingsFiles& files);

// Opens the existing file at `path` for `access`, sharing it all, and closes it at once: 0 when
// it opened, else the system's error.
DWORD errorOpening(const wchar_t* path, DWORD access);

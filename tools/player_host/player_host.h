#pragma once

// The player's side of a DSP plug-in, as every Windows program here plays it: finding the export,
// choosing a module, giving it an owner window and its instance.

#include <windows.h>

#include <string>

#include "plugin/module.h"

using GetHeader = PluginHeader* (*)();

// The library's header getter, by name or by ordinal (MAKEINTRESOURCEA), or null.
GetHeader exportedGetHeader(HMODULE library, LPCSTR nameOrOrdinal = "winampDSPGetHeader2");

// How many modules the header offers: the player asks for 0, 1, 2, ... until it gets null.
int moduleCount(const PluginHeader* header);

// A file beside the running program, such as the DLL built with it.
std::wstring besideThisProgram(const wchar_t* fileName);

// A DSP plug-in loaded as the player loads it.
struct PlayerPlugin {
  HMODULE library = nullptr;
  PluginHeader* header = nullptr;
  EffectModule* module = nullptr;
};

// Loads the library at `path`, finds its header and module `moduleIndex`, and writes `owner` and
// the library's instance into the module, as the player does before calling it. On failure
// leaves nothing loaded and says why in `error`.
bool loadPlugin(const std::wstring& path, int moduleIndex, HWND owner, PlayerPlugin& plugin,
                std::string& error);

// FreeLibrary, once; the records are forgotten.
void freePlugin(PlayerPlugin& plugin);

// The player's main window, which owns every window a plug-in opens. Never shown. The real
// player's class is "Winamp v1.x", which its installers look for; the tests' hosts keep clear of
// it unless they answer as the player does, with a `windowProcedure` of their own.
HWND createPlayerWindow(const char* windowClassName = "CrackletonPlayerWindow",
                        WNDPROC windowProcedure = DefWindowProcA);

// Serves the thread's waiting messages; `dialog`, when given, has the dialog manager's keys.
void pumpMessages(HWND dialog = nullptr);

// A left click in the middle of `control` as the user's own: through the system's input queue,
// so that the system, not the control, decides where it lands.
void clickLikeTheUser(HWND control);

// Whether an exception is a crash, a fault no program raises on purpose. A host that must not
// lose one (64-bit Windows swallows those raised in a window procedure the system called) looks
// at every exception first, with a vectored handler.
bool isCrash(DWORD exceptionCode);

// The system's own words for an error code, on one line.
std::string describeWindowsError(DWORD code);

std::string narrowText(const std::wstring& text);

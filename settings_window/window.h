#pragma once

// The modeless settings window: two vertical sliders for the amount and the speed, each with a
// label showing it as a percentage.

#include <windows.h>

struct EffectModule;

// Called by the player at any time after it has filled in the module's handles, on its main
// thread or (some hosts) on a thread of its own whose message loop then serves the window. Opens
// the settings window unless the one it last opened is still open, or another thread's
// `configure` is opening one right now. Before any `initialise` it loads the stored settings
// first. While the module is not running, what the user sets in a window is stored when the
// window closes, by OK or with its owner or thread.
void configure(EffectModule* module);

INT_PTR CALLBACK settingsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Writes both labels from the current settings.
void updateLabels(HWND window);

// Has every open settings window show the settings the module holds (`initialise` has just loaded
// them): its own thread's at once, another thread's when that thread next serves its messages.
void showSettingsInEveryWindow();

// The library stays loaded while a settings window is open, even if the host frees it. Called at
// the start of the host's calls into the module (`configure`, `initialise`, `quit`), on any
// thread: once no settings window is open, gives the library back to the host.
void releaseLibraryOnceWindowsClosed();

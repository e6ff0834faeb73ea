#pragma once

// The modeless settings window: two vertical sliders for the amount and the speed, each with a
// label showing it as a percentage.

#include <windows.h>

struct EffectModule;

// Called by the player on its main thread, at any time after it has filled in the module's
// handles. Opens the settings window unless the one it last opened is still open. Before any
// `initialise` it loads the stored settings first, and that window stores them when OK closes it.
void configure(EffectModule* module);

INT_PTR CALLBACK settingsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Writes both labels from the current settings.
void updateLabels(HWND window);

// The library stays loaded while a settings window is open, even if the host frees it. Called at
// the start of the host's calls into the module (`configure`, `initialise`, `quit`), on its main
// thread: once no settings window is open, gives the library back to the host.
void releaseLibraryOnceWindowsClosed();

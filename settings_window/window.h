#pragma once

// The modeless settings window: two vertical sliders for the amount and the speed, each with a
// label showing it as a percentage.

#include <windows.h>

INT_PTR CALLBACK settingsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Writes both labels from the current settings.
void updateLabels(HWND window);

// Has every open settings window show the settings the module holds (it has just loaded them):
// its own thread's at once, another thread's when that thread next serves its messages.
void showSettingsInEveryWindow();

// The library stays loaded while a settings window is open, even if the host frees it. Called at
// the start of the host's calls into the module (`configure`, `initialise`, `quit`), on any
// thread: once no settings window is open, gives the library back to the host.
void releaseLibraryOnceWindowsClosed();

#pragma once

// The modeless settings window: two vertical sliders for the amount and the speed, each with a
// label showing it as a percentage.

#include <windows.h>

struct EffectModule;

// Called by the player on its main thread, at any time after it has filled in the module's
// handles. Opens the settings window unless one is already open.
void configure(EffectModule* module);

INT_PTR CALLBACK settingsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Writes both labels from the current settings.
void updateLabels(HWND window);

// settings_window_driver AMOUNT SPEED: stands in for the user at the settings window that another
// program (dsphost --configure) has open: waits for it, moves the two sliders to the given
// settings (in 1/256) the way a drag ends, and presses OK.

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "plugin/names.h"
#include "settings_window/dialog_ids.h"
#include "settings_window/slider_arithmetic.h"

namespace {

// The dialog template's caption; the dialog's class is the system's dialog class.
constexpr const char* settingsCaption = "Crackleton v1.0";
constexpr const char* dialogClass = "#32770";
constexpr int waitLimitMs = 20000;
constexpr int waitStepMs = 50;

// The window is found as soon as it exists, before its sliders do; it shows once they are set up.
HWND waitForSettingsWindow() {
  for (int waitedMs = 0; waitedMs < waitLimitMs; waitedMs += waitStepMs) {
    HWND window = FindWindowA(dialogClass, settingsCaption);
    if (window != nullptr && IsWindowVisible(window)) {
      return window;
    }
    Sleep(waitStepMs);
  }
  return nullptr;
}

void moveSlider(HWND window, int sliderId, int setting) {
  const HWND slider = GetDlgItem(window, sliderId);
  const int position = sliderPositionFromSetting(setting);
  SendMessageA(slider, TBM_SETPOS, TRUE, position);
  SendMessageA(window, WM_VSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position),
               reinterpret_cast<LPARAM>(slider));
}

}  // namespace

int main(int argumentCount, char** arguments) {
  if (argumentCount != 3) {
    std::fprintf(stderr, "usage: settings_window_driver AMOUNT SPEED\n");
    return 2;
  }
  const HWND window = waitForSettingsWindow();
  if (window == nullptr) {
    std::fprintf(stderr, "settings_window_driver: no settings window appeared\n");
    return 1;
  }
  moveSlider(window, AMOUNT_SLIDER_ID, std::atoi(arguments[1]));
  moveSlider(window, SPEED_SLIDER_ID, std::atoi(arguments[2]));
  const HWND okButton = GetDlgItem(window, OK_BUTTON_ID);
  SendMessageA(window, WM_COMMAND, MAKEWPARAM(OK_BUTTON_ID, BN_CLICKED),
               reinterpret_cast<LPARAM>(okButton));
  return 0;
}

// settings_window_host: opens the plug-in's settings window over a plain host window, the way the
// player does, for scripts/screenshot. Prints the window's screen rectangle as "x y width height"
// on one line once it is shown, then serves it until killed (or for a minute at most).
//
// Usage: settings_window_host [DLL]   (default: dsp_crackleton.dll beside this program)

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "plugin/module.h"
#include "plugin/names.h"
#include "tools/player_host/host_files.h"
#include "tools/player_host/player_host.h"

namespace {

constexpr UINT_PTR giveUpTimerId = 1;
constexpr UINT giveUpAfterMs = 60 * 1000;

// The settings window is the top-level window of this thread that the host did not make.
BOOL CALLBACK findOtherWindow(HWND window, LPARAM found) {
  auto* settingsWindow = reinterpret_cast<HWND*>(found);
  if (IsWindowVisible(window) && GetWindow(window, GW_OWNER) != nullptr) {
    *settingsWindow = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  const std::wstring dllPath =
      argc > 1 ? widenedText(argv[1]) : besideThisProgram(widenedText(libraryFileName).c_str());
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);

  HWND hostWindow = createPlayerWindow();
  PlayerPlugin plugin;
  std::string error;
  if (!loadPlugin(dllPath, 0, hostWindow, plugin, error)) {
    std::fprintf(stderr, "settings_window_host: %s\n", error.c_str());
    return 1;
  }
  EffectModule* module = plugin.module;
  module->initialise(module);
  module->configure(module);

  HWND settingsWindow = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), findOtherWindow,
                    reinterpret_cast<LPARAM>(&settingsWindow));
  if (settingsWindow == nullptr) {
    std::fprintf(stderr, "settings_window_host: no settings window opened\n");
    return 1;
  }
  // Clear of the screen's corner, where a window manager might put something of its own.
  SetWindowPos(settingsWindow, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE);
  UpdateWindow(settingsWindow);
  RECT rect;
  GetWindowRect(settingsWindow, &rect);
  std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
              rect.bottom - rect.top);
  std::fflush(stdout);

  SetTimer(nullptr, giveUpTimerId, giveUpAfterMs, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.hwnd == nullptr) {
      break;
    }
    if (!IsDialogMessageA(settingsWindow, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  return 0;
}

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

namespace {

constexpr UINT_PTR giveUpTimerId = 1;
constexpr UINT giveUpAfterMs = 60 * 1000;

std::string dllBesideThisProgram() {
  char self[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string path(self, length);
  return path.substr(0, path.find_last_of("\\/") + 1) + "dsp_crackleton.dll";
}

HWND createHostWindow() {
  return CreateWindowExA(0, "STATIC", "Crackleton settings window host", WS_OVERLAPPEDWINDOW, 0, 0,
                         320, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

EffectModule* loadModule(const std::string& dllPath, HWND hostWindow) {
  HMODULE library = LoadLibraryA(dllPath.c_str());
  if (library == nullptr) {
    return nullptr;
  }
  using GetHeader = PluginHeader* (*)();
  // Through a function type without parameters, as GCC asks for a deliberate cast.
  auto getHeader = reinterpret_cast<GetHeader>(
      reinterpret_cast<void (*)()>(GetProcAddress(library, "winampDSPGetHeader2")));
  EffectModule* module = getHeader == nullptr ? nullptr : getHeader()->moduleAt(0);
  if (module != nullptr) {
    module->parentWindow = hostWindow;
    module->instance = library;
  }
  return module;
}

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
  const std::string dllPath = argc > 1 ? argv[1] : dllBesideThisProgram();
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);

  HWND hostWindow = createHostWindow();
  EffectModule* module = loadModule(dllPath, hostWindow);
  if (module == nullptr) {
    std::fprintf(stderr, "settings_window_host: cannot load %s\n", dllPath.c_str());
    return 1;
  }
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

// player_window PROGRAM [ARGUMENTS...]
// Runs PROGRAM while a window of the player's main window class is open, as if the player were
// running, and exits with PROGRAM's exit code (or 101 and up when it could not be started). The
// rest of the command line reaches PROGRAM as it arrived here.

#include <windows.h>

#include <cstring>
#include <string>

#include "tools/player_host/player_host.h"

namespace {

constexpr const char* playerWindowClass = "Winamp v1.x";

// The command line after this program's own name, which may be quoted.
std::string argumentsAfterProgramName(const char* commandLine) {
  const char* rest = commandLine;
  if (*rest == '"') {
    rest = std::strchr(rest + 1, '"');
    rest = rest ? rest + 1 : "";
  } else {
    rest += std::strcspn(rest, " \t");
  }
  return rest + std::strspn(rest, " \t");
}

}  // namespace

int main() {
  const HWND window = createPlayerWindow(playerWindowClass);
  if (!window) {
    return 101;
  }

  std::string commandLine = argumentsAfterProgramName(GetCommandLineA());
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (commandLine.empty() || !CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                                             0, nullptr, nullptr, &startup, &process)) {
    return 102;
  }
  // The window keeps answering while it waits: a program that sends it a message, or broadcasts
  // one, would otherwise hang.
  while (MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, INFINITE, QS_ALLINPUT) !=
         WAIT_OBJECT_0) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageA(&message);
    }
  }
  DWORD exitCode = 103;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  DestroyWindow(window);
  return static_cast<int>(exitCode);
}

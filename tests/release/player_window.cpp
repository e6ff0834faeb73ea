// player_window PROGRAM [ARGUMENTS...]
// Runs PROGRAM while a window of the player's main window class is open, as if the player were
// running, and exits with PROGRAM's exit code (or 101 and up when it could not be started). The
// rest of the command line reaches PROGRAM as it arrived here.

#include <windows.h>

#include "tests/release/rest_of_command_line.h"
#include "tools/player_host/player_host.h"

namespace {

constexpr const char* playerWindowClass = "Winamp v1.x";

}  // namespace

int main() {
  const HWND window = createPlayerWindow(playerWindowClass);
  if (!window) {
    return 101;
  }

  PROCESS_INFORMATION process;
  if (!startProgram(restOfCommandLine(), process)) {
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
  const int exitCode = exitCodeOf(process);
  DestroyWindow(window);
  return exitCode;
}

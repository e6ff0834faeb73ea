// dsphost: runs a DSP plug-in over raw interleaved PCM the way the player does, standard input to
// standard output, one block at a time.

#include <windows.h>

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "plugin/module.h"
#include "plugin/names.h"
#include "tools/dsphost/host_options.h"
#include "tools/player_host/host_files.h"
#include "tools/player_host/player_host.h"

namespace {

// How long a settings window made on a thread of the plug-in's own may take to appear.
constexpr DWORD settingsWindowGraceMs = 2000;

int fail(const std::string& message) {
  std::fprintf(stderr, "dsphost: %s\n", message.c_str());
  return 1;
}

struct SettingsWindowSearch {
  HWND hostWindow;
  HWND found;
};

BOOL CALLBACK checkForSettingsWindow(HWND window, LPARAM searchAddress) {
  auto* search = reinterpret_cast<SettingsWindowSearch*>(searchAddress);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (window != search->hostWindow && processId == GetCurrentProcessId() &&
      IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// Any visible top-level window of this process but the host's own is the plug-in's.
HWND findSettingsWindow(HWND hostWindow) {
  SettingsWindowSearch search = {hostWindow, nullptr};
  EnumWindows(checkForSettingsWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Opens the plug-in's settings window and returns once the user has closed it.
void runSettingsWindow(EffectModule* module, HWND hostWindow) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  module->configure(module);
  const DWORD start = GetTickCount();
  bool seen = false;
  for (;;) {
    const HWND settingsWindow = findSettingsWindow(hostWindow);
    seen = seen || settingsWindow != nullptr;
    if (settingsWindow == nullptr && (seen || GetTickCount() - start > settingsWindowGraceMs)) {
      return;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    pumpMessages(settingsWindow);
  }
}

// Hands standard input to the module block by block and writes what it leaves to standard output.
// Every whole frame read is written before a trailing part of a frame is reported.
bool processInput(const HostOptions& options, EffectModule* module, std::string& error) {
  const std::int32_t frameBytes = bytesPerFrame(options);
  const std::size_t blockBytes = static_cast<std::size_t>(bytesPerBlock(options));
  // Held as 16-bit values so that the plug-in gets an aligned pointer whatever the width.
  std::vector<std::int16_t> block((blockBytes + 1) / 2);
  char* blockStart = reinterpret_cast<char*>(block.data());
  std::int64_t framesDone = 0;
  std::size_t strayBytes = 0;
  for (;;) {
    const std::size_t bytesRead = std::fread(blockStart, 1, blockBytes, stdin);
    strayBytes = bytesRead % frameBytes;
    const auto frames = static_cast<std::int32_t>(bytesRead / frameBytes);
    if (frames > 0) {
      const std::int32_t framesLeft =
          framesToWrite(module->process(module, block.data(), frames, options.bitsPerSample,
                                        options.channels, options.sampleRate),
                        frames);
      if (std::fwrite(blockStart, frameBytes, framesLeft, stdout) !=
          static_cast<std::size_t>(framesLeft)) {
        error = "cannot write the output";
        return false;
      }
      framesDone += frames;
    }
    if (bytesRead < blockBytes) {
      break;
    }
  }
  if (std::ferror(stdin)) {
    error = "cannot read the input";
    return false;
  }
  if (std::fflush(stdout) != 0) {
    error = "cannot write the output";
    return false;
  }
  if (strayBytes != 0) {
    error = "the input ends inside a frame: " + std::to_string(strayBytes) + " byte(s) after " +
            std::to_string(framesDone) + " whole frame(s)";
    return false;
  }
  return true;
}

}  // namespace

int main(int argumentCount, char** arguments) {
  HostOptions options;
  std::string error;
  if (!parseHostOptions(argumentCount - 1, arguments + 1, options, error)) {
    fail(error);
    return 2;
  }
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);

  const std::wstring path = options.pluginPath.empty()
                                ? besideThisProgram(widenedText(libraryFileName).c_str())
                                : widenedText(options.pluginPath);
  const HWND hostWindow = createPlayerWindow();
  PlayerPlugin plugin;
  if (!loadPlugin(path, options.moduleIndex, hostWindow, plugin, error)) {
    DestroyWindow(hostWindow);
    return fail(error);
  }
  EffectModule* module = plugin.module;

  // The player leaves a module that does not start unused.
  const std::int32_t started = module->initialise(module);
  if (started != 0) {
    DestroyWindow(hostWindow);
    freePlugin(plugin);
    return fail("module " + std::to_string(options.moduleIndex) +
                " did not start: initialise returned " + std::to_string(started));
  }
  if (options.openSettingsWindow) {
    runSettingsWindow(module, hostWindow);
  }
  const bool processed = processInput(options, module, error);
  module->quit(module);
  DestroyWindow(hostWindow);
  freePlugin(plugin);
  return processed ? 0 : fail(error);
}

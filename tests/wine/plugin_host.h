#pragma once

// What every Windows test host shares: fresh folders, files as text, and a copy of the built DLL
// loaded and set up the way the player sets up a DSP plug-in (tools/player_host).

#include <windows.h>

#include <string>
#include <vector>

#include "plugin/module.h"
#include "tools/player_host/player_host.h"

// A new empty folder under the temporary directory, deleted with its contents at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// dsp_crackleton.dll as built, beside this test program.
std::string builtDllPath();

bool fileExists(const std::string& path);
std::string readTextFile(const std::string& path);
void writeTextFile(const std::string& path, const std::string& text);

// A copy of the DLL loaded as the player loads it, module 0 with `parentWindow` and `instance`
// filled in. Freed at the end unless already freed.
struct LoadedPlugin : PlayerPlugin {
  // Copies the built DLL to `dllPath` and loads that copy.
  bool load(const std::string& dllPath, HWND parentWindow = nullptr);
  void unload() { freePlugin(*this); }
  ~LoadedPlugin() { unload(); }
};

// Every settings window of this process (by its caption), open or hidden.
std::vector<HWND> settingsWindows();

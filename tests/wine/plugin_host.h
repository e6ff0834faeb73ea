#pragma once

// What every Windows test host shares: fresh folders, files as text, and a copy of the built DLL
// loaded and set up the way the player sets up a DSP plug-in.

#include <windows.h>

#include <string>

#include "plugin/module.h"

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

void deleteTree(const std::string& path);

using GetHeader = PluginHeader* (*)();

// The library's export by name or by ordinal (MAKEINTRESOURCEA), or null.
GetHeader exportedGetHeader(HMODULE library, LPCSTR nameOrOrdinal = "winampDSPGetHeader2");

// dsp_crackleton.dll as built, beside this test program.
std::string builtDllPath();

bool fileExists(const std::string& path);
std::string readTextFile(const std::string& path);
void writeTextFile(const std::string& path, const std::string& text);

// A copy of the DLL loaded as the player loads it: LoadLibrary, winampDSPGetHeader2, module 0,
// its `parentWindow` and `instance` filled in. Freed at the end unless already freed.
struct LoadedPlugin {
  HMODULE library = nullptr;
  PluginHeader* header = nullptr;
  EffectModule* module = nullptr;

  // Copies the built DLL to `dllPath` and loads that copy.
  bool load(const std::string& dllPath, HWND parentWindow = nullptr);
  void unload();
  ~LoadedPlugin() { unload(); }

  // plugin.ini beside the loaded copy.
  std::string settingsFile() const;
};

// Pumps the thread's messages until none are waiting.
void pumpMessages();

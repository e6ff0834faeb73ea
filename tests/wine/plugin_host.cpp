#include "plugin_host.h"

#include "plugin/names.h"
#include "tools/player_host/host_files.h"

TempFolder::TempFolder() {
  static int count = 0;
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  path_ = std::string(temp) + "crackleton-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(++count);
  deleteTree(widenedText(path_));
  CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() {
  deleteTree(widenedText(path_));
}

std::string builtDllPath() {
  return narrowText(besideThisProgram(widenedText(libraryFileName).c_str()));
}

bool fileExists(const std::string& path) {
  return fileExists(widenedText(path));
}

std::string readTextFile(const std::string& path) {
  return readFileBytes(widenedText(path));
}

void writeTextFile(const std::string& path, const std::string& text) {
  writeFileBytes(widenedText(path), text);
}

bool LoadedPlugin::load(const std::string& dllPath, HWND parentWindow) {
  std::string error;
  return CopyFileA(builtDllPath().c_str(), dllPath.c_str(), FALSE) &&
         loadPlugin(widenedText(dllPath), 0, parentWindow, *this, error);
}

namespace {

BOOL CALLBACK collectSettingsWindow(HWND window, LPARAM windows) {
  char caption[32] = "";
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  GetWindowTextA(window, caption, sizeof caption);
  if (processId == GetCurrentProcessId() && lstrcmpA(caption, "Crackleton v1.0") == 0) {
    reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
  }
  return TRUE;
}

}  // namespace

std::vector<HWND> settingsWindows() {
  std::vector<HWND> windows;
  EnumWindows(collectSettingsWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

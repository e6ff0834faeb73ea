#include "plugin/path_beside_library.h"

#include <cstring>
#include <cwchar>

#include "plugin/names.h"

namespace {

// Writes "plugin.ini" and its terminator at `at`. The name is plain ASCII: each character widens
// as it is.
void writeSettingsFileName(wchar_t* at) {
  for (std::size_t iChar = 0; iChar <= std::strlen(settingsFileName); ++iChar) {
    at[iChar] = static_cast<wchar_t>(settingsFileName[iChar]);
  }
}

}  // namespace

bool settingsPathBeside(const wchar_t* libraryFileName, wchar_t* path, std::size_t capacity) {
  const wchar_t* lastBackslash = std::wcsrchr(libraryFileName, L'\\');
  const std::size_t directoryLength =
      lastBackslash == nullptr ? 0 : static_cast<std::size_t>(lastBackslash - libraryFileName) + 1;
  const std::size_t fileNameLength = std::strlen(settingsFileName);

  if (capacity == 0) {
    return false;
  }
  if (directoryLength + fileNameLength + 1 > capacity) {
    path[0] = L'\0';
    return false;
  }
  std::wmemcpy(path, libraryFileName, directoryLength);
  writeSettingsFileName(path + directoryLength);
  return true;
}

bool playerSettingsPaths(const wchar_t* playerFolder, wchar_t* pluginsFolder, wchar_t* path,
                         std::size_t capacity) {
  static const wchar_t pluginsName[] = L"\\Plugins";
  std::size_t folderLength = std::wcslen(playerFolder);
  // "C:\Winamp\" names the folder "C:\Winamp" does.
  while (folderLength > 0 && playerFolder[folderLength - 1] == L'\\') {
    --folderLength;
  }
  const std::size_t pluginsLength = folderLength + std::wcslen(pluginsName);
  const std::size_t fileNameLength = std::strlen(settingsFileName);
  if (capacity == 0) {
    return false;
  }
  if (pluginsLength + 1 + fileNameLength + 1 > capacity) {
    pluginsFolder[0] = L'\0';
    path[0] = L'\0';
    return false;
  }
  std::wmemcpy(pluginsFolder, playerFolder, folderLength);
  std::wcscpy(pluginsFolder + folderLength, pluginsName);
  std::wmemcpy(path, pluginsFolder, pluginsLength);
  path[pluginsLength] = L'\\';
  writeSettingsFileName(path + pluginsLength + 1);
  return true;
}

#include "plugin/path_beside_library.h"

#include <cstring>
#include <cwchar>

#include "plugin/names.h"

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
  // The file's name is plain ASCII: each character widens as it is.
  for (std::size_t iChar = 0; iChar <= fileNameLength; ++iChar) {
    path[directoryLength + iChar] = static_cast<wchar_t>(settingsFileName[iChar]);
  }
  return true;
}

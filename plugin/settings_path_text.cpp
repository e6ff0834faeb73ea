#include "plugin/settings_path_text.h"

#include <cstring>

#include "plugin/names.h"

bool settingsPathBeside(const char* libraryFileName, char* path, std::size_t capacity) {
  const char* lastBackslash = std::strrchr(libraryFileName, '\\');
  const std::size_t directoryLength =
      lastBackslash == nullptr ? 0 : static_cast<std::size_t>(lastBackslash - libraryFileName) + 1;
  const std::size_t fileNameLength = std::strlen(settingsFileName);

  if (capacity == 0) {
    return false;
  }
  if (directoryLength + fileNameLength + 1 > capacity) {
    path[0] = '\0';
    return false;
  }
  std::memcpy(path, libraryFileName, directoryLength);
  std::memcpy(path + directoryLength, settingsFileName, fileNameLength + 1);
  return true;
}

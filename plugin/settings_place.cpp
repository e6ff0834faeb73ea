// Picking the settings file, once per load of the library.

#include "plugin/settings_place.h"

#include <atomic>

#include "plugin/module.h"
#include "plugin/path_beside_library.h"

namespace {

SettingsFiles picked;
// Whether `picked` is there to be read: nobody has picked yet, one thread is writing it, written.
enum PickState { notPicked, publishing, published };
std::atomic<int> pickState{notPicked};

bool pathBesideLibrary(const EffectModule* module, wchar_t (&path)[MAX_PATH]) {
  wchar_t libraryFileName[MAX_PATH];
  const DWORD length = GetModuleFileNameW(module->instance, libraryFileName, MAX_PATH);
  // A name that fills the whole buffer may have been cut short, and older systems leave it
  // unterminated: treat it like no name at all rather than guess at a directory.
  if (length == 0 || length >= MAX_PATH) {
    path[0] = L'\0';
    return false;
  }
  return settingsPathBeside(libraryFileName, path, MAX_PATH);
}

// Whether the settings file at `path` can be kept there: its folder takes a new file, and the
// file, if it is there, opens for writing. The new file is made with nothing in it and goes when
// its handle closes, whatever happens; the settings file is opened, not written.
bool folderTakesSettings(const wchar_t* path) {
  wchar_t probe[MAX_PATH];
  if (lstrlenW(path) + 16 >= MAX_PATH) {
    return true;  // too long to probe beside; as players have always had it
  }
  wsprintfW(probe, L"%s.%lu.probe", path, GetCurrentProcessId());
  HANDLE probeFile = CreateFileW(
      probe, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (probeFile == INVALID_HANDLE_VALUE) {
    // A file of that very name says nothing against the folder.
    if (GetLastError() != ERROR_FILE_EXISTS) {
      return false;
    }
  } else {
    CloseHandle(probeFile);
  }
  // Held by another program for a moment is not unwritable.
  const DWORD error = errorOpening(path, GENERIC_WRITE);
  return error == 0 || error == ERROR_FILE_NOT_FOUND || error == ERROR_SHARING_VIOLATION;
}

bool readable(const MEMORY_BASIC_INFORMATION& region) {
  constexpr DWORD readableProtections = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY |
                                        PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                                        PAGE_EXECUTE_WRITECOPY;
  return region.State == MEM_COMMIT && (region.Protect & readableProtections) != 0 &&
         (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) == 0;
}

// Copies the text at `text`, which some window answered with, if it is readable memory and ends
// within MAX_PATH bytes: an answer from a host that means something else by the message must not
// crash the player.
bool copyAnsweredText(const char* text, char (&copy)[MAX_PATH]) {
  std::size_t iChar = 0;
  while (iChar < MAX_PATH) {
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(text + iChar, &region, sizeof region) == 0 || !readable(region)) {
      return false;
    }
    const char* regionEnd = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    for (; iChar < MAX_PATH && text + iChar < regionEnd; ++iChar) {
      copy[iChar] = text[iChar];
      if (copy[iChar] == '\0') {
        return true;
      }
    }
  }
  return false;
}

// plugin.ini in the Plugins folder of the player's settings folder, if the player names one that
// is there. Makes the Plugins folder if it is missing.
bool pathInPlayerFolder(const EffectModule* module, wchar_t (&path)[MAX_PATH]) {
  DWORD_PTR answer = 0;
  if (module->parentWindow == nullptr ||
      !SendMessageTimeoutA(module->parentWindow, WM_USER, 0, playerSettingsFolderQuery,
                           SMTO_NORMAL | SMTO_ABORTIFHUNG, playerQueryTimeoutMilliseconds,
                           &answer) ||
      answer == 0) {
    return false;
  }
  char folder[MAX_PATH];
  wchar_t wideFolder[MAX_PATH];
  wchar_t pluginsFolder[MAX_PATH];
  if (!copyAnsweredText(reinterpret_cast<const char*>(answer), folder) ||
      MultiByteToWideChar(CP_ACP, 0, folder, -1, wideFolder, MAX_PATH) == 0 ||
      !playerSettingsPaths(wideFolder, pluginsFolder, path, MAX_PATH)) {
    return false;
  }
  const DWORD folderAttributes = GetFileAttributesW(wideFolder);
  if (folderAttributes == INVALID_FILE_ATTRIBUTES ||
      (folderAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return false;
  }
  CreateDirectoryW(pluginsFolder, nullptr);
  const DWORD pluginsAttributes = GetFileAttributesW(pluginsFolder);
  return pluginsAttributes != INVALID_FILE_ATTRIBUTES &&
         (pluginsAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void pick(const EffectModule* module, SettingsFiles& files) {
  files.written[0] = L'\0';
  if (!pathBesideLibrary(module, files.besideLibrary)) {
    return;
  }
  if (folderTakesSettings(files.besideLibrary) || !pathInPlayerFolder(module, files.written)) {
    lstrcpyW(files.written, files.besideLibrary);
  }
}

}  // namespace

DWORD errorOpening(const wchar_t* path, DWORD access) {
  HANDLE file = CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return GetLastError();
  }
  CloseHandle(file);
  return 0;
}

void settingsFiles(const EffectModule* module, SettingsFiles& files) {
  if (pickState.load(std::memory_order_acquire) == published) {
    files = picked;
    return;
  }
  // Two first calls at once both pick, alike; the first to finish publishes its answer.
  pick(module, files);
  int expected = notPicked;
  if (pickState.compare_exchange_strong(expected, publishing)) {
    picked = files;
    pickState.store(published, std::memory_order_release);
  }
}

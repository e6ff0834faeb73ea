// Picking the settings file, once per load of the library that can decide.

#include "plugin/settings_place.h"

#include <atomic>
#include <cstdint>

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

// Copies the text at `text`, which the player's window answered with, if it is readable memory
// and ends within MAX_PATH characters: a window that means something else by the message must not
// crash the player.
template <typename Char>
bool copyAnsweredText(const Char* text, Char (&copy)[MAX_PATH]) {
  const auto start = reinterpret_cast<std::uintptr_t>(text);
  std::uintptr_t readableEnd = start;  // the bytes from `start` up to here are readable
  for (std::size_t iChar = 0; iChar < MAX_PATH; ++iChar) {
    const std::uintptr_t charEnd = start + (iChar + 1) * sizeof(Char);
    if (charEnd <= start) {
      return false;  // runs past the end of the address space
    }
    while (readableEnd < charEnd) {
      MEMORY_BASIC_INFORMATION region;
      if (VirtualQuery(reinterpret_cast<const void*>(readableEnd), &region, sizeof region) == 0 ||
          !readable(region)) {
        return false;
      }
      readableEnd = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
    }
    copy[iChar] = text[iChar];
    if (copy[iChar] == 0) {
      return true;
    }
  }
  return false;
}

bool isFolder(const wchar_t* path) {
  const DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The player's main window: `window` or the first of its owners (a child window's parents) that
// is a window of the player's class in this process. A dialog or any other window would take the
// question for a message of its own and answer something else.
HWND playerWindowFrom(HWND window) {
  for (int iStep = 0; window != nullptr && iStep < 16; ++iStep) {
    DWORD processId = 0;
    char className[32];
    GetWindowThreadProcessId(window, &processId);
    if (processId == GetCurrentProcessId() &&
        GetClassNameA(window, className, sizeof className) != 0 &&
        lstrcmpiA(className, playerWindowClass) == 0) {
      return window;
    }
    window = (GetWindowLongPtrA(window, GWL_STYLE) & WS_CHILD) != 0 ? GetAncestor(window, GA_PARENT)
                                                                    : GetWindow(window, GW_OWNER);
  }
  return nullptr;
}

// Sends `query` to the player's window with what is left of the time until `deadline`. False when
// it went unanswered in time.
bool ask(HWND player, LPARAM query, DWORD deadline, DWORD_PTR& answer) {
  const auto left = static_cast<LONG>(deadline - GetTickCount());
  answer = 0;
  return left > 0 && SendMessageTimeoutW(player, WM_USER, 0, query, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                         static_cast<UINT>(left), &answer) != 0;
}

enum class PlayerSays { folder, noFolder, nothing };

// Asks the player's window for its settings folder, in wide text first, so that a folder the
// ANSI code page cannot spell is found too; puts it in `folder`. `nothing` when the window did not
// answer in time or answered something that is not a folder.
PlayerSays askForSettingsFolder(HWND player, wchar_t (&folder)[MAX_PATH]) {
  const DWORD deadline = GetTickCount() + playerQueryTimeoutMilliseconds;
  DWORD_PTR wideAnswer = 0;
  if (!ask(player, playerSettingsFolderQueryWide, deadline, wideAnswer)) {
    return PlayerSays::nothing;
  }
  if (wideAnswer != 0 && copyAnsweredText(reinterpret_cast<const wchar_t*>(wideAnswer), folder) &&
      isFolder(folder)) {
    return PlayerSays::folder;
  }
  DWORD_PTR answer = 0;
  if (!ask(player, playerSettingsFolderQuery, deadline, answer)) {
    return PlayerSays::nothing;
  }
  char ansiFolder[MAX_PATH];
  if (answer != 0 && copyAnsweredText(reinterpret_cast<const char*>(answer), ansiFolder) &&
      MultiByteToWideChar(CP_ACP, 0, ansiFolder, -1, folder, MAX_PATH) != 0 && isFolder(folder)) {
    return PlayerSays::folder;
  }
  return wideAnswer == 0 && answer == 0 ? PlayerSays::noFolder : PlayerSays::nothing;
}

// plugin.ini in the Plugins folder of the player's settings folder `folder`. Makes the Plugins
// folder if it is missing.
bool pathInPlayerFolder(const wchar_t* folder, wchar_t (&path)[MAX_PATH]) {
  wchar_t pluginsFolder[MAX_PATH];
  if (!playerSettingsPaths(folder, pluginsFolder, path, MAX_PATH)) {
    return false;
  }
  CreateDirectoryW(pluginsFolder, nullptr);
  return isFolder(pluginsFolder);
}

void pick(const EffectModule* module, SettingsFiles& files) {
  files.written[0] = L'\0';
  files.decided = true;
  if (!pathBesideLibrary(module, files.besideLibrary)) {
    return;
  }
  lstrcpyW(files.written, files.besideLibrary);
  if (folderTakesSettings(files.besideLibrary)) {
    return;
  }
  const HWND player = playerWindowFrom(module->parentWindow);
  wchar_t folder[MAX_PATH];
  const PlayerSays says =
      player == nullptr ? PlayerSays::nothing : askForSettingsFolder(player, folder);
  if (says == PlayerSays::folder && pathInPlayerFolder(folder, files.written)) {
    return;
  }
  lstrcpyW(files.written, files.besideLibrary);
  files.decided = says == PlayerSays::noFolder;
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
  // Two first calls at once may both pick; the first to decide publishes its answer, and a call
  // that could not decide takes one that another call published meanwhile.
  pick(module, files);
  int expected = notPicked;
  if (files.decided && pickState.compare_exchange_strong(expected, publishing)) {
    picked = files;
    pickState.store(published, std::memory_order_release);
  }
  if (pickState.load(std::memory_order_acquire) == published) {
    files = picked;
  }
}

#include "tools/player_host/player_host.h"

GetHeader exportedGetHeader(HMODULE library, LPCSTR nameOrOrdinal) {
  // Through the generic function type: GetProcAddress's own type fits no real export.
  return reinterpret_cast<GetHeader>(
      reinterpret_cast<void (*)()>(GetProcAddress(library, nameOrOrdinal)));
}

int moduleCount(const PluginHeader* header) {
  int count = 0;
  while (header != nullptr && header->moduleAt(count) != nullptr) {
    ++count;
  }
  return count;
}

std::wstring besideThisProgram(const wchar_t* fileName) {
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring path(self, length);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + fileName;
}

bool loadPlugin(const std::wstring& path, int moduleIndex, HWND owner, PlayerPlugin& plugin,
                std::string& error) {
  plugin = {};
  HMODULE library = LoadLibraryW(path.c_str());
  if (library == nullptr) {
    error = "cannot load " + narrowText(path) + " (" + describeWindowsError(GetLastError()) + ")";
    return false;
  }
  const GetHeader getHeader = exportedGetHeader(library);
  PluginHeader* header = getHeader == nullptr ? nullptr : getHeader();
  if (header == nullptr) {
    error = narrowText(path) + " is not a DSP plug-in: it has no winampDSPGetHeader2";
    FreeLibrary(library);
    return false;
  }
  const int count = moduleCount(header);
  if (moduleIndex < 0 || moduleIndex >= count) {
    error = narrowText(path) + " has no module " + std::to_string(moduleIndex) + " (it has " +
            std::to_string(count) + ")";
    FreeLibrary(library);
    return false;
  }
  plugin.library = library;
  plugin.header = header;
  plugin.module = header->moduleAt(moduleIndex);
  plugin.module->parentWindow = owner;
  plugin.module->instance = library;
  return true;
}

void freePlugin(PlayerPlugin& plugin) {
  if (plugin.library != nullptr) {
    FreeLibrary(plugin.library);
  }
  plugin = {};
}

HWND createPlayerWindow(const char* windowClassName, WNDPROC windowProcedure) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = windowProcedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = windowClassName;
  // A second call finds the class already there, which is as good.
  RegisterClassA(&windowClass);
  return CreateWindowExA(0, windowClassName, "Player", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200, nullptr,
                         nullptr, instance, nullptr);
}

void pumpMessages(HWND dialog) {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (dialog != nullptr && IsDialogMessageA(dialog, &message)) {
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void clickLikeTheUser(HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  INPUT clicks[2] = {};
  clicks[0].type = clicks[1].type = INPUT_MOUSE;
  clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, clicks, sizeof(INPUT));
  pumpMessages();
}

bool isCrash(DWORD exceptionCode) {
  switch (exceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
      return true;
    default:
      return false;
  }
}

std::string describeWindowsError(DWORD code) {
  char text[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                 sizeof text, nullptr);
  std::string description = text;
  // Some messages name the file as an insert, left unfilled here.
  const std::size_t insert = description.find("%1");
  if (insert != std::string::npos) {
    description.replace(insert, 2, "the file");
  }
  while (!description.empty() &&
         (description.back() == '\n' || description.back() == '\r' || description.back() == '.')) {
    description.pop_back();
  }
  return "Windows error " + std::to_string(code) + (description.empty() ? "" : ": " + description);
}

std::string narrowText(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(size > 0 ? size - 1 : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, narrow.data(), size, nullptr, nullptr);
  return narrow;
}

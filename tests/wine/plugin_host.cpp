#include "plugin_host.h"

namespace {

std::string folderOf(const std::string& path) {
  return path.substr(0, path.find_last_of('\\'));
}

}  // namespace

TempFolder::TempFolder() {
  static int count = 0;
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  path_ = std::string(temp) + "crackleton-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(++count);
  deleteTree(path_);
  CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() {
  deleteTree(path_);
}

void deleteTree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") {
        continue;
      }
      const std::string child = path + "\\" + name;
      SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        deleteTree(child);
      } else {
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

std::string builtDllPath() {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  return folderOf(self) + "\\dsp_crackleton.dll";
}

bool fileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string readTextFile(const std::string& path) {
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return "";
  }
  std::string text;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
    text.append(chunk, got);
  }
  CloseHandle(file);
  return text;
}

void writeTextFile(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

GetHeader exportedGetHeader(HMODULE library, LPCSTR nameOrOrdinal) {
  // Through void*: a FARPROC and the header getter are different function types.
  return reinterpret_cast<GetHeader>(
      reinterpret_cast<void*>(GetProcAddress(library, nameOrOrdinal)));
}

bool LoadedPlugin::load(const std::string& dllPath, HWND parentWindow) {
  if (!CopyFileA(builtDllPath().c_str(), dllPath.c_str(), FALSE)) {
    return false;
  }
  library = LoadLibraryA(dllPath.c_str());
  if (library == nullptr) {
    return false;
  }
  GetHeader getHeader = exportedGetHeader(library);
  if (getHeader == nullptr) {
    return false;
  }
  header = getHeader();
  module = header->moduleAt(0);
  if (module == nullptr) {
    return false;
  }
  module->parentWindow = parentWindow;
  module->instance = library;
  return true;
}

void LoadedPlugin::unload() {
  if (library != nullptr) {
    FreeLibrary(library);
  }
  library = nullptr;
  header = nullptr;
  module = nullptr;
}

std::string LoadedPlugin::settingsFile() const {
  char self[MAX_PATH];
  GetModuleFileNameA(library, self, MAX_PATH);
  return folderOf(self) + "\\plugin.ini";
}

void pumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

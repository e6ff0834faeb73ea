// winamp.exe in the installer test's player folders: writes started.txt beside itself, holding
// the DSP plug-in that winamp.ini beside it names as it starts (the one the player would load),
// and exits.

#include <windows.h>

#include <string>

#include "tools/player_host/player_host.h"

int main() {
  wchar_t dspPlugin[MAX_PATH] = L"";
  GetPrivateProfileStringW(L"Winamp", L"dspplugin_name", L"", dspPlugin, MAX_PATH,
                           besideThisProgram(L"winamp.ini").c_str());
  const std::string text = narrowText(dspPlugin);
  const HANDLE file = CreateFileW(besideThisProgram(L"started.txt").c_str(), GENERIC_WRITE, 0,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  const bool ok = file != INVALID_HANDLE_VALUE &&
                  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
  }
  return ok ? 0 : 1;
}

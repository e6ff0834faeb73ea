// winamp.exe in the installer test's player folders: writes started.txt beside itself, holding
// the DSP plug-in that winamp.ini beside it names as it starts (the one the player would load),
// and exits.

#include <windows.h>

#include "tools/player_host/host_files.h"
#include "tools/player_host/player_host.h"

int main() {
  wchar_t dspPlugin[MAX_PATH] = L"";
  GetPrivateProfileStringW(L"Winamp", L"dspplugin_name", L"", dspPlugin, MAX_PATH,
                           besideThisProgram(L"winamp.ini").c_str());
  return writeFileBytes(besideThisProgram(L"started.txt"), narrowText(dspPlugin)) ? 0 : 1;
}

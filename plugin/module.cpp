// The exported header, the one module record and the library's entry routine.

#include "plugin/module.h"

#include <windows.h>

#include <type_traits>

#include "plugin/names.h"

// The records spell the player's handles as <windows.h> does.
static_assert(std::is_same<HWND, HWND__*>::value && std::is_same<HINSTANCE, HINSTANCE__*>::value);

namespace {

EffectModule theModule = {
    descriptionText, nullptr, nullptr, configure, initialise, process, quit, nullptr,
};

PluginHeader theHeader = {0x20, descriptionText, moduleAt};

}  // namespace

EffectModule* moduleAt(std::int32_t index) {
  return index == 0 ? &theModule : nullptr;
}

PluginHeader* winampDSPGetHeader2() {
  return &theHeader;
}

// The library keeps nothing from its entry arguments: the player writes the instance handle it
// wants used into the module record.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}

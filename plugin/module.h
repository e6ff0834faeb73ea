#pragma once

// The library's whole surface towards the player: the exported header, the one module record,
// and the four callbacks the player calls through it, each with who calls it, on which thread
// and in what order, and the file that defines it.
//
// Portable: the player's window and instance handles are spelt as <windows.h> spells them, so
// that native tests can call `process` without it.

#include <cstddef>
#include <cstdint>

struct HWND__;
struct HINSTANCE__;
struct EffectModule;

struct PluginHeader {
  std::int32_t version;  // 0x20, the layout of this header
  const char* description;
  EffectModule* (*moduleAt)(std::int32_t index);
};

// The player fills in `parentWindow` and `instance`, then calls the operations with a pointer to
// this very record.
struct EffectModule {
  const char* description;
  HWND__* parentWindow;
  HINSTANCE__* instance;
  void (*configure)(EffectModule* module);
  std::int32_t (*initialise)(EffectModule* module);
  std::int32_t (*process)(EffectModule* module, std::int16_t* samples, std::int32_t frames,
                          std::int32_t bitsPerSample, std::int32_t channels,
                          std::int32_t sampleRate);
  void (*quit)(EffectModule* module);
  void* context;  // never read or written by the library
};

#if UINTPTR_MAX == 0xFFFFFFFFu
// Both records cross into the player: 32-bit fields, little-endian, no gaps.
static_assert(offsetof(PluginHeader, version) == 0 && offsetof(PluginHeader, description) == 4 &&
              offsetof(PluginHeader, moduleAt) == 8 && sizeof(PluginHeader) == 12);
static_assert(offsetof(EffectModule, description) == 0 &&
              offsetof(EffectModule, parentWindow) == 4 && offsetof(EffectModule, instance) == 8 &&
              offsetof(EffectModule, configure) == 12 && offsetof(EffectModule, initialise) == 16 &&
              offsetof(EffectModule, process) == 20 && offsetof(EffectModule, quit) == 24 &&
              offsetof(EffectModule, context) == 28 && sizeof(EffectModule) == 32);
#else
static_assert(sizeof(PluginHeader) == 8 + 2 * sizeof(void*) &&
                  sizeof(EffectModule) == 8 * sizeof(void*),
              "no gaps on a 64-bit build either");
#endif

// The library's only export (pinned by dsp_crackleton.def). Always the same header.
extern "C" PluginHeader* winampDSPGetHeader2();

EffectModule* moduleAt(std::int32_t index);

// Called by the player on its main thread before the first `process` (some hosts call it on a
// thread of their own): reads "vinyl_speed" and "vinyl_amount" from plugin.ini, puts
// `effectState` in its starting state and shows the settings it read in every open settings
// window. It forgets which window is open without closing it. Where another program holds the
// file, it waits up to a fifth of a second for it; a file it still cannot read is read again at
// the module's next call that touches files. Always returns 0. Defined in
// plugin/settings_file.cpp.
std::int32_t initialise(EffectModule* module);

// Called by the player for every decoded block, on its audio thread, between `initialise` and
// `quit`. Mixes the noise into every 16-bit value from `effectState`'s read position on, and
// leaves the position after the block there for the next one. Blocks of any other sample width
// pass untouched. Returns `frames`. Defined in plugin/process.cpp.
std::int32_t process(EffectModule* module, std::int16_t* samples, std::int32_t frames,
                     std::int32_t bitsPerSample, std::int32_t channels, std::int32_t sampleRate);

// Called by the player at any time after it has filled in the module's handles, on its main
// thread or (some hosts) on a thread of its own whose message loop then serves the window. Opens
// a settings window unless the one it last opened since the last `initialise` is still open, or
// another thread's `configure` is opening one right now. So a host that calls `quit`,
// `initialise` and `configure` at each press of its Configure button gets one more window each
// time; every open window shows the same settings and moves with the others. A window opens on
// the stored settings: before any `initialise` they are loaded first; after one, what was set
// elsewhere in the file since is taken. What the user sets in a window is stored as the user ends
// each change, whether or not the module is running, and a store that failed is tried again at OK.
// Defined in settings_window/window.cpp.
void configure(EffectModule* module);

// Called by the player on its main thread when it is done with the module: writes both settings
// back to plugin.ini, but for one that the file now holds with another value than the module last
// saw there, which was set elsewhere since (another player, the user's editor): that one the
// module takes and shows instead. A settings window that is still open stays open, and goes on
// storing what the user sets in it. When the module is not running (before any `initialise` in
// this load of the library, or after `quit`), or the file cannot be read, it holds no settings of
// the user's but those set in a window, so it writes only those. Defined in
// plugin/settings_file.cpp.
void quit(EffectModule* module);

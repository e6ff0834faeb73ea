#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// The platform's window handle, spelt without a Windows header so that the portable mixer can
// share this record; it is the very type <windows.h> calls HWND.
struct HWND__;
using WindowHandle = HWND__*;

// The module's one process-wide state, all zero while the library is loaded and before
// `initialise` runs.
struct EffectState {
  // Noise level in 1/256 (256 = the table as it stands). Written by the settings window on its
  // own thread while the audio thread reads it, hence atomic.
  std::atomic<std::int32_t> amount;
  // Step through the table per sample value, in 1/256 entry. Shared like `amount`.
  std::atomic<std::int32_t> speed;
  // The largest read position used before the position returns to 0.
  std::int32_t wrapLimit;
  WindowHandle settingsWindow;
  // Read position in the table, 8 fractional bits.
  std::int32_t position;
};

extern EffectState effectState;

// 60,417 × 256: the position of the last entry that is played.
constexpr std::int32_t fullWrapLimit = 0xEC0100;

static_assert(sizeof(std::atomic<std::int32_t>) == 4 && alignof(std::atomic<std::int32_t>) == 4,
              "the shared settings must stay plain aligned 32-bit fields");
static_assert(std::atomic<std::int32_t>::is_always_lock_free,
              "the audio thread never takes a lock");
static_assert(offsetof(EffectState, amount) == 0 && offsetof(EffectState, speed) == 4 &&
              offsetof(EffectState, wrapLimit) == 8);
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(EffectState, settingsWindow) == 12 &&
                  offsetof(EffectState, position) == 16 && sizeof(EffectState) == 20,
              "five 32-bit fields, no gaps");
#endif

#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "noise/noise_table.h"

// The module's one process-wide state, all zero while the library is loaded and before
// `initialise` runs. Players call into the module from several threads (the settings window and
// `initialise` on the main thread, `process` on the audio thread), so every field is atomic;
// relaxed order is enough, as no field guards another.
struct EffectState {
  // Noise level in 1/256 (256 = the table as it stands).
  std::atomic<std::int32_t> amount;
  // Step through the table per sample value, in 1/256 entry.
  std::atomic<std::int32_t> speed;
  // The largest read position used before the position returns to 0.
  std::atomic<std::int32_t> wrapLimit;
  // The open settings window's handle, or 0; only the window's code gives it a meaning
  // (settings_window/window.cpp).
  std::atomic<std::uintptr_t> settingsWindow;
  // Read position in the table, 8 fractional bits.
  std::atomic<std::int32_t> position;
};

extern EffectState effectState;

// Puts `effectState` as `initialise` leaves it: the two settings given, no settings window
// recorded, the loop at its start.
void startEffectState(std::int32_t amount, std::int32_t speed);

static_assert(sizeof(std::atomic<std::int32_t>) == 4 && alignof(std::atomic<std::int32_t>) == 4,
              "the fields stay plain aligned 32-bit values");
static_assert(std::atomic<std::int32_t>::is_always_lock_free &&
                  std::atomic<std::uintptr_t>::is_always_lock_free,
              "the audio thread never takes a lock");
static_assert(sizeof(std::atomic<std::uintptr_t>) == sizeof(void*));
static_assert(offsetof(EffectState, amount) == 0 && offsetof(EffectState, speed) == 4 &&
              offsetof(EffectState, wrapLimit) == 8);
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(EffectState, settingsWindow) == 12 &&
                  offsetof(EffectState, position) == 16 && sizeof(EffectState) == 20,
              "five 32-bit fields, no gaps");
#endif

#include "plugin/effect_state.h"

EffectState effectState{};

void startEffectState(std::int32_t amount, std::int32_t speed) {
  effectState.speed.store(speed, std::memory_order_relaxed);
  effectState.amount.store(amount, std::memory_order_relaxed);
  effectState.settingsWindow.store(0, std::memory_order_relaxed);
  effectState.position.store(0, std::memory_order_relaxed);
  effectState.wrapLimit.store(fullWrapLimit, std::memory_order_relaxed);
}

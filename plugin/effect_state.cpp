#include "plugin/effect_state.h"

EffectState effectState{};

#pragma once

// The mixer's fixed point. The read position counts in 1/256 of a table entry, and both settings
// in 1/256: the speed is the position's step per value, and an amount scales the entries.

#include <cstdint>

// The bits of a read position below its entry's index.
constexpr int positionFractionBits = 8;

// 1.0 in the settings' scale, shown as 100 %: at amount 256 the entries are added as they stand,
// at speed 256 each value gets the next entry.
constexpr std::int32_t settingUnit = 1 << positionFractionBits;

// The table entry that a read position falls in.
constexpr std::int32_t entryIndexAt(std::int32_t position) {
  return position >> positionFractionBits;
}

// A read position as a whole number of entries.
constexpr std::int32_t positionOfEntry(std::int32_t entryIndex) {
  return entryIndex * settingUnit;
}

// An entry scaled by an amount: a division, not a shift, so that it is truncated toward zero
// (-71 at amount 255 gives -70).
constexpr std::int32_t scaledEntry(std::int32_t entry, std::int32_t amount) {
  return entry * amount / settingUnit;
}

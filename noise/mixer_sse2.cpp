// The SSE2 path: eight values at a time.

#include "noise/mixer_runs.h"

#if defined(__i386__) || defined(__x86_64__)

#include <emmintrin.h>

#define SSE2_FUNCTION __attribute__((target("sse2")))

namespace {

constexpr std::int32_t valuesPerVector = 8;
static_assert(isPowerOfTwo(valuesPerVector));

// The amount as this path multiplies by it: amount = 65,536 × high + low, low a signed 16-bit
// number and, within the limits, high -1, 0 or 1. entry × low and entry × high are 16-bit
// multiplies, and their sum, the second shifted up by 16 bits, is the reference's 32-bit product.
struct Sse2Amount {
  __m128i lowAnd256;  // the pairs (low, 256) that each (entry, value) pair is multiplied by
  __m128i high;
  __m128i signMask;  // all ones for a negative amount, which turns the products' signs around
};

SSE2_FUNCTION inline Sse2Amount sse2Amount(std::int32_t amount) {
  const auto low = static_cast<std::int16_t>(amount & 0xFFFF);
  const auto high = static_cast<std::int16_t>((amount - low) / 65536);
  return {_mm_set1_epi32((settingUnit << 16) | static_cast<std::uint16_t>(low)),
          _mm_set1_epi16(high), _mm_set1_epi16(static_cast<std::int16_t>(amount < 0 ? -1 : 0))};
}

// For each value v and its entry e, the 32-bit sum
//   e × low + 256 × v                    (one multiply-add of the pairs (e, v) and (low, 256))
//   + 65,536 × e × high + 255 where e × amount is negative
// shifted down by 8 is v plus e × amount / 256 truncated toward zero, and the saturating pack to
// 16 bits is the reference's clamp.
SSE2_FUNCTION inline __m128i mixEight(__m128i entries, __m128i values, const Sse2Amount& amount) {
  const __m128i negativeProducts = _mm_srai_epi16(_mm_xor_si128(entries, amount.signMask), 15);
  const __m128i roundingUp = _mm_and_si128(negativeProducts, _mm_set1_epi16(255));
  const __m128i highProducts = _mm_mullo_epi16(entries, amount.high);
  const __m128i firstSums =
      _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(entries, values), amount.lowAnd256),
                    _mm_unpacklo_epi16(roundingUp, highProducts));
  const __m128i lastSums =
      _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(entries, values), amount.lowAnd256),
                    _mm_unpackhi_epi16(roundingUp, highProducts));
  return _mm_packs_epi32(_mm_srai_epi32(firstSums, positionFractionBits),
                         _mm_srai_epi32(lastSums, positionFractionBits));
}

// Mixes the eight values at `values` with their entries, in place.
SSE2_FUNCTION inline void mixEightInPlace(std::int16_t* values, __m128i entries,
                                          const Sse2Amount& amount) {
  const auto place = reinterpret_cast<__m128i*>(values);
  _mm_storeu_si128(place, mixEight(entries, _mm_loadu_si128(place), amount));
}

SSE2_FUNCTION REALIGNS_STACK void mixRunSse2(const MixerSettings& settings, std::int32_t position,
                                             std::int16_t* values, std::int64_t count) {
  const Sse2Amount amount = sse2Amount(settings.amount);
  const std::int16_t* table = noiseTable.data();
  const std::int32_t speed = settings.speed;
  const std::int16_t* const end = values + count;
  if (speed == settingUnit) {
    for (const std::int16_t* entries = table + entryIndexAt(position); values != end;
         values += valuesPerVector, entries += valuesPerVector) {
      mixEightInPlace(values, _mm_loadu_si128(reinterpret_cast<const __m128i*>(entries)), amount);
    }
    return;
  }
  for (; values != end; values += valuesPerVector, position += valuesPerVector * speed) {
    const __m128i entries = _mm_setr_epi16(
        table[entryIndexAt(position)], table[entryIndexAt(position + speed)],
        table[entryIndexAt(position + 2 * speed)], table[entryIndexAt(position + 3 * speed)],
        table[entryIndexAt(position + 4 * speed)], table[entryIndexAt(position + 5 * speed)],
        table[entryIndexAt(position + 6 * speed)], table[entryIndexAt(position + 7 * speed)]);
    mixEightInPlace(values, entries, amount);
  }
}

}  // namespace

std::int32_t mixNoiseSse2(const MixerSettings& settings, std::int32_t position,
                          std::int16_t* values, std::int64_t count) {
  return mixNoiseInRuns(settings, position, values, count, mixRunSse2, valuesPerVector);
}

#endif

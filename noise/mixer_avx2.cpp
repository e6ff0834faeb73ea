// The AVX2 path: sixteen values at a time.

#include "noise/mixer_runs.h"

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

#include <algorithm>

#define AVX2_FUNCTION __attribute__((target("avx2")))

namespace {

constexpr std::int32_t valuesPerVector = 16;
static_assert(isPowerOfTwo(valuesPerVector));

// Up to this speed the entries of eight values in a row lie within sixteen entries side by side
// (the first value's fraction, up to 255, plus seven steps, stays below 16 × 256), which one load
// brings in and one permute picks from. Faster, the SSE2 path fetches entries one by one as fast.
constexpr std::int32_t windowLength = 16;
constexpr std::int32_t fastestWindowSpeed =
    (positionOfEntry(windowLength) - 1 - (settingUnit - 1)) / 7;

// v + e × amount / 256 for eight values v and their entries e, in 32-bit lanes. A negative product
// is lifted by 255 before the shift, which truncates toward zero as the reference's division does.
AVX2_FUNCTION inline __m256i mixEight(__m256i entries, __m256i values, __m256i amount) {
  const __m256i products = _mm256_mullo_epi32(entries, amount);
  const __m256i roundingUp =
      _mm256_srli_epi32(_mm256_srai_epi32(products, 31), 32 - positionFractionBits);
  return _mm256_add_epi32(
      values, _mm256_srai_epi32(_mm256_add_epi32(products, roundingUp), positionFractionBits));
}

AVX2_FUNCTION inline __m256i widened(const std::int16_t* eightValues) {
  return _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(eightValues)));
}

// Packs sixteen 32-bit sums to 16 bits, saturating as the reference's clamp does, in their order:
// the pack works within 128-bit halves, the permute puts the halves right.
AVX2_FUNCTION inline void storeSixteen(std::int16_t* values, __m256i firstSums, __m256i lastSums) {
  _mm256_storeu_si256(
      reinterpret_cast<__m256i*>(values),
      _mm256_permute4x64_epi64(_mm256_packs_epi32(firstSums, lastSums), _MM_SHUFFLE(3, 1, 2, 0)));
}

// The entries at eight positions from `position` on, `laneSteps` apart, sign-extended to 32 bits.
AVX2_FUNCTION inline __m256i entriesFromWindow(const std::int16_t* table, std::int32_t position,
                                               __m256i laneSteps) {
  // Near the end of the table the window ends at the table's end instead.
  const std::int32_t windowStart =
      std::min(entryIndexAt(position), noiseTableLength - windowLength);
  const __m256i window = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(table + windowStart));
  const __m256i offsets =
      _mm256_sub_epi32(_mm256_srli_epi32(_mm256_add_epi32(_mm256_set1_epi32(position), laneSteps),
                                         positionFractionBits),
                       _mm256_set1_epi32(windowStart));
  // Each lane takes the pair of entries holding its own, then shifts its entry into the top half
  // (already there for the odd one of the pair) and back down with its sign.
  const __m256i pairs = _mm256_permutevar8x32_epi32(window, _mm256_srli_epi32(offsets, 1));
  const __m256i shifts = _mm256_slli_epi32(_mm256_andnot_si256(offsets, _mm256_set1_epi32(1)), 4);
  return _mm256_srai_epi32(_mm256_sllv_epi32(pairs, shifts), 16);
}

AVX2_FUNCTION REALIGNS_STACK void mixRunAvx2(const MixerSettings& settings, std::int32_t position,
                                             std::int16_t* values, std::int64_t count) {
  const std::int16_t* table = noiseTable.data();
  const std::int32_t speed = settings.speed;
  const std::int16_t* const end = values + count;
  const __m256i amount = _mm256_set1_epi32(settings.amount);
  if (speed == settingUnit) {
    for (const std::int16_t* entries = table + entryIndexAt(position); values != end;
         values += valuesPerVector, entries += valuesPerVector) {
      storeSixteen(values, mixEight(widened(entries), widened(values), amount),
                   mixEight(widened(entries + 8), widened(values + 8), amount));
    }
    return;
  }
  const __m256i laneSteps =
      _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(speed));
  for (; values != end; values += valuesPerVector, position += valuesPerVector * speed) {
    const __m256i firstEntries = entriesFromWindow(table, position, laneSteps);
    const __m256i lastEntries = entriesFromWindow(table, position + 8 * speed, laneSteps);
    storeSixteen(values, mixEight(firstEntries, widened(values), amount),
                 mixEight(lastEntries, widened(values + 8), amount));
  }
}

}  // namespace

std::int32_t mixNoiseAvx2(const MixerSettings& settings, std::int32_t position,
                          std::int16_t* values, std::int64_t count) {
  if (settings.speed > fastestWindowSpeed) {
    return mixNoiseSse2(settings, position, values, count);
  }
  return mixNoiseInRuns(settings, position, values, count, mixRunAvx2, valuesPerVector);
}

#endif

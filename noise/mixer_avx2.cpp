// The AVX2 path: sixteen values at a time, the entries fetched with gathers at speeds other than
// 256.

#include "noise/mixer_runs.h"
#include "plugin/effect_state.h"

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

#define AVX2_FUNCTION __attribute__((target("avx2")))

namespace {

constexpr std::int32_t valuesPerVector = 16;

// A gather reads 32 bits from each entry's address, so the entry after the last one played is
// read too: it must lie inside the table.
static_assert(fullWrapLimit / 256 + 2 <= noiseTableLength);

struct Avx2Amount {
  __m256i lowAnd256;  // the pairs (low, 256) that each (entry, value) pair is multiplied by
  __m256i high;
  __m256i signMask;
};

AVX2_FUNCTION inline Avx2Amount avx2Amount(std::int32_t amount) {
  const AmountInParts parts = amountInParts(amount);
  return {_mm256_set1_epi32((256 << 16) | static_cast<std::uint16_t>(parts.low)),
          _mm256_set1_epi16(parts.high), _mm256_set1_epi16(parts.signMask)};
}

// The SSE2 path's arithmetic (see mixer_sse2.cpp) in both 128-bit halves. Unpacking and packing
// again within each half leaves the values in their order.
AVX2_FUNCTION inline __m256i mixSixteen(__m256i entries, __m256i values,
                                        const Avx2Amount& amount) {
  const __m256i negativeProducts =
      _mm256_srai_epi16(_mm256_xor_si256(entries, amount.signMask), 15);
  const __m256i roundingUp = _mm256_and_si256(negativeProducts, _mm256_set1_epi16(255));
  const __m256i highProducts = _mm256_mullo_epi16(entries, amount.high);
  const __m256i firstSums = _mm256_add_epi32(
      _mm256_madd_epi16(_mm256_unpacklo_epi16(entries, values), amount.lowAnd256),
      _mm256_unpacklo_epi16(roundingUp, highProducts));
  const __m256i lastSums = _mm256_add_epi32(
      _mm256_madd_epi16(_mm256_unpackhi_epi16(entries, values), amount.lowAnd256),
      _mm256_unpackhi_epi16(roundingUp, highProducts));
  return _mm256_packs_epi32(_mm256_srai_epi32(firstSums, 8), _mm256_srai_epi32(lastSums, 8));
}

// The entries at eight read positions, each in the low half of a 32-bit lane.
AVX2_FUNCTION inline __m256i gatherEntries(const std::int16_t* table, __m256i positions) {
  return _mm256_i32gather_epi32(reinterpret_cast<const int*>(table),
                                _mm256_srli_epi32(positions, 8), 2);
}

AVX2_FUNCTION REALIGNS_STACK void mixRunAvx2(const MixerSettings& settings, std::int32_t position,
                                            std::int16_t* values, std::int64_t count) {
  const Avx2Amount amount = avx2Amount(settings.amount);
  const std::int16_t* table = noiseTable.data();
  const std::int32_t speed = settings.speed;
  if (speed == 256) {
    // One entry per value: the run's entries lie side by side in the table.
    const std::int16_t* entries = table + (position >> 8);
    for (std::int64_t iValue = 0; iValue < count; iValue += valuesPerVector) {
      const __m256i mixed =
          mixSixteen(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(entries + iValue)),
                     _mm256_loadu_si256(reinterpret_cast<const __m256i*>(values + iValue)), amount);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(values + iValue), mixed);
    }
    return;
  }
  const __m256i step = _mm256_set1_epi32(valuesPerVector * speed);
  __m256i firstPositions = _mm256_add_epi32(
      _mm256_set1_epi32(position), _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                                       _mm256_set1_epi32(speed)));
  __m256i lastPositions = _mm256_add_epi32(firstPositions, _mm256_set1_epi32(8 * speed));
  const __m256i lowHalves = _mm256_set1_epi32(0xFFFF);
  for (std::int64_t iValue = 0; iValue < count; iValue += valuesPerVector) {
    // Packing interleaves the two gathers by 64-bit quarters; the permute puts them in order.
    const __m256i entries = _mm256_permute4x64_epi64(
        _mm256_packus_epi32(_mm256_and_si256(gatherEntries(table, firstPositions), lowHalves),
                            _mm256_and_si256(gatherEntries(table, lastPositions), lowHalves)),
        _MM_SHUFFLE(3, 1, 2, 0));
    firstPositions = _mm256_add_epi32(firstPositions, step);
    lastPositions = _mm256_add_epi32(lastPositions, step);
    const __m256i mixed = mixSixteen(
        entries, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(values + iValue)), amount);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(values + iValue), mixed);
  }
}

}  // namespace

std::int32_t mixNoiseAvx2(const MixerSettings& settings, std::int32_t position,
                          std::int16_t* values, std::int64_t count) {
  return mixNoiseInRuns(settings, position, values, count, mixRunAvx2, valuesPerVector);
}

#endif

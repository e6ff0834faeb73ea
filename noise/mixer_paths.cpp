#include "noise/mixer_paths.h"

#include "noise/cpu_features.h"
#include "noise/mixer_runs.h"

namespace {

// Asked when the library loads, never again.
const CpuFeatures features = cpuFeatures();
const MixerPath fastestPath = features.avx2   ? MixerPath::avx2
                              : features.sse2 ? MixerPath::sse2
                                              : MixerPath::reference;

}  // namespace

const char* mixerPathName(MixerPath path) {
  switch (path) {
    case MixerPath::sse2:
      return "SSE2";
    case MixerPath::avx2:
      return "AVX2";
    case MixerPath::reference:
      break;
  }
  return "reference";
}

bool mixerPathRuns(MixerPath path) {
  switch (path) {
    case MixerPath::sse2:
      return features.sse2;
    case MixerPath::avx2:
      return features.avx2;
    case MixerPath::reference:
      break;
  }
  return true;
}

MixerPath fastestMixerPath() {
  return fastestPath;
}

std::int32_t mixNoiseOn(MixerPath path, const MixerSettings& settings, std::int32_t position,
                        std::int16_t* values, std::int64_t count) {
  switch (path) {
#if defined(__i386__) || defined(__x86_64__)
    case MixerPath::sse2:
      return mixNoiseSse2(settings, position, values, count);
    case MixerPath::avx2:
      return mixNoiseAvx2(settings, position, values, count);
#endif
    default:
      return mixNoise(settings, position, values, count);
  }
}

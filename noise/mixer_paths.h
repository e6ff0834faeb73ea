#pragma once

// The ways the mixer can run: the reference loop and the SIMD paths, which give exactly its values
// and its end position for every input. `process` takes the fastest this processor has; tests
// and the benchmark pick each one themselves.

#include <cstdint>

#include "noise/mixer.h"

enum class MixerPath { reference, sse2, avx2 };

constexpr MixerPath everyMixerPath[] = {MixerPath::reference, MixerPath::sse2, MixerPath::avx2};

const char* mixerPathName(MixerPath path);

// Whether this processor and system can run `path`: always for the reference.
bool mixerPathRuns(MixerPath path);

// The fastest path that runs here, decided once.
MixerPath fastestMixerPath();

// `mixNoise`'s contract on the given path, which must run here.
std::int32_t mixNoiseOn(MixerPath path, const MixerSettings& settings, std::int32_t position,
                        std::int16_t* values, std::int64_t count);

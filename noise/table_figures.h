#pragma once

// What the noise table was made to be, and how it is measured: shared by its generator
// (tools/make_noise_table.cpp), which prints every figure beside its target, and the test that
// holds the committed table to them (tests/native/noise_table_test.cpp). Not part of the product.
//
// The targets are the sound we set out to make, put in numbers: the surface of a worn record
// heard between the grooves' music, a dull low rumble that wanders slowly (it crosses its mean
// only about 12 times per 1,000 entries and stays correlated over a few hundred), sparse clicks
// that jump and die away by 0.972 per entry, and eight loud flat-topped pops. The amplitude
// figures are of that rumble at the level where, at 100 %, it sits well under the music; the
// quoted entries pin its start, its end, one stretch of relaxing and the first pop exactly.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "noise/noise_table.h"

namespace table_figures {

// ---- Measuring ---------------------------------------------------------------------------------

inline double mean(const std::vector<double>& x) {
  double sum = 0.0;
  for (double value : x) sum += value;
  return sum / x.size();
}

inline double rms(const std::vector<double>& x) {
  double sumOfSquares = 0.0;
  for (double value : x) sumOfSquares += value * value;
  return std::sqrt(sumOfSquares / x.size());
}

// The value below which `fraction` of the magnitudes lie, interpolating linearly between the
// sorted magnitudes (so 0.5 of an even count is the mean of the middle two).
inline double magnitudePercentile(const std::vector<double>& x, double fraction) {
  std::vector<double> magnitudes;
  magnitudes.reserve(x.size());
  for (double value : x) magnitudes.push_back(std::fabs(value));
  std::sort(magnitudes.begin(), magnitudes.end());
  const double position = fraction * (magnitudes.size() - 1);
  const std::size_t below = static_cast<std::size_t>(position);
  if (below + 1 >= magnitudes.size())
    return magnitudes.back();
  return magnitudes[below] + (position - below) * (magnitudes[below + 1] - magnitudes[below]);
}

// Pearson correlation between the entries and the entries `lag` later.
inline double correlationAtLag(const std::vector<double>& x, std::size_t lag) {
  const std::size_t pairs = x.size() - lag;
  double meanEarlier = 0.0, meanLater = 0.0;
  for (std::size_t i = 0; i < pairs; ++i) {
    meanEarlier += x[i];
    meanLater += x[i + lag];
  }
  meanEarlier /= pairs;
  meanLater /= pairs;
  double covariance = 0.0, varianceEarlier = 0.0, varianceLater = 0.0;
  for (std::size_t i = 0; i < pairs; ++i) {
    const double earlier = x[i] - meanEarlier;
    const double later = x[i + lag] - meanLater;
    covariance += earlier * later;
    varianceEarlier += earlier * earlier;
    varianceLater += later * later;
  }
  return covariance / std::sqrt(varianceEarlier * varianceLater);
}

// Sign changes of (entry - mean) between consecutive entries.
inline int meanCrossings(const std::vector<double>& x) {
  const double level = mean(x);
  int crossings = 0;
  for (std::size_t i = 0; i + 1 < x.size(); ++i) {
    if ((x[i] - level) * (x[i + 1] - level) < 0.0)
      ++crossings;
  }
  return crossings;
}

struct RunBeyond {
  std::size_t start;
  std::size_t length;
};

// Maximal runs of consecutive entries whose magnitude exceeds `threshold`.
inline std::vector<RunBeyond> runsBeyond(const std::vector<double>& x, double threshold) {
  std::vector<RunBeyond> runs;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (std::fabs(x[i]) <= threshold)
      continue;
    if (runs.empty() || runs.back().start + runs.back().length != i)
      runs.push_back({i, 0});
    ++runs.back().length;
  }
  return runs;
}

// ---- The targets -------------------------------------------------------------------------------

// A figure of the played entries, the value the sound was made to have, and how far from it the
// table may lie.
struct FigureTarget {
  const char* name;
  double (*measure)(const std::vector<double>& played);
  double target;
  double tolerance;
};

inline const FigureTarget figureTargets[] = {
    {"mean", [](const std::vector<double>& x) { return mean(x); }, 229, 229 * 0.05},
    {"rms", [](const std::vector<double>& x) { return rms(x); }, 2539, 2539 * 0.05},
    {"median magnitude", [](const std::vector<double>& x) { return magnitudePercentile(x, 0.5); },
     1314, 1314 * 0.05},
    {"90th percentile magnitude",
     [](const std::vector<double>& x) { return magnitudePercentile(x, 0.9); }, 4594, 4594 * 0.05},
    {"99th percentile magnitude",
     [](const std::vector<double>& x) { return magnitudePercentile(x, 0.99); }, 6698, 6698 * 0.05},
    {"mean crossings", [](const std::vector<double>& x) { return double(meanCrossings(x)); }, 734,
     734 * 0.10},
    {"correlation at lag 1", [](const std::vector<double>& x) { return correlationAtLag(x, 1); },
     0.994, 0.03},
    {"correlation at lag 10", [](const std::vector<double>& x) { return correlationAtLag(x, 10); },
     0.94, 0.03},
    {"correlation at lag 100",
     [](const std::vector<double>& x) { return correlationAtLag(x, 100); }, 0.65, 0.03},
    {"correlation at lag 200",
     [](const std::vector<double>& x) { return correlationAtLag(x, 200); }, 0.35, 0.03},
    {"correlation at lag 500",
     [](const std::vector<double>& x) { return correlationAtLag(x, 500); }, 0.0, 0.03},
    {"runs beyond 7,000",
     [](const std::vector<double>& x) { return double(runsBeyond(x, 7000).size()); }, 27, 2},
};

// Entries quoted exactly: the start, entries 100..109 relaxing, the first pop, and the end (the
// last played entry and the two of padding after it are 0).
struct QuotedEntries {
  int first;
  std::vector<int> values;
};

inline const QuotedEntries quotedEntries[] = {
    {0, {0, 0, -71, -140, -207, -201, -196, -191, -185, -179}},
    {100, {951, 924, 898, 873, 849, 826, 803, 781, 759, 738}},
    {13308, {-3306, -3222, 11500, 11570, 11638, 11714, 11788, 11853, -2480, -2418}},
    {noiseTableLength - 6, {4663, 4666, 4666, 0, 0, 0}},
};

// Between events the signal relaxes by this factor per entry.
constexpr double relaxationPerEntry = 0.972;

// The table's extremes, each held by one entry only.
struct Extreme {
  int value;
  int entry;
};
constexpr Extreme lowest = {-15057, 41330};
constexpr Extreme highest = {17672, 47436};

// Only the pops reach beyond this magnitude. Each jumps this far from the surrounding signal,
// holds for 6 or 7 entries and jumps straight back.
constexpr double popThreshold = 10000;
constexpr double popJumpLowest = 9000;
constexpr double popJumpHighest = 16000;

struct ExpectedPop {
  int start;
  int direction;  // +1 upwards, -1 downwards, 0 either
  int length;     // 0 when either 6 or 7 will do
};

constexpr ExpectedPop expectedPops[] = {
    {13310, +1, 6}, {18073, 0, 0},  {19603, 0, 0},  {20830, 0, 0},
    {24754, 0, 0},  {41330, -1, 0}, {47430, +1, 7}, {57422, 0, 0},
};

inline std::vector<double> playedEntries(const std::int16_t* table) {
  return std::vector<double>(table, table + playedEntryCount);
}

}  // namespace table_figures

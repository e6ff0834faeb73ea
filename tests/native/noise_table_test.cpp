// Measures the fixed noise table against the figures it was made to meet. Every figure is printed
// next to its target, so a run shows how much room each one has.

#include "noise/noise_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <utility>
#include <vector>

#include "tests/native/signal_figures.h"

namespace {

using signal_figures::RunBeyond;

// Entries 0..60,417 are played: the table loops at entry 60,417. The figures are measured over
// those.
constexpr std::size_t kPlayedLength = 60418;

constexpr double kPopThreshold = 10000;
constexpr double kPopJumpLowest = 9000;
constexpr double kPopJumpHighest = 16000;
// How far a pop's top may wander from flat: overall, and from one entry to the next.
constexpr double kPopTopSpreadLargest = 800;
constexpr double kPopTopStepLargest = 300;

std::vector<double> playedEntries() {
  return std::vector<double>(noiseTable.begin(), noiseTable.begin() + kPlayedLength);
}

void expectWithinPercent(const char* name, double measured, double target, double percent) {
  std::printf("%-26s %9.1f  (target %.0f +/- %.0f%%)\n", name, measured, target, percent);
  EXPECT_NEAR(measured, target, std::fabs(target) * percent / 100.0) << name;
}

void expectWithin(const char* name, double measured, double target, double tolerance) {
  std::printf("%-26s %9.4f  (target %g +/- %g)\n", name, measured, target, tolerance);
  EXPECT_NEAR(measured, target, tolerance) << name;
}

void expectEntries(std::size_t first, const std::vector<int>& expected) {
  std::printf("entries %zu..%zu:", first, first + expected.size() - 1);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    std::printf(" %d", noiseTable[first + i]);
    EXPECT_EQ(noiseTable[first + i], expected[i]) << "entry " << first + i;
  }
  std::printf("  (as quoted)\n");
}

TEST(NoiseTable, HoldsTheQuotedEntries) {
  expectEntries(0, {0, 0, -71, -140, -207, -201, -196, -191, -185, -179});
  expectEntries(100, {951, 924, 898, 873, 849, 826, 803, 781, 759, 738});
  expectEntries(13308, {-3306, -3222, 11500, 11570, 11638, 11714, 11788, 11853, -2480, -2418});
  // The last played entry and the two entries of padding after it are 0.
  expectEntries(noiseTableLength - 6, {4663, 4666, 4666, 0, 0, 0});
}

TEST(NoiseTable, RelaxesByAbout0972PerEntryBetweenEvents) {
  for (const auto& [first, last] : {std::pair<int, int>{4, 9}, std::pair<int, int>{100, 109}}) {
    double smallest = 1.0, largest = 0.0;
    for (int i = first + 1; i <= last; ++i) {
      const double ratio = static_cast<double>(noiseTable[i]) / noiseTable[i - 1];
      smallest = std::min(smallest, ratio);
      largest = std::max(largest, ratio);
      EXPECT_NEAR(ratio, 0.972, 0.01) << "entry " << i;
    }
    std::printf("entries %d..%d: each %.4f..%.4f times the one before (target 0.972 +/- 0.01)\n",
                first, last, smallest, largest);
  }
}

TEST(NoiseTable, ExtremesAreSingleEntries) {
  const std::vector<double> x = playedEntries();
  const auto lowest = std::min_element(x.begin(), x.end());
  const auto highest = std::max_element(x.begin(), x.end());
  const long lowestCount = std::count(x.begin(), x.end(), *lowest);
  const long highestCount = std::count(x.begin(), x.end(), *highest);
  std::printf("minimum %.0f at entry %td, entries holding it %ld (target -15057 at 41330, 1)\n",
              *lowest, lowest - x.begin(), lowestCount);
  std::printf("maximum %.0f at entry %td, entries holding it %ld (target 17672 at 47436, 1)\n",
              *highest, highest - x.begin(), highestCount);
  EXPECT_EQ(*lowest, -15057);
  EXPECT_EQ(lowest - x.begin(), 41330);
  EXPECT_EQ(lowestCount, 1);
  EXPECT_EQ(*highest, 17672);
  EXPECT_EQ(highest - x.begin(), 47436);
  EXPECT_EQ(highestCount, 1);
}

struct ExpectedPop {
  std::size_t start;
  int direction;       // +1 upwards, -1 downwards, 0 either
  std::size_t length;  // 0 when either 6 or 7 will do
};

constexpr ExpectedPop kExpectedPops[] = {
    {13310, +1, 6}, {18073, 0, 0},  {19603, 0, 0},  {20830, 0, 0},
    {24754, 0, 0},  {41330, -1, 0}, {47430, +1, 7}, {57422, 0, 0},
};

// One pop: a flat top that jumps 9,000..16,000 away from the entries on either side and back.
void expectFlatToppedPop(const std::vector<double>& x, const RunBeyond& run,
                         const ExpectedPop& pop) {
  const std::size_t last = run.start + run.length - 1;
  ASSERT_GT(run.start, 0u) << "a pop needs an entry before it";
  ASSERT_LT(last + 1, x.size()) << "a pop needs an entry after it";
  const int direction = x[run.start] > 0 ? +1 : -1;
  // Jumps measured away from the surrounding signal: positive when the pop leaves it outwards.
  const double jumpIn = (x[run.start] - x[run.start - 1]) * direction;
  const double jumpOut = (x[last] - x[last + 1]) * direction;
  const auto [topLowest, topHighest] =
      std::minmax_element(x.begin() + run.start, x.begin() + last + 1);
  double topStepLargest = 0.0;
  for (std::size_t i = run.start + 1; i <= last; ++i) {
    topStepLargest = std::max(topStepLargest, std::fabs(x[i] - x[i - 1]));
  }
  std::printf(
      "pop at %zu: %zu entries %s, jumps %.0f in and %.0f out, top %.0f..%.0f, largest step on "
      "top %.0f (targets: start %zu, 6 or 7 entries, jumps %.0f..%.0f, top within %.0f, steps "
      "within %.0f)\n",
      run.start, run.length, direction > 0 ? "up" : "down", jumpIn, jumpOut, *topLowest,
      *topHighest, topStepLargest, pop.start, kPopJumpLowest, kPopJumpHighest, kPopTopSpreadLargest,
      kPopTopStepLargest);

  EXPECT_EQ(run.start, pop.start);
  EXPECT_TRUE(run.length == 6 || run.length == 7) << "pop at " << run.start;
  if (pop.length != 0) {
    EXPECT_EQ(run.length, pop.length) << "pop at " << run.start;
  }
  if (pop.direction != 0) {
    EXPECT_EQ(direction, pop.direction) << "pop at " << run.start;
  }
  // The whole top lies on one side: a pop never flips sign while it holds.
  EXPECT_GT(*topLowest * direction, 0.0) << "pop at " << run.start;
  EXPECT_GT(*topHighest * direction, 0.0) << "pop at " << run.start;
  for (const double jump : {jumpIn, jumpOut}) {
    EXPECT_GE(jump, kPopJumpLowest) << "pop at " << run.start;
    EXPECT_LE(jump, kPopJumpHighest) << "pop at " << run.start;
  }
  EXPECT_LE(*topHighest - *topLowest, kPopTopSpreadLargest) << "pop at " << run.start;
  EXPECT_LE(topStepLargest, kPopTopStepLargest) << "pop at " << run.start;
}

TEST(NoiseTable, PopsAreTheOnlyRunsBeyond10000) {
  const std::vector<double> x = playedEntries();
  const std::vector<RunBeyond> runs = signal_figures::runsBeyond(x, kPopThreshold);
  std::printf("runs beyond 10000: %zu (target 8)\n", runs.size());
  ASSERT_EQ(runs.size(), std::size(kExpectedPops));
  for (std::size_t i = 0; i < runs.size(); ++i) expectFlatToppedPop(x, runs[i], kExpectedPops[i]);

  // Nothing but a pop's edges jumps as far as a pop does.
  int popSizedSteps = 0;
  for (std::size_t i = 0; i + 1 < x.size(); ++i) {
    if (std::fabs(x[i + 1] - x[i]) < kPopJumpLowest)
      continue;
    ++popSizedSteps;
    const bool isPopEdge = std::any_of(runs.begin(), runs.end(), [i](const RunBeyond& run) {
      return i + 1 == run.start || i == run.start + run.length - 1;
    });
    EXPECT_TRUE(isPopEdge) << "step of " << x[i + 1] - x[i] << " after entry " << i;
  }
  std::printf("steps of 9000 or more: %d (target 16, the pops' edges)\n", popSizedSteps);
  EXPECT_EQ(popSizedSteps, 16);
}

TEST(NoiseTable, RunsBeyond7000) {
  const std::vector<double> x = playedEntries();
  const std::size_t runCount = signal_figures::runsBeyond(x, 7000).size();
  std::printf("runs beyond 7000: %zu (target 27 +/- 2, the pops among them)\n", runCount);
  EXPECT_NEAR(static_cast<double>(runCount), 27.0, 2.0);
}

TEST(NoiseTable, AmplitudeDistribution) {
  const std::vector<double> x = playedEntries();
  expectWithinPercent("mean", signal_figures::mean(x), 229, 5);
  expectWithinPercent("rms", signal_figures::rms(x), 2539, 5);
  expectWithinPercent("median magnitude", signal_figures::magnitudePercentile(x, 0.5), 1314, 5);
  expectWithinPercent("90th percentile magnitude", signal_figures::magnitudePercentile(x, 0.9),
                      4594, 5);
  expectWithinPercent("99th percentile magnitude", signal_figures::magnitudePercentile(x, 0.99),
                      6698, 5);
}

TEST(NoiseTable, CorrelationsAndMeanCrossings) {
  const std::vector<double> x = playedEntries();
  expectWithinPercent("mean crossings", signal_figures::meanCrossings(x), 734, 10);

  struct ExpectedCorrelation {
    std::size_t lag;
    double target;
    const char* name;
  };
  const ExpectedCorrelation expected[] = {
      {1, 0.994, "correlation at lag 1"},    {10, 0.94, "correlation at lag 10"},
      {100, 0.65, "correlation at lag 100"}, {200, 0.35, "correlation at lag 200"},
      {500, 0.0, "correlation at lag 500"},
  };
  for (const ExpectedCorrelation& correlation : expected) {
    expectWithin(correlation.name, signal_figures::correlationAtLag(x, correlation.lag),
                 correlation.target, 0.03);
  }
}

}  // namespace

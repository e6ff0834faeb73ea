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

#include "noise/table_figures.h"

namespace {

using namespace table_figures;

// How far a pop's top may wander from flat: overall, and from one entry to the next.
constexpr double kPopTopSpreadLargest = 800;
constexpr double kPopTopStepLargest = 300;

std::vector<double> played() {
  return playedEntries(noiseTable.data());
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
  for (const QuotedEntries& quoted : quotedEntries) {
    expectEntries(quoted.first, quoted.values);
  }
}

TEST(NoiseTable, RelaxesByAbout0972PerEntryBetweenEvents) {
  for (const auto& [first, last] : {std::pair<int, int>{4, 9}, std::pair<int, int>{100, 109}}) {
    double smallest = 1.0, largest = 0.0;
    for (int i = first + 1; i <= last; ++i) {
      const double ratio = static_cast<double>(noiseTable[i]) / noiseTable[i - 1];
      smallest = std::min(smallest, ratio);
      largest = std::max(largest, ratio);
      EXPECT_NEAR(ratio, relaxationPerEntry, 0.01) << "entry " << i;
    }
    std::printf("entries %d..%d: each %.4f..%.4f times the one before (target 0.972 +/- 0.01)\n",
                first, last, smallest, largest);
  }
}

TEST(NoiseTable, ExtremesAreSingleEntries) {
  const std::vector<double> x = played();
  const auto lowestIt = std::min_element(x.begin(), x.end());
  const auto highestIt = std::max_element(x.begin(), x.end());
  const long lowestCount = std::count(x.begin(), x.end(), *lowestIt);
  const long highestCount = std::count(x.begin(), x.end(), *highestIt);
  std::printf("minimum %.0f at entry %td, entries holding it %ld (target %d at %d, 1)\n", *lowestIt,
              lowestIt - x.begin(), lowestCount, lowest.value, lowest.entry);
  std::printf("maximum %.0f at entry %td, entries holding it %ld (target %d at %d, 1)\n",
              *highestIt, highestIt - x.begin(), highestCount, highest.value, highest.entry);
  EXPECT_EQ(*lowestIt, lowest.value);
  EXPECT_EQ(lowestIt - x.begin(), lowest.entry);
  EXPECT_EQ(lowestCount, 1);
  EXPECT_EQ(*highestIt, highest.value);
  EXPECT_EQ(highestIt - x.begin(), highest.entry);
  EXPECT_EQ(highestCount, 1);
}

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
      "top %.0f (targets: start %d, 6 or 7 entries, jumps %.0f..%.0f, top within %.0f, steps "
      "within %.0f)\n",
      run.start, run.length, direction > 0 ? "up" : "down", jumpIn, jumpOut, *topLowest,
      *topHighest, topStepLargest, pop.start, popJumpLowest, popJumpHighest, kPopTopSpreadLargest,
      kPopTopStepLargest);

  EXPECT_EQ(run.start, static_cast<std::size_t>(pop.start));
  EXPECT_TRUE(run.length == 6 || run.length == 7) << "pop at " << run.start;
  if (pop.length != 0) {
    EXPECT_EQ(run.length, static_cast<std::size_t>(pop.length)) << "pop at " << run.start;
  }
  if (pop.direction != 0) {
    EXPECT_EQ(direction, pop.direction) << "pop at " << run.start;
  }
  // The whole top lies on one side: a pop never flips sign while it holds.
  EXPECT_GT(*topLowest * direction, 0.0) << "pop at " << run.start;
  EXPECT_GT(*topHighest * direction, 0.0) << "pop at " << run.start;
  for (const double jump : {jumpIn, jumpOut}) {
    EXPECT_GE(jump, popJumpLowest) << "pop at " << run.start;
    EXPECT_LE(jump, popJumpHighest) << "pop at " << run.start;
  }
  EXPECT_LE(*topHighest - *topLowest, kPopTopSpreadLargest) << "pop at " << run.start;
  EXPECT_LE(topStepLargest, kPopTopStepLargest) << "pop at " << run.start;
}

TEST(NoiseTable, PopsAreTheOnlyRunsBeyond10000) {
  const std::vector<double> x = played();
  const std::vector<RunBeyond> runs = runsBeyond(x, popThreshold);
  std::printf("runs beyond 10000: %zu (target 8)\n", runs.size());
  ASSERT_EQ(runs.size(), std::size(expectedPops));
  for (std::size_t i = 0; i < runs.size(); ++i) expectFlatToppedPop(x, runs[i], expectedPops[i]);

  // Nothing but a pop's edges jumps as far as a pop does.
  int popSizedSteps = 0;
  for (std::size_t i = 0; i + 1 < x.size(); ++i) {
    if (std::fabs(x[i + 1] - x[i]) < popJumpLowest)
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

TEST(NoiseTable, MeetsEveryFigure) {
  const std::vector<double> x = played();
  for (const FigureTarget& figure : figureTargets) {
    const double measured = figure.measure(x);
    std::printf("%-26s %10.4f  (target %g +/- %g)\n", figure.name, measured, figure.target,
                figure.tolerance);
    EXPECT_NEAR(measured, figure.target, figure.tolerance) << figure.name;
  }
}

}  // namespace

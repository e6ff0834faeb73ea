#pragma once
// Figures measured over a stretch of signal, for the tests. Not part of the product.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace signal_figures {

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

}  // namespace signal_figures

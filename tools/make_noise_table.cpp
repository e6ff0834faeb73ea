// Makes the fixed record-surface noise that Crackleton mixes into audio, and writes it to standard
// output as the C++ source of noise/noise_table.cpp. From the repository root:
//
//   g++ -O2 -std=c++17 -I. tools/make_noise_table.cpp -o make_noise_table
//   ./make_noise_table > noise/noise_table.cpp
//
// The signal is built in layers:
//   1. the body, a slow rumble: a random signal with a chosen autocorrelation and amplitude
//      distribution (iterative amplitude-adjusted Fourier transforms);
//   2. clicks that ramp over three entries and then relax by 0.972 per entry;
//   3. the amplitude distribution restored by rank, which keeps the order of the entries and so
//      keeps the clicks' shapes closely;
//   4. eight flat-topped pops at fixed entries, the two holding the table's extremes lifted to
//      their exact values;
//   5. the quoted entries, blended in so that no new jump appears beside them.
// Finally it measures the table and prints each figure beside its target (noise/table_figures.h)
// to standard error.
//
// Everything random comes from std::mt19937, whose output the C++ standard fixes, through our own
// conversions to uniform and exponential numbers: the library distributions differ between
// standard libraries. The committed table is the reference all the same, since a maths library
// that rounds sin, cos or log differently in the last bit could move an entry by one.

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <numeric>
#include <random>
#include <vector>

#include "noise/noise_table.h"
#include "noise/table_figures.h"

namespace {

using namespace table_figures;

constexpr std::uint32_t kSeed = 1931;
constexpr double kPi = 3.14159265358979323846;

// A click ramps over a few entries, then relaxes by `relaxationPerEntry`, as the table does after
// its first entries and again at entries 100..109.
constexpr int kClickRampLength = 3;

// Entries over which the signal is eased towards the quoted entries beside each block.
constexpr int kQuotedFadeLength = 200;

// The pops whose height is free. The pop at 13,310 is among the quoted entries.
constexpr int kFreePopStarts[] = {18073, 19603, 20830, 24754, 57422};

// The two pops that hold the table's extremes, each the only entry with its value.
struct ExtremePop {
  int start;
  int length;
  int extremeEntry;
  double extreme;
  int direction;  // +1 upwards, -1 downwards
};
constexpr ExtremePop kMinimumPop = {41330, 6, lowest.entry, lowest.value, -1};
constexpr ExtremePop kMaximumPop = {47430, 7, highest.entry, highest.value, +1};

// The tuned parameters. They were chosen by measuring the table with this kSeed; change one and
// every figure moves.
struct Recipe {
  // The body's autocorrelation is exp(-(lag / length)^shape): smooth over a few hundred entries,
  // yet rough enough at the shortest lags to cross its mean about 620 times. The clicks add about
  // a hundred crossings more and bring the short-lag correlations down to the table's.
  double bodyCorrelationLength = 209.1;
  double bodyCorrelationShape = 1.419;
  int amplitudeIterations = 30;  // rounds of imposing the spectrum and the distribution

  int clickCount = 1052;
  double clickMeanSize = 990;  // sizes are exponentially distributed

  // Quantiles of the distance from the mean level of everything but the pops, interpolated linearly
  // in -log(1 - probability), which gives each stretch a falling density. They sit a little off
  // the table's own figures because the clicks, pops and quoted entries move those slightly.
  double meanLevel = 225.9;
  double magnitudeMedian = 1287;
  double magnitudeAt75 = 2761;
  double magnitudeAt90 = 4689;
  double magnitudeAt99 = 6687;
  double magnitudeLargest = 9019;

  // Jumps of the pops whose height is free, drawn from this range where it fits.
  double popJumpSmallest = 10500;
  double popJumpLargest = 14500;
};

// ---------------------------------------------------------------------------------------------
// Random numbers

class Random {
 public:
  explicit Random(std::uint32_t engineSeed) : engine_(engineSeed) {}

  // Uniform in [0, 1) with 53 random bits, made from two raw draws.
  double uniform() {
    const double high = engine_() >> 5;  // 27 bits
    const double low = engine_() >> 6;   // 26 bits
    return (high * 67108864.0 + low) / 9007199254740992.0;
  }

  double uniform(double lowest, double highest) { return lowest + (highest - lowest) * uniform(); }

  int below(int count) { return static_cast<int>(uniform() * count); }

  bool coinFlip() { return uniform() < 0.5; }

  double exponential() { return -std::log(1.0 - uniform()); }

 private:
  std::mt19937 engine_;
};

// ---------------------------------------------------------------------------------------------
// Fourier transforms of any length

using Complex = std::complex<double>;

// In-place radix-2 transform; data.size() must be a power of two. Unnormalised.
void fftPowerOfTwo(std::vector<Complex>& data, bool inverse) {
  const std::size_t size = data.size();
  for (std::size_t i = 1, j = 0; i < size; ++i) {
    std::size_t bit = size >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j)
      std::swap(data[i], data[j]);
  }
  for (std::size_t half = 1; half < size; half <<= 1) {
    const double angle = (inverse ? kPi : -kPi) / static_cast<double>(half);
    const Complex step(std::cos(angle), std::sin(angle));
    for (std::size_t block = 0; block < size; block += 2 * half) {
      Complex twiddle(1.0, 0.0);
      for (std::size_t k = 0; k < half; ++k) {
        const Complex odd = data[block + k + half] * twiddle;
        data[block + k + half] = data[block + k] - odd;
        data[block + k] += odd;
        twiddle *= step;
      }
    }
  }
}

// Discrete Fourier transform of a fixed length, by Bluestein's chirp: the transform becomes a
// convolution, which a power-of-two transform does quickly. The body is made over exactly the
// played length, so its spectrum (and with it its autocorrelation) is what we impose, with no
// edge left over.
class Dft {
 public:
  explicit Dft(int length) : length_(length) {
    paddedLength_ = 1;
    while (paddedLength_ < 2 * length_ - 1) paddedLength_ <<= 1;
    chirp_.resize(length_);
    for (int n = 0; n < length_; ++n) {
      // n * n reduced modulo 2 * length keeps the angle exact for large n.
      const long long square = static_cast<long long>(n) * n % (2LL * length_);
      const double angle = kPi * static_cast<double>(square) / length_;
      chirp_[n] = Complex(std::cos(angle), -std::sin(angle));
    }
    chirpSpectrum_.assign(paddedLength_, Complex(0.0, 0.0));
    chirpSpectrum_[0] = std::conj(chirp_[0]);
    for (int n = 1; n < length_; ++n) {
      chirpSpectrum_[n] = chirpSpectrum_[paddedLength_ - n] = std::conj(chirp_[n]);
    }
    fftPowerOfTwo(chirpSpectrum_, false);
  }

  std::vector<Complex> forward(const std::vector<Complex>& signal) const {
    std::vector<Complex> padded(paddedLength_, Complex(0.0, 0.0));
    for (int n = 0; n < length_; ++n) padded[n] = signal[n] * chirp_[n];
    fftPowerOfTwo(padded, false);
    for (int k = 0; k < paddedLength_; ++k) padded[k] *= chirpSpectrum_[k];
    fftPowerOfTwo(padded, true);
    std::vector<Complex> spectrum(length_);
    for (int k = 0; k < length_; ++k) {
      spectrum[k] = padded[k] * chirp_[k] / static_cast<double>(paddedLength_);
    }
    return spectrum;
  }

  std::vector<Complex> inverse(const std::vector<Complex>& spectrum) const {
    std::vector<Complex> conjugated(length_);
    for (int k = 0; k < length_; ++k) conjugated[k] = std::conj(spectrum[k]);
    std::vector<Complex> signal = forward(conjugated);
    for (Complex& value : signal) value = std::conj(value) / static_cast<double>(length_);
    return signal;
  }

 private:
  int length_;
  int paddedLength_;
  std::vector<Complex> chirp_;
  std::vector<Complex> chirpSpectrum_;
};

// ---------------------------------------------------------------------------------------------
// The body

double magnitudeAtProbability(const Recipe& recipe, double probability, int count) {
  // Knots in (-log(1 - probability), magnitude). The last knot is the largest of `count` values.
  const double knotLog[] = {0.0,
                            std::log(2.0),
                            std::log(4.0),
                            std::log(10.0),
                            std::log(100.0),
                            std::log(static_cast<double>(count))};
  const double knotMagnitude[] = {0.0,
                                  recipe.magnitudeMedian,
                                  recipe.magnitudeAt75,
                                  recipe.magnitudeAt90,
                                  recipe.magnitudeAt99,
                                  recipe.magnitudeLargest};
  const double logTail = -std::log(1.0 - probability);
  int segment = 0;
  while (segment < 4 && logTail > knotLog[segment + 1]) ++segment;
  const double fraction = (logTail - knotLog[segment]) / (knotLog[segment + 1] - knotLog[segment]);
  return knotMagnitude[segment] + fraction * (knotMagnitude[segment + 1] - knotMagnitude[segment]);
}

// The sorted values of the amplitude distribution: a magnitude drawn from the quantiles above, an
// even chance of either sign, shifted by the mean level.
std::vector<double> makeSortedAmplitudes(const Recipe& recipe, int count) {
  std::vector<double> amplitudes(count);
  for (int i = 0; i < count; ++i) {
    const double probability = (i + 0.5) / count;
    const double signedPart = 2.0 * probability - 1.0;
    const double magnitude = magnitudeAtProbability(recipe, std::fabs(signedPart), count);
    amplitudes[i] = recipe.meanLevel + (signedPart < 0.0 ? -magnitude : magnitude);
  }
  return amplitudes;
}

// Gives `signal` exactly the values in `sortedValues`, keeping the order of its entries.
void rankRemap(std::vector<double>& signal, const std::vector<double>& sortedValues) {
  std::vector<int> order(signal.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&signal](int a, int b) { return signal[a] < signal[b]; });
  for (std::size_t rank = 0; rank < order.size(); ++rank) signal[order[rank]] = sortedValues[rank];
}

// Magnitudes of the spectrum whose power is the transform of the wanted autocorrelation.
std::vector<double> makeBodySpectrum(const Recipe& recipe, const Dft& dft, int length) {
  std::vector<Complex> autocorrelation(length);
  for (int lag = 0; lag < length; ++lag) {
    const double distance = std::min(lag, length - lag);  // the body is periodic
    autocorrelation[lag] =
        std::exp(-std::pow(distance / recipe.bodyCorrelationLength, recipe.bodyCorrelationShape));
  }
  const std::vector<Complex> power = dft.forward(autocorrelation);
  std::vector<double> magnitudes(length);
  for (int k = 0; k < length; ++k) magnitudes[k] = std::sqrt(std::max(power[k].real(), 0.0));
  return magnitudes;
}

// Iterative amplitude-adjusted Fourier transforms: alternately impose the spectrum (keeping the
// phases) and the amplitude distribution (keeping the order). Starts from the amplitudes shuffled.
std::vector<double> makeBody(const Recipe& recipe, const std::vector<double>& sortedAmplitudes,
                             Random& random) {
  const int length = static_cast<int>(sortedAmplitudes.size());
  const Dft dft(length);
  const std::vector<double> spectrumMagnitudes = makeBodySpectrum(recipe, dft, length);

  std::vector<double> body = sortedAmplitudes;
  for (int i = length - 1; i > 0; --i) std::swap(body[i], body[random.below(i + 1)]);

  std::vector<Complex> signal(length);
  for (int iteration = 0; iteration < recipe.amplitudeIterations; ++iteration) {
    for (int i = 0; i < length; ++i) signal[i] = body[i];
    std::vector<Complex> spectrum = dft.forward(signal);
    // Bin 0 holds the mean, which the ranking sets; leave it alone.
    for (int k = 1; k < length; ++k) {
      const double magnitude = std::abs(spectrum[k]);
      spectrum[k] = magnitude > 0.0 ? spectrum[k] * (spectrumMagnitudes[k] / magnitude)
                                    : Complex(spectrumMagnitudes[k], 0.0);
    }
    signal = dft.inverse(spectrum);
    for (int i = 0; i < length; ++i) body[i] = signal[i].real();
    rankRemap(body, sortedAmplitudes);
  }
  return body;
}

// ---------------------------------------------------------------------------------------------
// Clicks and pops

// A click ramps to its size over a few entries, then relaxes.
void addClicks(std::vector<double>& signal, const Recipe& recipe, Random& random) {
  const int length = static_cast<int>(signal.size());
  for (int click = 0; click < recipe.clickCount; ++click) {
    const int start = random.below(length);
    const double size = recipe.clickMeanSize * random.exponential();
    const double direction = random.coinFlip() ? 1.0 : -1.0;
    double value = 0.0;
    for (int i = start; i < length; ++i) {
      const int sinceStart = i - start + 1;
      value = sinceStart <= kClickRampLength ? size * sinceStart / kClickRampLength
                                             : value * relaxationPerEntry;
      if (value < 0.5)
        break;
      signal[i] += direction * value;
    }
  }
}

// Adds a smooth bump around [first, last] that moves the level there by `shift`: flat over the
// range, with raised-cosine shoulders of `shoulder` entries.
void shiftLevel(std::vector<double>& signal, int first, int last, double shift, int shoulder) {
  for (int i = first - shoulder; i <= last + shoulder; ++i) {
    const int outside = i < first ? first - i : (i > last ? i - last : 0);
    const double weight = 0.5 * (1.0 + std::cos(kPi * outside / (shoulder + 1)));
    signal[i] += shift * weight;
  }
}

// The surrounding level a pop jumps from: the entries just outside it.
double levelAround(const std::vector<double>& signal, int first, int last) {
  return 0.5 * (signal[first - 1] + signal[last + 1]);
}

// The two pops that hold the table's extremes have fixed heights, so the signal around them must
// sit where those heights are 9,000..16,000 away. If it does not, move it there smoothly.
void placeExtremePop(std::vector<double>& signal, const ExtremePop& pop) {
  const int last = pop.start + pop.length - 1;
  const double levelMargin = 1500;  // keeps the jumps well inside 9,000..16,000
  const int shoulder = 150;         // entries over which the level eases there and back
  const double levelNearest = pop.extreme - pop.direction * (popJumpLowest + levelMargin);
  const double levelFarthest = pop.extreme - pop.direction * (popJumpHighest - levelMargin);
  const double level = levelAround(signal, pop.start, last);
  const double wanted = std::clamp(level, std::min(levelNearest, levelFarthest),
                                   std::max(levelNearest, levelFarthest));
  if (wanted != level)
    shiftLevel(signal, pop.start - 1, last + 1, wanted - level, shoulder);

  // The pop rides on the signal beneath it, lifted so that the extreme lands exactly. Its other
  // entries are kept a little inside the extreme, sloping towards it, so the extreme stays unique.
  const double slopeToExtreme = 12;
  const double jump = pop.extreme - signal[pop.extremeEntry];
  for (int i = pop.start; i <= last; ++i) signal[i] += jump;
  for (int i = pop.start; i <= last; ++i) {
    if (i == pop.extremeEntry)
      continue;
    const double inside =
        pop.extreme - pop.direction * slopeToExtreme * std::abs(i - pop.extremeEntry);
    signal[i] = pop.direction > 0 ? std::min(signal[i], inside) : std::max(signal[i], inside);
  }
}

// The jumps a pop may take in one direction, given the lowest and highest entries of the signal
// beneath it and beside it.
struct JumpRange {
  double smallest;
  double largest;
  bool fits() const { return largest >= smallest; }
};

JumpRange jumpRange(int direction, double lowest, double highest, double margin) {
  // Upwards, the pop must clear 10,000 from its lowest point and stay below the maximum from its
  // highest; downwards the same, mirrored.
  const double clearing = direction > 0 ? popThreshold - lowest : popThreshold + highest;
  const double room = direction > 0 ? kMaximumPop.extreme - highest : lowest - kMinimumPop.extreme;
  return {std::max(popJumpLowest, clearing) + margin, std::min(popJumpHighest, room) - margin};
}

// A pop of free height: pick a direction and a jump that keep the whole pop beyond 10,000 and
// inside the extremes, then add it as a flat step on top of the signal beneath.
void placeFreePop(std::vector<double>& signal, int start, const Recipe& recipe, Random& random) {
  const int length = random.coinFlip() ? 6 : 7;
  const int last = start + length - 1;
  const auto [lowestIt, highestIt] =
      std::minmax_element(signal.begin() + start - 1, signal.begin() + last + 2);
  const double lowest = *lowestIt, highest = *highestIt;
  const double margin = 300;  // room for the signal beneath to drift along the top
  JumpRange up = jumpRange(+1, lowest, highest, margin);
  JumpRange down = jumpRange(-1, lowest, highest, margin);
  // Keep to the usual sizes where they fit.
  for (JumpRange* range : {&up, &down}) {
    const JumpRange usual = {std::max(range->smallest, recipe.popJumpSmallest),
                             std::min(range->largest, recipe.popJumpLargest)};
    if (usual.fits())
      *range = usual;
  }
  const bool upwards = up.fits() && (!down.fits() || random.coinFlip());
  const JumpRange& chosen = upwards ? up : down;
  const double jump = random.uniform(chosen.smallest, chosen.largest);
  for (int i = start; i <= last; ++i) signal[i] += upwards ? jump : -jump;
}

void addPops(std::vector<double>& signal, const Recipe& recipe, Random& random) {
  for (int start : kFreePopStarts) placeFreePop(signal, start, recipe, random);
  placeExtremePop(signal, kMinimumPop);
  placeExtremePop(signal, kMaximumPop);
}

// ---------------------------------------------------------------------------------------------
// Quoted entries

// Weight of a correction `distance` entries away from where it is whole: a raised-cosine fade.
double fadeWeight(int distance, int fadeLength) {
  return 0.5 * (1.0 + std::cos(kPi * distance / (fadeLength + 1)));
}

// Writes the quoted entries. The signal beside each block is moved by an offset that makes it meet
// the block's first and last values and fades away smoothly, so the steps into and out of the block
// are the steps the signal already took there. Between two blocks closer than two fades, the
// offset eases from one block's to the other's instead.
void pinQuotedEntries(std::vector<double>& signal, int fadeLength) {
  const int blockCount = static_cast<int>(std::size(quotedEntries));
  auto firstOf = [](int block) { return quotedEntries[block].first; };
  auto lastOf = [](int block) {
    return quotedEntries[block].first + static_cast<int>(quotedEntries[block].values.size()) - 1;
  };
  auto nearEachOther = [&](int earlier, int later) {
    return firstOf(later) - lastOf(earlier) <= 2 * fadeLength;
  };

  std::vector<double> offset(signal.size(), 0.0);
  for (int block = 0; block < blockCount; ++block) {
    const int first = firstOf(block);
    const int last = lastOf(block);
    const double offsetAtFirst = quotedEntries[block].values.front() - signal[first];
    const double offsetAtLast = quotedEntries[block].values.back() - signal[last];

    if (block == 0 || !nearEachOther(block - 1, block)) {
      for (int distance = 1; distance <= fadeLength && first - distance >= 0; ++distance) {
        offset[first - distance] = offsetAtFirst * fadeWeight(distance, fadeLength);
      }
    }
    if (block + 1 < blockCount && nearEachOther(block, block + 1)) {
      const int next = firstOf(block + 1);
      const double offsetAtNext = quotedEntries[block + 1].values.front() - signal[next];
      for (int i = last + 1; i < next; ++i) {
        const double eased = 0.5 * (1.0 - std::cos(kPi * (i - last) / (next - last)));
        offset[i] = offsetAtLast + (offsetAtNext - offsetAtLast) * eased;
      }
    } else {
      for (int distance = 1; distance <= fadeLength && last + distance < playedEntryCount;
           ++distance) {
        offset[last + distance] = offsetAtLast * fadeWeight(distance, fadeLength);
      }
    }
  }
  for (std::size_t i = 0; i < signal.size(); ++i) signal[i] += offset[i];
  for (const QuotedEntries& quoted : quotedEntries) {
    for (std::size_t i = 0; i < quoted.values.size(); ++i)
      signal[quoted.first + i] = quoted.values[i];
  }
}

// ---------------------------------------------------------------------------------------------
// Measuring

void printFigures(const std::vector<std::int16_t>& table) {
  const std::vector<double> x = playedEntries(table.data());
  for (const FigureTarget& figure : figureTargets) {
    std::fprintf(stderr, "%s %.4f (%g +/- %g)\n", figure.name, figure.measure(x), figure.target,
                 figure.tolerance);
  }
  std::fprintf(stderr, "runs beyond %.0f: %zu (8)\n", popThreshold,
               runsBeyond(x, popThreshold).size());
  for (const auto& [extreme, name] :
       {std::pair{lowest, "minimum"}, std::pair{highest, "maximum"}}) {
    const auto at = std::find(x.begin(), x.end(), double(extreme.value));
    std::fprintf(stderr, "%s %d at entry %td, %td entries (%d at %d, 1 entry)\n", name,
                 extreme.value, at - x.begin(),
                 std::count(x.begin(), x.end(), double(extreme.value)), extreme.value,
                 extreme.entry);
  }
}

// ---------------------------------------------------------------------------------------------
// The table

std::vector<std::int16_t> makeTable(const Recipe& recipe) {
  Random random(kSeed);
  const std::vector<double> sortedAmplitudes = makeSortedAmplitudes(recipe, playedEntryCount);

  std::vector<double> signal = makeBody(recipe, sortedAmplitudes, random);
  addClicks(signal, recipe, random);
  rankRemap(signal, sortedAmplitudes);
  addPops(signal, recipe, random);
  signal.resize(noiseTableLength, 0.0);
  pinQuotedEntries(signal, kQuotedFadeLength);

  std::vector<std::int16_t> table(noiseTableLength);
  for (int i = 0; i < noiseTableLength; ++i) {
    table[i] = static_cast<std::int16_t>(std::lround(signal[i]));
  }
  return table;
}

void writeSource(const std::vector<std::int16_t>& table) {
  std::printf(
      "// Generated by tools/make_noise_table.cpp; do not edit. Remake from the repository root "
      "with:\n"
      "//   g++ -O2 -std=c++17 -I. tools/make_noise_table.cpp -o make_noise_table &&\n"
      "//     ./make_noise_table > noise/noise_table.cpp\n"
      "\n"
      "#include \"noise/noise_table.h\"\n"
      "\n"
      "// clang-format off\n"
      "const NoiseTable noiseTable = {{\n");
  constexpr int kValuesPerLine = 12;
  for (int i = 0; i < noiseTableLength; ++i) {
    if (i % kValuesPerLine == 0)
      std::printf("  ");
    std::printf("%7d,", table[i]);
    if (i % kValuesPerLine == kValuesPerLine - 1 || i == noiseTableLength - 1)
      std::printf("\n");
  }
  std::printf("}};\n// clang-format on\n");
}

}  // namespace

int main() {
  const std::vector<std::int16_t> table = makeTable(Recipe{});
  writeSource(table);
  printFigures(table);
  return 0;
}

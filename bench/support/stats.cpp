#include "bench/support/stats.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace bench {

double Median(std::vector<double> samples) {
  if (samples.empty()) return std::numeric_limits<double>::quiet_NaN();
  std::sort(samples.begin(), samples.end());
  const std::size_t mid = samples.size() / 2;
  if (samples.size() % 2 == 1) return samples[mid];
  return (samples[mid - 1] + samples[mid]) / 2.0;
}

double Percentile(std::vector<double> samples, double p) {
  if (samples.empty()) return std::numeric_limits<double>::quiet_NaN();
  std::sort(samples.begin(), samples.end());
  p = std::clamp(p, 0.0, 100.0);
  // Nearest rank: the smallest value with at least p % of the samples at or below it.
  const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * samples.size()));
  return samples[rank == 0 ? 0 : rank - 1];
}

}  // namespace bench

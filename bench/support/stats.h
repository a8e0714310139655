#pragma once
// Order statistics of repeated measurements. The machines are shared, so every figure is
// a median (or a percentile) of several trials rather than one run or a mean.
#include <vector>

namespace bench {

// The median; NaN for no samples. Takes a copy: the caller's order is kept.
double Median(std::vector<double> samples);
// The p-th percentile (0..100) by nearest rank; NaN for no samples.
double Percentile(std::vector<double> samples, double p);

}  // namespace bench

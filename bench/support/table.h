#pragma once
// One row of the benchmark table that scripts/bench prints: every benchmark program writes
// its rows to standard output in this form (a Markdown table row) and its details to
// standard error, so the script can gather the rows of all programs into one table.
#include <optional>
#include <ostream>
#include <string>

namespace bench {

struct Row {
  std::string measure;     // what was measured, with its variant ("Throughput 53 B")
  std::string figure;      // the measured value with its unit
  std::string reference;   // what it is compared with, measured in the same run
  std::string comparison;  // ratio or difference to the reference
  std::string goal;        // the goal, or empty when there is none
  std::optional<bool> met;  // empty when there is no goal
};

// The header line and the separator line, for the script and the tests.
std::string TableHeader();
std::string FormatRow(const Row& row);
void PrintRow(std::ostream& out, const Row& row);

// Number texts with a fixed number of decimals and the unit after a blank.
std::string Fixed(double value, int decimals, const std::string& unit = "");
// As Fixed, with the sign always shown ("+0.12 ms", "-0.03 ms").
std::string Signed(double value, int decimals, const std::string& unit = "");
// Bytes per second as MB/s (10^6), or kB/s below one MB/s.
std::string Rate(double bytes_per_second);
// A share of one core in per cent, with enough decimals to tell 0.01 % from 0.
std::string CoreShare(double share);

}  // namespace bench

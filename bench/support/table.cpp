#include "bench/support/table.h"

#include <cmath>
#include <cstdio>

namespace bench {
namespace {

// A cell may not break the table.
std::string Cell(const std::string& text) {
  std::string out;
  for (char c : text) out += (c == '|') ? '/' : c;
  return out.empty() ? "–" : out;
}

std::string Verdict(const std::optional<bool>& met) {
  if (!met.has_value()) return "–";
  return *met ? "met" : "**missed**";
}

}  // namespace

std::string TableHeader() {
  return "| Measure | Measured | Reference (same run) | Comparison | Goal | Met |\n"
         "|---|---|---|---|---|---|";
}

std::string FormatRow(const Row& row) {
  return "| " + Cell(row.measure) + " | " + Cell(row.figure) + " | " + Cell(row.reference) +
         " | " + Cell(row.comparison) + " | " + Cell(row.goal) + " | " + Verdict(row.met) + " |";
}

void PrintRow(std::ostream& out, const Row& row) { out << FormatRow(row) << std::endl; }

std::string Fixed(double value, int decimals, const std::string& unit) {
  if (!std::isfinite(value)) return "n/a";
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return unit.empty() ? std::string(text) : std::string(text) + " " + unit;
}

std::string Signed(double value, int decimals, const std::string& unit) {
  // What rounds to zero is shown as +0, not as -0.
  const double scale = std::pow(10.0, decimals);
  if (std::isfinite(value) && std::round(value * scale) == 0) value = 0.0;
  const std::string text = Fixed(value, decimals, unit);
  return (std::isfinite(value) && !std::signbit(value)) ? "+" + text : text;
}

std::string Rate(double bytes_per_second) {
  if (bytes_per_second >= 1e6) return Fixed(bytes_per_second / 1e6, 2, "MB/s");
  return Fixed(bytes_per_second / 1e3, 1, "kB/s");
}

std::string CoreShare(double share) { return Fixed(share * 100.0, 3, "%"); }

}  // namespace bench

#pragma once
// Command-line options every benchmark program takes:
//   --quick        shorter runs (fewer trials, a 2 s idle window instead of 10 s)
//   --seconds=N    the idle window in seconds, overriding the mode's default
// Anything else is left for the program (Google Benchmark flags, roles of child processes).
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

struct RunOptions {
  bool quick = false;
  std::optional<double> seconds;
  std::vector<std::string> rest;  // arguments not taken here, in their order
};

// Throws std::invalid_argument for a malformed value ("--seconds=abc", "--seconds=0").
RunOptions ParseRunOptions(int argc, const char* const* argv);

// Picks the full or the quick variant of a setting.
template <typename T>
T Pick(const RunOptions& options, T full, T quick) {
  return options.quick ? quick : full;
}

}  // namespace bench

#include "bench/support/run_options.h"

#include <cmath>
#include <string_view>

namespace bench {
namespace {

double PositiveSeconds(std::string_view text) {
  std::size_t used = 0;
  double value = 0;
  try {
    value = std::stod(std::string(text), &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size() || !std::isfinite(value) || value <= 0 || value > 3600)
    throw std::invalid_argument("--seconds wants a number of seconds in (0, 3600], not '" +
                                std::string(text) + "'");
  return value;
}

}  // namespace

RunOptions ParseRunOptions(int argc, const char* const* argv) {
  RunOptions options;
  constexpr std::string_view kSeconds = "--seconds=";
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--quick") {
      options.quick = true;
    } else if (arg.starts_with(kSeconds)) {
      options.seconds = PositiveSeconds(arg.substr(kSeconds.size()));
    } else {
      options.rest.emplace_back(arg);
    }
  }
  return options;
}

}  // namespace bench

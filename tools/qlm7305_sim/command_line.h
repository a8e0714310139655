#pragma once
// The qlm7305-sim command line.
#include <string>
#include <variant>
#include <vector>

#include "tools/qlm7305_sim/simulator_options.h"

namespace sim {

struct CommandLine {
  SimulatorOptions options;
  bool help = false;
};

struct UsageError {
  std::string message;
};

// Parses the arguments after the program name; the first bad one gives a UsageError.
std::variant<CommandLine, UsageError> ParseCommandLine(const std::vector<std::string>& args);

// One line naming every option, for error messages.
std::string UsageLine();
// The full description printed by --help.
std::string HelpText();

}  // namespace sim

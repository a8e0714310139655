#include "tools/qlm7305_sim/command_line.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>
#include <optional>

namespace sim {
namespace {

using std::chrono::milliseconds;

// Each option either takes no value (a flag) or exactly one.
struct OptionRule {
  bool takes_value = false;
  std::function<std::optional<std::string>(const std::string& value, SimulatorOptions& o)> apply;
};

std::optional<long long> ParseInteger(const std::string& text, long long low, long long high) {
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < low || value > high) return std::nullopt;
  return value;
}

// Wraps a numeric setter: the value must be a whole number within [low, high].
template <typename Set>
OptionRule Number(const std::string& name, long long low, long long high, Set set) {
  return {true, [=](const std::string& value, SimulatorOptions& o) -> std::optional<std::string> {
            const auto n = ParseInteger(value, low, high);
            if (!n) {
              return name + " needs a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", not '" + value + "'";
            }
            set(o, *n);
            return std::nullopt;
          }};
}

template <typename Set>
OptionRule Flag(Set set) {
  return {false, [=](const std::string&, SimulatorOptions& o) -> std::optional<std::string> {
            set(o);
            return std::nullopt;
          }};
}

OptionRule Path(const std::string& name, std::string SimulatorOptions::*field) {
  return {true, [=](const std::string& value, SimulatorOptions& o) -> std::optional<std::string> {
            if (value.empty()) return name + " needs a path";
            o.*field = value;
            return std::nullopt;
          }};
}

const std::map<std::string, OptionRule>& Rules() {
  static const std::map<std::string, OptionRule> rules = {
      {"--baud",
       Number("--baud", 50, 4'000'000, [](auto& o, long long n) { o.baud = static_cast<int>(n); })},
      {"--address", Number("--address", 1, 247,
                           [](auto& o, long long n) { o.address = static_cast<std::uint8_t>(n); })},
      {"--seed", Number("--seed", 0, 4'294'967'295LL,
                        [](auto& o, long long n) { o.seed = static_cast<std::uint32_t>(n); })},
      {"--fixed", Flag([](auto& o) { o.values = ValueMode::kFixed; })},
      {"--live", Flag([](auto& o) { o.values = ValueMode::kLive; })},
      {"--answer-mode", Flag([](auto& o) { o.answer_mode = true; })},
      {"--verbose", Flag([](auto& o) { o.verbose = true; })},
      {"--silence", Number("--silence", 1, 10'000,
                           [](auto& o, long long n) { o.frame_silence = milliseconds(n); })},
      {"--device", Path("--device", &SimulatorOptions::device)},
      {"--link", Path("--link", &SimulatorOptions::link)},
      {"--split",
       Number("--split", 1, 64,
              [](auto& o, long long n) { o.faults.split_pieces = static_cast<int>(n); })},
      {"--split-gap", Number("--split-gap", 0, 60'000,
                             [](auto& o, long long n) { o.faults.split_gap = milliseconds(n); })},
      {"--corrupt-every",
       Number("--corrupt-every", 1, 1'000'000,
              [](auto& o, long long n) { o.faults.corrupt_every = static_cast<int>(n); })},
      {"--noise", Number("--noise", 1, 4096,
                         [](auto& o, long long n) { o.faults.noise_bytes = static_cast<int>(n); })},
      {"--echo", Flag([](auto& o) { o.faults.echo = true; })},
      {"--drop-every",
       Number("--drop-every", 1, 1'000'000,
              [](auto& o, long long n) { o.faults.drop_every = static_cast<int>(n); })},
      {"--late",
       Number("--late", 0, 60'000, [](auto& o, long long n) { o.faults.late = milliseconds(n); })},
      {"--hangup-after",
       Number("--hangup-after", 1, 1'000'000,
              [](auto& o, long long n) { o.faults.hangup_after = static_cast<int>(n); })},
      {"--hangup-for", Number("--hangup-for", 0, 3'600'000,
                              [](auto& o, long long n) { o.faults.hangup_for = milliseconds(n); })},
      {"--flood", Flag([](auto& o) { o.faults.flood = true; })},
  };
  return rules;
}

// Splits "--name=value" into its two halves; a plain "--name" has no value.
std::pair<std::string, std::optional<std::string>> SplitArgument(const std::string& arg) {
  const auto eq = arg.find('=');
  if (eq == std::string::npos) return {arg, std::nullopt};
  return {arg.substr(0, eq), arg.substr(eq + 1)};
}

std::optional<std::string> ApplyOne(const std::vector<std::string>& args, std::size_t& i,
                                    SimulatorOptions& o) {
  auto [name, value] = SplitArgument(args[i]);
  const auto rule = Rules().find(name);
  if (rule == Rules().end()) return "unknown option '" + args[i] + "'";
  if (!rule->second.takes_value) {
    if (value) return name + " takes no value";
    return rule->second.apply("", o);
  }
  if (!value) {
    if (i + 1 >= args.size()) return name + " needs a value";
    value = args[++i];
  }
  return rule->second.apply(*value, o);
}

bool Contains(const std::vector<std::string>& args, const std::string& arg) {
  return std::find(args.begin(), args.end(), arg) != args.end();
}

}  // namespace

std::variant<CommandLine, UsageError> ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      line.help = true;
      continue;
    }
    if (auto error = ApplyOne(args, i, line.options)) return UsageError{*error};
  }
  if (Contains(args, "--fixed") && Contains(args, "--live")) {
    return UsageError{"--fixed and --live exclude each other"};
  }
  return line;
}

std::string UsageLine() {
  return "usage: qlm7305-sim [--baud N] [--address N] [--fixed|--live] [--seed N] "
         "[--answer-mode] [--silence MS] [--device PATH] [--link PATH] [--split N] [--split-gap "
         "MS] "
         "[--corrupt-every N] [--noise N] [--echo] [--drop-every N] [--late MS] "
         "[--hangup-after N] [--hangup-for MS] [--flood] [--verbose] [--help]";
}

std::string HelpText() {
  return UsageLine() +
         "\n\n"
         "Simulates a QLM7305 remote I/O module (Modbus RTU slave) on a new pseudo-terminal\n"
         "or a real serial device, and prints the device path for the tool to open.\n\n"
         "  --baud N          line speed (default 9600); each reply goes out as one frame\n"
         "                    and holds the line for its time at this speed\n"
         "  --address N       slave address 1..247 (default 1)\n"
         "  --live            drifting analogue inputs, toggling digital inputs (default)\n"
         "  --fixed           the example values: AIN0..3 = 1, 10, 23.456, -0.5, DI1 and DI3\n"
         "                    on, relay 2 on\n"
         "  --seed N          seed of the live values and of random bytes (default 1)\n"
         "  --answer-mode     echo the gateway mode frame (AA 55 ...) instead of staying silent\n"
         "  --silence MS      silence that ends a request (default 3.5 characters); more\n"
         "                    for USB adapters that deliver bytes in bursts\n"
         "  --device PATH     serve a real serial device instead of a pseudo-terminal\n"
         "  --link PATH       place a symlink to the device here; removed on exit\n"
         "  --verbose         log every request and what was done with it\n"
         "faults:\n"
         "  --split N         send each reply in N pieces ...\n"
         "  --split-gap MS    ... with MS milliseconds between them (default 50)\n"
         "  --corrupt-every N every Nth reply has a wrong check\n"
         "  --noise N         N random bytes just before each reply\n"
         "  --echo            echo each request before the reply (RS-485 adapter)\n"
         "  --drop-every N    every Nth reply is not sent\n"
         "  --late MS         answer MS milliseconds late\n"
         "  --hangup-after N  hang up once after N requests ...\n"
         "  --hangup-for MS   ... and come back after MS milliseconds (default 1000)\n"
         "  --flood           fill the line with random bytes between replies\n\n"
         "Stops on SIGINT or SIGTERM.\n";
}

}  // namespace sim

#pragma once
// Everything that shapes one simulated module.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "tools/qlm7305_sim/faults.h"

namespace sim {

enum class ValueMode {
  kLive,   // drifting analogue inputs, toggling digital inputs
  kFixed,  // the example values of the read-all answer, relay 2 on
};

struct SimulatorOptions {
  int baud = 9600;
  std::uint8_t address = 1;
  ValueMode values = ValueMode::kLive;
  std::uint32_t seed = 1;
  bool answer_mode = false;
  // The silence that ends a request; empty: 3.5 characters at the baud rate. A USB serial
  // adapter delivers bytes in bursts (every 16 ms is common), so serving a real device
  // through one may need more.
  std::optional<Duration> frame_silence;
  FaultOptions faults;
  std::string device;  // a real serial device to serve; empty: a new pseudo-terminal
  std::string link;    // where to place a symlink to the device; empty: none
  // Receives one line per line event (opened, hung up, back) and, when verbose, per
  // exchange. Called on the module's own thread.
  std::function<void(const std::string&)> log;
  bool verbose = false;
};

}  // namespace sim

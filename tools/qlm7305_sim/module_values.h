#pragma once
// What the module's registers hold: eight analogue inputs, four digital inputs, four relays.
#include <array>
#include <cstdint>

#include "modbus/requests.h"
#include "modbus/response.h"
#include "tools/qlm7305_sim/line_timing.h"

namespace sim {

using RegisterImage = std::array<std::uint16_t, modbus::kRegisterCount>;
using Relays = std::array<std::uint16_t, modbus::kRelayCount>;

inline constexpr std::size_t kFirstDigitalInputRegister = 16;

struct InputValues {
  std::array<float, modbus::kAnalogInputs> analog{};
  std::array<std::uint16_t, modbus::kDigitalInputs> digital{};
};

// The example of the read-all answer: AIN0..3 = 1.0, 10.0, 23.456, -0.5, DI1 and DI3 on,
// relay 2 on. Its answer for slave 1 is the frame ending 25 0B.
InputValues ExampleInputs();
Relays ExampleRelays();

// Registers 0..15 carry each analogue value as two registers, low 16 bits first (the
// order the tool decodes); 16..19 the digital inputs; 20..23 the relays.
RegisterImage MakeRegisterImage(const InputValues& inputs, const Relays& relays);

// Inputs that drift slowly and digital inputs that toggle every few seconds, so a demo is
// visibly alive. A pure function of the seed and the time since start, so runs repeat.
class LiveInputs {
 public:
  explicit LiveInputs(std::uint32_t seed);
  InputValues At(Duration elapsed) const;

 private:
  struct Wave {
    float centre = 0;
    float amplitude = 0;
    double period_s = 1;
    double phase = 0;
  };
  struct Toggle {
    double period_s = 1;
    double offset_s = 0;
  };
  std::array<Wave, modbus::kAnalogInputs> waves_{};
  std::array<Toggle, modbus::kDigitalInputs> toggles_{};
};

}  // namespace sim

#include "tools/qlm7305_sim/module_values.h"

#include <cmath>
#include <numbers>
#include <random>

namespace sim {

InputValues ExampleInputs() {
  InputValues v;
  v.analog = {1.0F, 10.0F, 23.456F, -0.5F, 0.0F, 0.0F, 0.0F, 0.0F};
  v.digital = {1, 0, 1, 0};
  return v;
}

Relays ExampleRelays() { return {0, 1, 0, 0}; }

RegisterImage MakeRegisterImage(const InputValues& inputs, const Relays& relays) {
  RegisterImage image{};
  for (std::size_t k = 0; k < inputs.analog.size(); ++k) {
    const auto wire = modbus::AnalogToWire(inputs.analog[k]);
    image[2 * k] = static_cast<std::uint16_t>((wire[0] << 8) | wire[1]);
    image[2 * k + 1] = static_cast<std::uint16_t>((wire[2] << 8) | wire[3]);
  }
  for (std::size_t j = 0; j < inputs.digital.size(); ++j) {
    image[kFirstDigitalInputRegister + j] = inputs.digital[j];
  }
  for (std::size_t j = 0; j < relays.size(); ++j) {
    image[modbus::kFirstRelayRegister + j] = relays[j];
  }
  return image;
}

// Each input gets its own centre (spread over 0..20, like a 4-20 mA loop or a few volts),
// a swing of a few per cent and a period of 10 to 40 s: visible change at every read.
LiveInputs::LiveInputs(std::uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (std::size_t k = 0; k < waves_.size(); ++k) {
    Wave& w = waves_[k];
    w.centre = static_cast<float>(2.5 * static_cast<double>(k) + 2.0 * unit(random));
    w.amplitude = static_cast<float>(0.2 + 0.8 * unit(random));
    w.period_s = 10.0 + 30.0 * unit(random);
    w.phase = 2.0 * std::numbers::pi * unit(random);
  }
  for (Toggle& t : toggles_) {
    t.period_s = 2.0 + 3.0 * unit(random);
    t.offset_s = t.period_s * unit(random);
  }
}

InputValues LiveInputs::At(Duration elapsed) const {
  const double t = std::chrono::duration<double>(elapsed).count();
  InputValues v;
  for (std::size_t k = 0; k < waves_.size(); ++k) {
    const Wave& w = waves_[k];
    const double angle = 2.0 * std::numbers::pi * t / w.period_s + w.phase;
    v.analog[k] = w.centre + w.amplitude * static_cast<float>(std::sin(angle));
  }
  for (std::size_t j = 0; j < toggles_.size(); ++j) {
    const auto step = static_cast<long long>((t + toggles_[j].offset_s) / toggles_[j].period_s);
    v.digital[j] = static_cast<std::uint16_t>(step % 2);
  }
  return v;
}

}  // namespace sim

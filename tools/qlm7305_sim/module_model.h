#pragma once
// The module as a Modbus RTU slave: which frames it answers and with what.
#include <cstdint>
#include <functional>
#include <optional>

#include "modbus/byte_string.h"
#include "tools/qlm7305_sim/module_values.h"
#include "tools/qlm7305_sim/request_parser.h"

namespace sim {

inline constexpr std::uint8_t kBroadcastAddress = 0;
inline constexpr std::uint8_t kReadHoldingRegisters = 3;
inline constexpr std::uint8_t kWriteSingleRegister = 6;
inline constexpr std::uint8_t kWriteMultipleRegisters = 16;
inline constexpr std::uint8_t kIllegalFunction = 1;
inline constexpr std::uint8_t kIllegalDataAddress = 2;
inline constexpr std::uint8_t kIllegalDataValue = 3;

// The input values at a time since start.
using InputSource = std::function<InputValues(Duration elapsed)>;

struct ModelOptions {
  std::uint8_t address = 1;
  bool answer_mode = false;  // echo the gateway mode frame instead of staying silent
};

class ModuleModel {
 public:
  ModuleModel(ModelOptions options, InputSource inputs, Relays relays);

  // The reply to an intact frame, or nothing: another slave's frame, a broadcast, or a
  // mode frame while answering it is off.
  std::optional<modbus::ByteString> Handle(const Frame& frame, Duration elapsed);

  RegisterImage Registers(Duration elapsed) const;
  const Relays& RelayValues() const noexcept { return relays_; }

 private:
  std::optional<modbus::ByteString> Respond(modbus::ByteView request, Duration elapsed);
  modbus::ByteString ReadRegisters(modbus::ByteView request, Duration elapsed) const;
  modbus::ByteString WriteRegisters(modbus::ByteView request);
  modbus::ByteString WriteRegister(modbus::ByteView request);

  ModelOptions options_;
  InputSource inputs_;
  Relays relays_;
};

// Whether a frame of function 3, 6 or 16 has the length its fields promise (the parser
// guarantees it; frames handed in directly may not).
bool WellFormed(modbus::ByteView request);

// address, function | 0x80, code, check.
modbus::ByteString ExceptionReply(std::uint8_t address, std::uint8_t function, std::uint8_t code);

}  // namespace sim

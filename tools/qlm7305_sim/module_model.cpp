#include "tools/qlm7305_sim/module_model.h"

#include <utility>

#include "modbus/crc16.h"

namespace sim {
namespace {

constexpr std::size_t kMaxReadCount = 125;   // what fits one reply
constexpr std::size_t kMaxWriteCount = 123;  // what fits one request
constexpr std::size_t kWriteHeader = 7;

std::uint16_t Word(modbus::ByteView bytes, std::size_t at) {
  return static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

void AppendWord(modbus::ByteString& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

bool Within(std::size_t first, std::size_t count, std::size_t low, std::size_t high) {
  return first >= low && first + count <= high;
}

}  // namespace

bool WellFormed(modbus::ByteView request) {
  if (request.size() < 4) return false;
  if (request[1] == kReadHoldingRegisters || request[1] == kWriteSingleRegister) {
    return request.size() == 8;
  }
  if (request[1] == kWriteMultipleRegisters) {
    return request.size() >= kWriteHeader + 2 && request.size() == kWriteHeader + request[6] + 2;
  }
  return true;
}

modbus::ByteString ExceptionReply(std::uint8_t address, std::uint8_t function, std::uint8_t code) {
  modbus::ByteString reply = {address, static_cast<std::uint8_t>(function | 0x80U), code};
  modbus::AppendCrc16(reply);
  return reply;
}

ModuleModel::ModuleModel(ModelOptions options, InputSource inputs, Relays relays)
    : options_(options), inputs_(std::move(inputs)), relays_(relays) {}

std::optional<modbus::ByteString> ModuleModel::Handle(const Frame& frame, Duration elapsed) {
  if (frame.kind == FrameKind::kMode) {
    if (!options_.answer_mode) return std::nullopt;
    return frame.bytes;
  }
  if (!WellFormed(frame.bytes)) return std::nullopt;
  const std::uint8_t address = frame.bytes[0];
  if (address == kBroadcastAddress) {
    // Broadcast writes take effect; nobody answers a broadcast.
    if (frame.bytes[1] == kWriteMultipleRegisters) WriteRegisters(frame.bytes);
    if (frame.bytes[1] == kWriteSingleRegister) WriteRegister(frame.bytes);
    return std::nullopt;
  }
  if (address != options_.address) return std::nullopt;
  return Respond(frame.bytes, elapsed);
}

RegisterImage ModuleModel::Registers(Duration elapsed) const {
  return MakeRegisterImage(inputs_(elapsed), relays_);
}

std::optional<modbus::ByteString> ModuleModel::Respond(modbus::ByteView request, Duration elapsed) {
  switch (request[1]) {
    case kReadHoldingRegisters:
      return ReadRegisters(request, elapsed);
    case kWriteMultipleRegisters:
      return WriteRegisters(request);
    case kWriteSingleRegister:
      return WriteRegister(request);
    default:
      return ExceptionReply(options_.address, request[1], kIllegalFunction);
  }
}

// Checks in the order slaves conventionally apply them: quantity first, then the range.
modbus::ByteString ModuleModel::ReadRegisters(modbus::ByteView request, Duration elapsed) const {
  const std::size_t first = Word(request, 2);
  const std::size_t count = Word(request, 4);
  if (count == 0 || count > kMaxReadCount) {
    return ExceptionReply(options_.address, request[1], kIllegalDataValue);
  }
  if (!Within(first, count, 0, modbus::kRegisterCount)) {
    return ExceptionReply(options_.address, request[1], kIllegalDataAddress);
  }
  const RegisterImage image = Registers(elapsed);
  modbus::ByteString reply = {options_.address, request[1], static_cast<std::uint8_t>(2 * count)};
  for (std::size_t r = first; r < first + count; ++r) AppendWord(reply, image[r]);
  modbus::AppendCrc16(reply);
  return reply;
}

// Only the relay registers 20..23 are writable; the reply echoes address and quantity.
modbus::ByteString ModuleModel::WriteRegisters(modbus::ByteView request) {
  const std::size_t first = Word(request, 2);
  const std::size_t count = Word(request, 4);
  if (count == 0 || count > kMaxWriteCount || request[6] != 2 * count) {
    return ExceptionReply(options_.address, request[1], kIllegalDataValue);
  }
  if (!Within(first, count, modbus::kFirstRelayRegister, modbus::kRegisterCount)) {
    return ExceptionReply(options_.address, request[1], kIllegalDataAddress);
  }
  for (std::size_t i = 0; i < count; ++i) {
    relays_[first + i - modbus::kFirstRelayRegister] = Word(request, kWriteHeader + 2 * i);
  }
  modbus::ByteString reply(request.begin(), request.begin() + 6);
  modbus::AppendCrc16(reply);
  return reply;
}

// Function 6 reaches the same relay registers as function 16 (it is what many masters send
// for one value); the reply echoes the request.
modbus::ByteString ModuleModel::WriteRegister(modbus::ByteView request) {
  const std::size_t at = Word(request, 2);
  if (!Within(at, 1, modbus::kFirstRelayRegister, modbus::kRegisterCount)) {
    return ExceptionReply(options_.address, request[1], kIllegalDataAddress);
  }
  relays_[at - modbus::kFirstRelayRegister] = Word(request, 4);
  return modbus::ByteString(request.begin(), request.end());
}

}  // namespace sim

#include "serial/platform/posix/uart_divisor.h"

#include <linux/serial.h>

#include <algorithm>

namespace serial::platform::posix {

bool DividesPlainly(const std::string& driver) {
  return driver == "serial8250" || driver == "serial";
}

std::optional<std::uint32_t> DividedRate(const UartClock& clock, std::uint32_t rate) {
  const bool plain_16550 = clock.type >= PORT_8250 && clock.type <= PORT_16550A;
  const bool own_divisor = (clock.flags & (ASYNC_SPD_MASK | ASYNC_MAGIC_MULTIPLIER)) != 0;
  if (!plain_16550 || own_divisor || clock.baud_base == 0 || rate == 0) return std::nullopt;
  const std::uint64_t base = clock.baud_base;
  const std::uint64_t divisor = std::clamp<std::uint64_t>((base + rate / 2) / rate, 1, 0xFFFF);
  return static_cast<std::uint32_t>((base + divisor / 2) / divisor);
}

}  // namespace serial::platform::posix

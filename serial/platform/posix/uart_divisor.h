#pragma once
// A 16550-family UART runs at its clock divided by 16 and by a whole divisor, which the 8250
// driver rounds to the nearest; the terminal then reads back the rate asked, not the one
// the line runs (56000 asked of a 1.8432 MHz clock runs 57600, 2.9 % off).
#include <cstdint>
#include <optional>

namespace serial::platform::posix {

// What the driver tells of a port's clock (TIOCGSERIAL).
struct UartClock {
  int type = 0;                 // the 8250 driver's port type; 0 (unknown) for USB serial
  std::uint32_t baud_base = 0;  // the clock divided by 16
  std::uint32_t flags = 0;      // the port's ASYNC_* flags
};

// The rate such a UART runs at when `rate` is asked; nothing where the port is not known
// to divide that way: another type (USB serial, UARTs with fractional divisors), a custom
// divisor or a multiplier for rates above the base.
std::optional<std::uint32_t> DividedRate(const UartClock& clock, std::uint32_t rate);

}  // namespace serial::platform::posix

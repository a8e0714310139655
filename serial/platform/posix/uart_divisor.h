#pragma once
// A 16550-family UART runs at its clock divided by 16 and by a whole divisor, which the 8250
// driver rounds to the nearest; the terminal then reads back the rate asked, not the one
// the line runs (56000 asked of a 1.8432 MHz clock runs 57600, 2.9 % off).
#include <cstdint>
#include <optional>
#include <string>

namespace serial::platform::posix {

// What the driver tells of a port's clock (TIOCGSERIAL).
struct UartClock {
  int type = 0;                 // the 8250 driver's port type; 0 (unknown) for USB serial
  std::uint32_t baud_base = 0;  // the clock divided by 16
  std::uint32_t flags = 0;      // the port's ASYNC_* flags
  std::uint32_t fifo = 0;       // the transmit FIFO's size (0 where not told)
};

// The drivers known to program a 16550's whole divisor and nothing else: the 8250 core on
// ISA and platform ports, and its PnP and PCI front ends. Others report a 16550 type but
// divide otherwise (8250_omap by 13 or 16, 8250_dw with a fractional divisor): there the
// terminal's reading is trusted.
bool DividesPlainly(const std::string& driver);

// The rate such a UART runs at when `rate` is asked; nothing where the port is not known
// to divide that way: another type (USB serial, UARTs with fractional divisors), a custom
// divisor or a multiplier for rates above the base.
std::optional<std::uint32_t> DividedRate(const UartClock& clock, std::uint32_t rate);

}  // namespace serial::platform::posix

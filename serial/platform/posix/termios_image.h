#pragma once
// The kernel's termios2 record (TCGETS2/TCSETS2), as a type of our own: <asm/termbits.h>,
// which declares the real one, cannot share a translation unit with <termios.h>. It is
// copied field by field to and from the kernel's record.
#include <array>
#include <cstdint>

namespace serial::platform::posix {

struct TermiosImage {
  std::uint32_t c_iflag = 0;
  std::uint32_t c_oflag = 0;
  std::uint32_t c_cflag = 0;
  std::uint32_t c_lflag = 0;
  std::uint8_t c_line = 0;
  std::array<std::uint8_t, 19> c_cc{};
  std::uint32_t c_ispeed = 0;
  std::uint32_t c_ospeed = 0;

  friend bool operator==(const TermiosImage&, const TermiosImage&) = default;
};

}  // namespace serial::platform::posix

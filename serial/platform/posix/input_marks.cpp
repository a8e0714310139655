#include "serial/platform/posix/input_marks.h"

namespace serial::platform::posix {
namespace {

void Deliver(std::uint8_t byte, const InputRules& rules, Decoded& out) {
  if (byte == 0 && rules.discard_null) return;
  out.data.push_back(byte);
}

}  // namespace

// The tty layer sends FF FF for a data byte FF and FF 00 X for X received with an error
// (breaks are ignored there; the driver's counters report them).
Decoded InputMarks::Take(const std::uint8_t* bytes, std::size_t n, const InputRules& rules) {
  Decoded out;
  out.data.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t b = bytes[i];
    if (!rules.marked) {
      Deliver(b, rules, out);
      continue;
    }
    switch (state_) {
      case State::Plain:
        if (b == 0xFF) {
          state_ = State::AfterFF;
        } else {
          Deliver(b, rules, out);
        }
        break;
      case State::AfterFF:
        state_ = b == 0x00 ? State::AfterFF00 : State::Plain;
        if (b != 0x00) Deliver(b, rules, out);  // FF FF; anything else is not a mark
        break;
      case State::AfterFF00:
        state_ = State::Plain;
        out.error = true;
        Deliver(rules.error_char.value_or(b), rules, out);
        break;
    }
  }
  return out;
}

}  // namespace serial::platform::posix

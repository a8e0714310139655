#pragma once
// Received bytes as the tty layer marks them (PARMRK, breaks ignored) turned into what
// the component expects: a byte received with a parity or framing error is data (or the
// error character) with its error flag; a 0xFF data byte arrives doubled. Marks may be
// split across reads, so the decoder keeps its state.
#include <cstdint>
#include <optional>
#include <vector>

namespace serial::platform::posix {

struct InputRules {
  bool marked = false;                    // the terminal marks errors (PARMRK)
  std::optional<std::uint8_t> error_char; // replaces a byte received with an error
  bool discard_null = false;              // 0x00 data bytes are dropped
};

struct Decoded {
  std::vector<std::uint8_t> data;
  bool error = false;  // a byte was received with a parity or framing error
};

class InputMarks {
 public:
  // Decodes n received bytes; a mark that is not complete yet is held for the next call.
  Decoded Take(const std::uint8_t* bytes, std::size_t n, const InputRules& rules);
  // Forgets a mark begun but not ended: its bytes were discarded, or the marking changed.
  void Reset() { state_ = State::Plain; }

 private:
  enum class State { Plain, AfterFF, AfterFF00 };
  State state_ = State::Plain;
};

}  // namespace serial::platform::posix

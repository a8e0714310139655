#pragma once
// Typed values read off the front of a fuzzer's input. Past the end every read gives 0, so
// any input, the empty one included, is a valid sequence of steps.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : rest_(data, size) {}

  bool Empty() const { return rest_.empty(); }
  std::size_t Remaining() const { return rest_.size(); }

  std::uint8_t Byte() {
    if (rest_.empty()) return 0;
    const std::uint8_t b = rest_.front();
    rest_ = rest_.subspan(1);
    return b;
  }
  bool Bool() { return (Byte() & 1U) != 0; }
  std::uint16_t U16() { return static_cast<std::uint16_t>(Byte() | (Byte() << 8)); }
  std::uint32_t U32() { return U16() | (std::uint32_t{U16()} << 16); }

  // A value in [lo, hi] taken from one byte (hi - lo below 256).
  int Range(int lo, int hi) { return lo + Byte() % (hi - lo + 1); }

  // Up to max bytes, the count taken from one byte.
  std::vector<std::uint8_t> Bytes(std::size_t max) {
    const std::size_t n = max == 0 ? 0 : Byte() % (max + 1);
    return Take(n);
  }
  // Up to n bytes, fewer when the input ends first.
  std::vector<std::uint8_t> Take(std::size_t n) {
    const std::size_t m = n < rest_.size() ? n : rest_.size();
    std::vector<std::uint8_t> out(rest_.begin(), rest_.begin() + static_cast<std::ptrdiff_t>(m));
    rest_ = rest_.subspan(m);
    return out;
  }

 private:
  std::span<const std::uint8_t> rest_;
};

}  // namespace fuzz

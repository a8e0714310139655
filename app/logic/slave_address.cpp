#include "app/logic/slave_address.h"

#include <cctype>

namespace rtutest {
namespace {

int DigitValue(char c, int base) {
  const auto u = static_cast<unsigned char>(c);
  int v = -1;
  if (std::isdigit(u)) v = c - '0';
  else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v < base ? v : -1;
}

// Digits only, at least one; the magnitude must stay within limit.
std::optional<std::uint64_t> Magnitude(std::string_view digits, int base, std::uint64_t limit) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    const int d = DigitValue(c, base);
    if (d < 0) return std::nullopt;
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
    if (value > limit) return std::nullopt;  // checked per digit, so no overflow
  }
  return value;
}

std::optional<std::int32_t> Hexadecimal(std::string_view digits) {
  const auto value = Magnitude(digits, 16, 0xFFFFFFFFULL);
  if (!value) return std::nullopt;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(*value));
}

std::optional<std::int32_t> Decimal(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const auto value = Magnitude(text, 10, negative ? 2147483648ULL : 2147483647ULL);
  if (!value) return std::nullopt;
  const auto signed_value = static_cast<std::int64_t>(*value);
  return static_cast<std::int32_t>(negative ? -signed_value : signed_value);
}

}  // namespace

std::optional<std::int32_t> SlaveAddressFromText(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  for (std::string_view prefix : {"0x", "0X", "$", "x", "X"}) {
    if (text.starts_with(prefix)) return Hexadecimal(text.substr(prefix.size()));
  }
  return Decimal(text);
}

}  // namespace rtutest

// The slave address text as the confirm button converts it: any text, as it comes out of
// the edit (through QString), gives what a plain reading of the rules gives; every signed
// 32-bit value written in any accepted form reads back as itself; and anything after the
// last digit, a blank included, refuses the text.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include <QString>

#include "app/logic/slave_address.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"

namespace {

int Digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// At least one digit of the base; the value saturates just above `limit`.
std::optional<std::uint64_t> Digits(std::string_view s, int base, std::uint64_t limit) {
  if (s.empty()) return std::nullopt;
  std::uint64_t v = 0;
  for (char c : s) {
    if (Digit(c) >= base) return std::nullopt;
    v = std::min<std::uint64_t>(v * base + Digit(c), limit + 1);
  }
  if (v > limit) return std::nullopt;
  return v;
}

std::optional<std::int32_t> Reference(std::string_view s) {
  s.remove_prefix(std::min(s.find_first_not_of(' '), s.size()));
  for (std::string_view p : {"0x", "0X", "$", "x", "X"}) {
    if (!s.starts_with(p)) continue;
    const auto v = Digits(s.substr(p.size()), 16, 0xFFFFFFFFu);
    if (!v) return std::nullopt;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(*v));
  }
  const bool negative = s.starts_with('-');
  if (negative || s.starts_with('+')) s.remove_prefix(1);
  const auto v = Digits(s, 10, negative ? 2147483648u : 2147483647u);
  if (!v) return std::nullopt;
  return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(*v)
                                            : static_cast<std::int64_t>(*v));
}

// The value in one of the accepted forms: decimal (with a sign or not) or hexadecimal
// after any of the prefixes, digits in either case, with leading blanks and zeros.
std::string Written(std::int32_t value, fuzz::FuzzInput& in) {
  std::string text(in.Range(0, 3), ' ');
  const int form = in.Range(0, 5);
  const std::string zeros(in.Range(0, 2), '0');
  if (form == 0) return text + (value >= 0 && in.Bool() ? "+" : "") + std::to_string(value);
  static const char* kPrefixes[] = {"0x", "0X", "$", "x", "X"};
  char digits[9];
  std::snprintf(digits, sizeof digits, in.Bool() ? "%X" : "%x", static_cast<std::uint32_t>(value));
  return text + kPrefixes[form - 1] + zeros + digits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Any text, as the edit hands it over.
  const std::string raw(reinterpret_cast<const char*>(data), size);
  const std::string text = QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size())).toStdString();
  FUZZ_REQUIRE(rtutest::SlaveAddressFromText(text) == Reference(text));
  FUZZ_REQUIRE(rtutest::SlaveAddressFromText(raw) == Reference(raw));
  // A value written out reads back; with anything after it, it is refused.
  fuzz::FuzzInput in(data, size);
  const auto value = static_cast<std::int32_t>(in.U32());
  const std::string written = Written(value, in);
  FUZZ_REQUIRE(rtutest::SlaveAddressFromText(written) == value);
  const char trailing = static_cast<char>(in.Byte());
  if (Digit(trailing) >= 16) FUZZ_REQUIRE(!rtutest::SlaveAddressFromText(written + trailing));
  return 0;
}

#include "app/logic/port_name.h"

#include <algorithm>

namespace rtutest {
namespace {

char32_t Folded(char32_t c) {
  if (c >= U'\uFF01' && c <= U'\uFF5E') return c - 0xFEE0;  // full-width ASCII forms
  if (c == U'\u3000') return U' ';                          // ideographic space
  return c;
}

bool Blank(char32_t c) { return c == U' ' || (c >= U'\t' && c <= U'\r') || c == U'\u00A0'; }

bool IsDigit(char32_t c) { return c >= U'0' && c <= U'9'; }

char32_t Upper(char32_t c) { return c >= U'a' && c <= U'z' ? c - 32 : c; }

// "COM3:" (any case, one or more digits, one colon): the colon is not part of the name.
bool DosDeviceWithColon(std::u32string_view name) {
  if (name.size() < 5 || name.back() != U':') return false;
  if (Upper(name[0]) != U'C' || Upper(name[1]) != U'O' || Upper(name[2]) != U'M') return false;
  const std::u32string_view digits = name.substr(3, name.size() - 4);
  return std::all_of(digits.begin(), digits.end(), IsDigit);
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string PortNameFor(std::u32string_view typed) {
  std::u32string name(typed);
  std::transform(name.begin(), name.end(), name.begin(), Folded);
  const auto first = std::find_if_not(name.begin(), name.end(), Blank);
  const auto last = std::find_if_not(name.rbegin(), name.rend(), Blank).base();
  name = first < last ? std::u32string(first, last) : std::u32string();
  if (name.starts_with(U"\\\\.\\")) name.erase(0, 4);
  if (DosDeviceWithColon(name)) name.pop_back();
  std::string utf8;
  for (char32_t c : name) AppendUtf8(utf8, c);
  return utf8;
}

}  // namespace rtutest

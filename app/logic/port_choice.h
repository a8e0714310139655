#pragma once
// What the open button sets on the port from the baud-rate and data-format texts.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "serial/comm_types.h"

namespace rtutest {

// The drop-downs' lists in their order: the rates offered (9600 selected at start) and the
// data formats (8N1 selected).
inline constexpr std::array<const char*, 15> kOfferedBaudRates = {
    "300",   "600",   "1200",  "2400",   "4800",   "9600",   "14400", "19200",
    "28800", "38400", "57600", "115200", "230400", "460800", "921600"};
inline constexpr std::array<const char*, 12> kOfferedDataFormats = {
    "8N1", "8E1", "8O1", "7N1", "7E1", "7O1", "8N2", "8E2", "8O2", "7N2", "7E2", "7O2"};

// A rate from the table member `rate`, or, when custom_value is set, the two steps
// BaudRate = brCustom followed by BaudValue = *custom_value.
struct BaudChoice {
  serial::TBaudRate rate = serial::br9600;
  std::optional<std::uint32_t> custom_value;
  friend bool operator==(const BaudChoice&, const BaudChoice&) = default;
};

// Exact, case-sensitive match of the whole text against the baud table; a text that
// matches no row gives br9600 (so " 4800" or "56000" open at 9600).
BaudChoice BaudChoiceFor(std::string_view text);

// One value per character (not byte, not UTF-16 unit) of the first three; an absent value
// keeps what the port had. A full-width "８" is one character that sets nothing.
struct DataFormatChoice {
  std::optional<serial::TDataBits> data_bits;
  std::optional<serial::TParity> parity;
  std::optional<serial::TStopBits> stop_bits;
  friend bool operator==(const DataFormatChoice&, const DataFormatChoice&) = default;
};

// nullopt for the empty text, which the open button refuses as a failure.
std::optional<DataFormatChoice> DataFormatChoiceFor(std::u32string_view text);

}  // namespace rtutest

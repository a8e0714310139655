#include "app/logic/port_choice.h"

#include <array>


namespace rtutest {
namespace {

struct BaudRow {
  std::string_view text;
  BaudChoice choice;
};

// Searched in this order. 14400 is deliberately a custom rate, not the member br14400;
// 33600 and 76800 are recognised although the drop-down does not offer them.
const std::array<BaudRow, 17> kBaudTable = {{
    {"9600", {serial::br9600, {}}},
    {"4800", {serial::br4800, {}}},
    {"2400", {serial::br2400, {}}},
    {"1200", {serial::br1200, {}}},
    {"600", {serial::br600, {}}},
    {"300", {serial::br300, {}}},
    {"19200", {serial::br19200, {}}},
    {"38400", {serial::br38400, {}}},
    {"57600", {serial::br57600, {}}},
    {"115200", {serial::br115200, {}}},
    {"230400", {serial::brCustom, 230400}},
    {"460800", {serial::brCustom, 460800}},
    {"921600", {serial::brCustom, 921600}},
    {"14400", {serial::brCustom, 14400}},
    {"28800", {serial::brCustom, 28800}},
    {"33600", {serial::brCustom, 33600}},
    {"76800", {serial::brCustom, 76800}},
}};

std::optional<serial::TDataBits> DataBitsFor(char32_t c) {
  if (c == '8') return serial::db8;
  if (c == '7') return serial::db7;
  return std::nullopt;
}

std::optional<serial::TParity> ParityFor(char32_t c) {
  if (c == 'N') return serial::paNone;
  if (c == 'E') return serial::paEven;
  if (c == 'O') return serial::paOdd;
  return std::nullopt;
}

std::optional<serial::TStopBits> StopBitsFor(char32_t c) {
  if (c == '1') return serial::sb1;
  if (c == '2') return serial::sb2;
  return std::nullopt;
}

}  // namespace

BaudChoice BaudChoiceFor(std::string_view text) {
  for (const BaudRow& row : kBaudTable) {
    if (row.text == text) return row.choice;
  }
  return BaudChoice{};
}

std::optional<DataFormatChoice> DataFormatChoiceFor(std::u32string_view text) {
  if (text.empty()) return std::nullopt;
  const auto at = [&](std::size_t i) { return i < text.size() ? text[i] : U'\0'; };
  return DataFormatChoice{DataBitsFor(at(0)), ParityFor(at(1)), StopBitsFor(at(2))};
}

}  // namespace rtutest

#pragma once
// What the window does with received data, as plain values: lines appended to the traffic
// log and texts written into the data column of the channel list, in the order given.
#include <variant>
#include <vector>

#include <QString>

namespace rtutest {

struct LogLine {
  QString text;
  friend bool operator==(const LogLine&, const LogLine&) = default;
};

struct CellUpdate {
  int row = 0;  // row of the channel list (0..18); the data column is written
  QString text;
  friend bool operator==(const CellUpdate&, const CellUpdate&) = default;
};

using DisplayStep = std::variant<LogLine, CellUpdate>;
using DisplaySteps = std::vector<DisplayStep>;

// Rows of the channel list that hold values.
constexpr int AnalogRow(int k) { return k + 1; }           // k = 0..7: AIN0..AIN7
constexpr int DigitalInputRow(int j) { return 9 + j; }     // j = 1..4: captions DI0..DI3
constexpr int DigitalOutputRow(int j) { return 14 + j; }   // j = 1..4: DO1..DO4

}  // namespace rtutest

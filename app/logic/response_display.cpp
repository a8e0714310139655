#include "app/logic/response_display.h"

#include "app/logic/log_lines.h"
#include "app/logic/value_text.h"
#include "modbus/hex_text.h"
#include "modbus/response.h"

namespace rtutest {
namespace {

QString CellHex(std::uint8_t value) { return QString::fromLatin1(modbus::ByteToHex(value) + ' '); }

void AddValues(const modbus::ReadResponse& values, const QString& separator, DisplaySteps& out) {
  for (int k = 0; k < modbus::kAnalogInputs; ++k) {
    if (!values.analog_inputs[k]) continue;
    const QString text = FormatValue(static_cast<double>(*values.analog_inputs[k]), separator);
    out.push_back(LogLine{AnalogLine(k, text)});
    out.push_back(CellUpdate{AnalogRow(k), text});
  }
  for (int j = 1; j <= modbus::kDigitalInputs; ++j) {
    if (const auto& v = values.digital_inputs[j - 1]) {
      out.push_back(LogLine{DigitalInputLine(j, *v)});
      out.push_back(CellUpdate{DigitalInputRow(j), CellHex(*v)});
    }
  }
  for (int j = 1; j <= modbus::kDigitalOutputs; ++j) {
    if (const auto& v = values.digital_outputs[j - 1]) {
      out.push_back(LogLine{DigitalOutputLine(j, *v)});
      out.push_back(CellUpdate{DigitalOutputRow(j), CellHex(*v)});
    }
  }
}

}  // namespace

DisplaySteps DecodeReadResponse(modbus::ByteView block, const QString& decimal_separator) {
  DisplaySteps out;
  if (!modbus::FrameCheckPasses(block)) {
    out.push_back(LogLine{CheckFailureLine()});
    return out;
  }
  AddValues(modbus::DecodeReadLayout(block), decimal_separator, out);
  return out;
}

}  // namespace rtutest

#include "app/logic/log_lines.h"

#include <algorithm>

#include "modbus/hex_text.h"
#include "modbus/response.h"

namespace rtutest {
namespace {

QString Hex(modbus::ByteView bytes) { return QString::fromLatin1(modbus::BytesToHex(bytes)); }

QString ByteHex(std::uint8_t value) {
  const std::uint8_t bytes[] = {value};
  return Hex(bytes);
}

}  // namespace

QString SentLine(const QString& stamp, modbus::ByteView frame) {
  return stamp + QStringLiteral(" 发送：") + Hex(frame);
}

QString ReceivedLine(const QString& stamp, modbus::ByteView block) {
  return stamp + QStringLiteral(" 接收：") + Hex(block);
}

QString CheckFailureLine() { return QStringLiteral("CRC校验失败！"); }

QString SendFailureLine() { return QStringLiteral("发送失败！"); }

QString AnalogLine(int k, const QString& value_text) {
  return QStringLiteral("AI%1=").arg(k) + value_text;
}

QString DigitalInputLine(int j, std::uint8_t value) {
  return QStringLiteral("DI%1=").arg(j) + ByteHex(value);
}

QString DigitalOutputLine(int j, std::uint8_t value) {
  return QStringLiteral("DO%1=").arg(j) + ByteHex(value);
}

bool IsLoggedBlock(modbus::ByteView block) {
  constexpr std::size_t kShortestFrame = 4;  // address, function, two check bytes
  return std::any_of(block.begin(), block.end(), [](std::uint8_t b) { return b > 0x20; }) ||
         (block.size() >= kShortestFrame && modbus::FrameCheckPasses(block));
}

}  // namespace rtutest

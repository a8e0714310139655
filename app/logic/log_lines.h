#pragma once
// Every line the window writes into its traffic log.
#include <cstdint>

#include <QString>

#include "modbus/byte_string.h"

namespace rtutest {

// time stamp, " 发送：", the frame in hex (a blank after every byte).
QString SentLine(const QString& stamp, modbus::ByteView frame);
// time stamp, " 接收：", the whole block in hex, control bytes included.
QString ReceivedLine(const QString& stamp, modbus::ByteView block);
// "CRC校验失败！", alone.
QString CheckFailureLine();
// "发送失败！", alone: follows the sent line of a frame that did not go out completely.
QString SendFailureLine();
// "AI<k>=" and the formatted value (k = 0..7).
QString AnalogLine(int k, const QString& value_text);
// "DI<j>=" / "DO<j>=" and the byte in hex with its blank (j = 1..4).
QString DigitalInputLine(int j, std::uint8_t value);
QString DigitalOutputLine(int j, std::uint8_t value);

// A block is left out of the log when it holds no byte above 20 hex (empty included).
bool IsBlankBlock(modbus::ByteView block);

}  // namespace rtutest

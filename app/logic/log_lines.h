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

// A block gets a received line when it holds a byte above 20 hex, or when it is a Modbus
// frame: 4 bytes or more whose last two are the check of the rest. Slave 1's answer to
// relay 2 on, 01 10 00 15 00 01 10 0D, holds no byte above 20 hex; line noise (00, 0D 0A)
// and the empty block stay out of the log.
bool IsLoggedBlock(modbus::ByteView block);

}  // namespace rtutest

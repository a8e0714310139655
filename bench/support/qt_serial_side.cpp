#include "bench/support/qt_serial_side.h"

#include <QCoreApplication>
#include <QSerialPort>
#include <stdexcept>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline, const char* who) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) throw std::runtime_error(std::string(who) + ": the block did not pass in time");
  return static_cast<int>(left);
}

}  // namespace

QtSerialSide::QtSerialSide(const std::string& path, std::chrono::milliseconds deadline)
    : port_(std::make_unique<QSerialPort>()), deadline_(deadline) {
  if (QCoreApplication::instance() == nullptr)
    throw std::runtime_error("QSerialPort needs a QCoreApplication");
  port_->setPortName(QString::fromStdString(path));
  if (!port_->open(QIODevice::ReadWrite))
    throw std::runtime_error("QSerialPort could not open " + path + ": " +
                             port_->errorString().toStdString());
}

QtSerialSide::~QtSerialSide() = default;

void QtSerialSide::Send(const Bytes& block) {
  const auto deadline = Clock::now() + deadline_;
  const auto n = static_cast<qint64>(block.size());
  if (port_->write(reinterpret_cast<const char*>(block.data()), n) != n)
    throw std::runtime_error("QSerialPort::write took less than asked");
  while (port_->bytesToWrite() > 0) {
    if (!port_->waitForBytesWritten(MsLeft(deadline, "QSerialPort write")) &&
        port_->bytesToWrite() > 0 && port_->error() != QSerialPort::TimeoutError)
      throw std::runtime_error("QSerialPort write: " + port_->errorString().toStdString());
  }
}

const Bytes& QtSerialSide::ReceiveCount(std::size_t n) {
  const auto deadline = Clock::now() + deadline_;
  received_.resize(n);
  std::size_t got = 0;
  for (;;) {
    const qint64 r = port_->read(reinterpret_cast<char*>(received_.data() + got),
                                 static_cast<qint64>(n - got));
    if (r < 0) throw std::runtime_error("QSerialPort read: " + port_->errorString().toStdString());
    got += static_cast<std::size_t>(r);
    if (got == n) return received_;
    port_->waitForReadyRead(MsLeft(deadline, "QSerialPort read"));
  }
}

void QtSerialSide::Receive(const Bytes& expected) {
  CheckSame(ReceiveCount(expected.size()), expected, "QSerialPort read");
}

}  // namespace bench

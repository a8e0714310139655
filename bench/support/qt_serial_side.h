#pragma once
// The peer a user would pick instead of the component: Qt's QSerialPort on the same
// pseudo-terminal, driven in its blocking style (write, then waitForBytesWritten until the
// block has left; waitForReadyRead until the block is complete). Benchmarks only: the
// tool and the component do not use it. A QCoreApplication must exist while it is used.
#include <chrono>
#include <memory>
#include <string>

#include "bench/support/pty_sides.h"

class QSerialPort;

namespace bench {

class QtSerialSide {
 public:
  // Opens path read-write with QSerialPort's defaults (raw); std::runtime_error on refusal
  // or without a QCoreApplication.
  explicit QtSerialSide(const std::string& path,
                        std::chrono::milliseconds deadline = kTransferDeadline);
  ~QtSerialSide();
  QtSerialSide(const QtSerialSide&) = delete;
  QtSerialSide& operator=(const QtSerialSide&) = delete;

  void Send(const Bytes& block);
  // As for RawSide: the bytes beyond n stay for the next call.
  const Bytes& ReceiveCount(std::size_t n);
  void Receive(const Bytes& expected);

 private:
  std::unique_ptr<QSerialPort> port_;
  std::chrono::milliseconds deadline_;
  Bytes received_;
};

}  // namespace bench

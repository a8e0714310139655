#pragma once
// The receive rules written out a second time, plainly, as the oracle the window's decoder
// is compared with: per tick the received line for a block that holds a byte above 20 hex
// or is a Modbus frame (4 bytes or more, the last two the check of the rest); then, while
// more than 30 bytes are pending: the whole passes the check; else 53 or more whose last 53
// pass; else on a tick that read nothing, give them up; else with 53 or more keep the last
// 52; else wait. Each time bytes are given up, and before values are written, a count of
// more than 30 given-up bytes writes one check failure line and starts again at 0.
#include <QString>

#include "app/logic/display_steps.h"
#include "modbus/byte_string.h"

namespace fuzz {

class ReferenceDecoder {
 public:
  explicit ReferenceDecoder(QString separator) : separator_(std::move(separator)) {}

  rtutest::DisplaySteps Tick(modbus::ByteView block, const QString& stamp);
  rtutest::DisplaySteps Settle();
  void Reset() { Empty(); }
  std::size_t PendingSize() const { return pending_.size(); }

 private:
  // One turn of the rules; false when the loop ends.
  bool Turn(bool fresh, rtutest::DisplaySteps& out);
  void GiveUp(std::size_t n, rtutest::DisplaySteps& out);
  void Report(rtutest::DisplaySteps& out);
  void Decode(modbus::ByteString bytes, rtutest::DisplaySteps& out);
  void Empty();

  QString separator_;
  modbus::ByteString pending_;
  std::size_t given_up_ = 0;
};

}  // namespace fuzz

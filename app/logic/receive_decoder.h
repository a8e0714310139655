#pragma once
// Turns what each 200 ms tick reads into log lines and channel cells.
//
// A read-all answer (53 bytes, about 55 ms on the line at 9600 bit/s) often straddles two
// ticks, and RS-485 adapters commonly echo the request in front of it. So decoding works
// on the bytes pending since the last decode, while logging stays per tick: each tick's
// logged block (see IsLoggedBlock) gets its own received line. After appending a tick's
// block, while more than 30 bytes are pending:
//   1. they pass the frame check as a whole: decode them, empty the pending bytes;
//   2. else, 53 or more whose last 53 pass: give up the rest, decode those, empty;
//   3. else, on a tick that read nothing: give them up, empty the pending bytes;
//   4. else, 53 or more: keep only the last 52 (giving up the rest);
//   5. else keep them for the next tick.
// 30 or fewer pending bytes are emptied silently on a tick that read nothing. Whenever
// bytes have been given up (cases 2, 3, 4) and before any values are written (cases 1, 2),
// a count of more than 30 given-up bytes writes one check failure line at that tick and
// starts the count again; emptying also clears it. So a stream of noise is reported as it
// comes, about once per 31 bytes given up, and up to 30 bytes in front of an answer are
// dropped silently. Pending bytes never exceed 52 between ticks.
#include <cstddef>

#include <QString>

#include "app/logic/display_steps.h"
#include "modbus/byte_string.h"

namespace rtutest {

class ReceiveDecoder {
 public:
  static constexpr std::size_t kDecodeAbove = 30;   // longer blocks are taken for answers
  static constexpr std::size_t kAnswerLength = 53;  // the read-all answer

  explicit ReceiveDecoder(QString decimal_separator = QStringLiteral("."))
      : decimal_separator_(std::move(decimal_separator)) {}

  void SetDecimalSeparator(const QString& separator) { decimal_separator_ = separator; }

  // One tick: `block` is everything read (possibly empty); `stamp` the time stamp of its
  // received line.
  DisplaySteps Tick(modbus::ByteView block, const QString& stamp);

  // Before a frame is sent: what is pending answers an earlier request; give it up as a
  // tick that read nothing would.
  DisplaySteps Settle();

  // The port was opened (or closed): forget everything pending, silently.
  void Reset();

  std::size_t PendingSize() const { return pending_.size(); }

 private:
  // Counts n bytes given up.
  void GiveUp(std::size_t n);
  // The check failure line once more than 30 bytes have been given up; the count restarts.
  void ReportGivenUp(DisplaySteps& out);
  void Empty();
  void Decode(modbus::ByteView bytes, DisplaySteps& out);
  // One turn of the loop; false when the loop ends.
  bool Step(bool fresh, DisplaySteps& out);

  QString decimal_separator_;
  modbus::ByteString pending_;
  std::size_t given_up_ = 0;  // since the last report or emptying; saturates
};

}  // namespace rtutest

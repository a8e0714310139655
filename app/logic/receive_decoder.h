#pragma once
// Turns what each 200 ms tick reads into log lines and channel cells.
//
// Answers do not keep to the ticks: a read-all answer (53 bytes, about 55 ms on the line at
// 9600 bit/s) often straddles two ticks, an 8-byte relay reply sometimes does, two answers
// can arrive in one tick, and RS-485 adapters commonly echo the request in front of an
// answer. So the bytes read since the last frame are kept and searched for frames:
//   - a frame starts with an address and a function that tells its length (3: byte count
//     + 5, at most 53 in all; 6 and 16: 8; an exception, function | 80 hex: 5) and passes
//     the frame check; the pending bytes passing the check as a whole are one frame too;
//   - frames are taken from the front; a frame longer than 30 bytes is decoded into the
//     channel values, a shorter one (a relay reply, an exception) is only logged;
//   - bytes in front of a frame, and bytes where no frame can start, are given up;
//   - a frame that has begun but is not complete waits for the next tick; a tick that read
//     nothing ends the wait and gives up what is left.
// Whenever given-up bytes add up to more than 30, one check failure line is written (before
// the values of a frame that follows) and the count starts again; a frame or a tick that
// read nothing also starts it again. So noise is reported as it comes, about once per 31
// bytes, while an echo or a little noise in front of an answer goes silently. Pending bytes
// never exceed 52 between ticks.
//
// Each tick's block gets its own received line, with the time stamp of its tick, when it
// holds a byte above 20 hex (see IsLoggedBlock) or when any of its bytes belongs to a frame.
// A block of bytes 00..20 only is held back until that is known: its line is written at
// the tick that completes the frame (just before that tick's line), or when a later block
// of the same unfinished frame is logged; if its bytes are given up, it is never logged.
// So a reply made of such bytes appears whole or in the parts in which it arrived, while
// line noise (00, 0D 0A) stays out of the log.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include <QString>

#include "app/logic/display_steps.h"
#include "modbus/byte_string.h"

namespace rtutest {

class ReceiveDecoder {
 public:
  static constexpr std::size_t kDecodeAbove = 30;   // longer frames are taken for answers
  static constexpr std::size_t kAnswerLength = 53;  // the read-all answer, the longest frame

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
  // Positions in the stream of received bytes, counted since the last Reset.
  struct Span {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
  };
  // A block of bytes 00..20 only whose received line waits for a frame to claim it.
  struct HeldBlock {
    QString stamp;
    modbus::ByteString bytes;
    Span span;
  };

  // Takes every frame out of the pending bytes; failure and value lines go to `out`.
  std::vector<Span> TakeFrames(bool fresh, DisplaySteps& out);
  void TakeFrame(std::size_t at, std::size_t length, std::vector<Span>& frames, DisplaySteps& out);
  // Drops the first n pending bytes.
  void Drop(std::size_t n);
  // The received lines of held blocks that a frame claimed, or that are still pending in
  // front of a block logged now; forgets the held blocks that are done.
  void WriteHeldLines(const std::vector<Span>& frames, bool block_logged, DisplaySteps& out);
  // Counts n bytes given up.
  void GiveUp(std::size_t n);
  // The check failure line once more than 30 bytes have been given up; the count restarts.
  void ReportGivenUp(DisplaySteps& out);

  QString decimal_separator_;
  modbus::ByteString pending_;
  std::uint64_t pending_at_ = 0;  // stream position of pending_[0]
  std::deque<HeldBlock> held_;
  std::size_t given_up_ = 0;  // since the last report, frame or quiet tick; saturates
};

}  // namespace rtutest

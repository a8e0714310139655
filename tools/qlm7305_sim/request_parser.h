#pragma once
// Cuts the bytes a master sends into frames: by the known length of each request where the
// function code tells it, otherwise by the silence that ends a frame on the line.
#include <cstddef>
#include <optional>
#include <vector>

#include "modbus/byte_string.h"
#include "tools/qlm7305_sim/line_timing.h"

namespace sim {

enum class FrameKind {
  kModbus,  // slave address, function, data, check; any address
  kMode,    // gateway mode frame: AA 55, length, body, byte sum
};

struct Frame {
  FrameKind kind = FrameKind::kModbus;
  modbus::ByteString bytes;
};

// Longest frame an RTU line carries; nothing longer is ever buffered.
inline constexpr std::size_t kMaxFrameLength = 256;

// What the first bytes of a frame say about its length.
struct LengthGuess {
  enum Kind {
    kNeedMore,    // not enough bytes yet to tell
    kKnown,       // the frame is `length` bytes long
    kUnknown,     // a function whose length only the silence after it tells
    kImpossible,  // no frame starts like this
  };
  Kind kind = kNeedMore;
  std::size_t length = 0;
};

LengthGuess GuessLength(modbus::ByteView head);

// A mode frame's last byte is the low 8 bits of the sum of all bytes before it.
bool ModeFrameSumPasses(modbus::ByteView frame) noexcept;

class RequestParser {
 public:
  explicit RequestParser(Duration silence) : silence_(silence) {}

  // Bytes that arrived at `now`; returns the frames they complete, oldest first.
  std::vector<Frame> Feed(modbus::ByteView bytes, Clock::time_point now);
  // Ends the pending frame when the line has been silent long enough by `now`.
  std::vector<Frame> Expire(Clock::time_point now);
  // When Expire has work to do; empty while nothing is pending.
  std::optional<Clock::time_point> Deadline() const;
  // Bytes thrown away as not belonging to any intact frame.
  std::size_t DiscardedBytes() const noexcept { return discarded_; }
  void Reset() noexcept { pending_.clear(); }

 private:
  void Extract(bool ended, std::vector<Frame>& out);
  bool TakeKnown(std::size_t length, bool ended, std::vector<Frame>& out);
  bool TakeUnknown(bool ended, std::vector<Frame>& out);
  void Discard(std::size_t count);
  void Emit(std::size_t length, std::vector<Frame>& out);

  Duration silence_;
  modbus::ByteString pending_;
  Clock::time_point last_byte_{};
  std::size_t discarded_ = 0;
};

}  // namespace sim

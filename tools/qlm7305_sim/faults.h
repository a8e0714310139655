#pragma once
// Faults the simulated module can put on the line, and how a reply goes out under them.
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "modbus/byte_string.h"
#include "tools/qlm7305_sim/line_timing.h"

namespace sim {

struct FaultOptions {
  int split_pieces = 1;  // each reply goes out in this many pieces ...
  Duration split_gap = std::chrono::milliseconds(50);  // ... with this silence between them
  int corrupt_every = 0;  // every Nth reply carries a wrong check (0: never)
  int noise_bytes = 0;    // random bytes just before each reply
  bool echo = false;      // each request comes back first, as from an RS-485 adapter
  int drop_every = 0;     // every Nth reply is never sent (0: never)
  Duration late{};        // extra delay before each reply
  int hangup_after = 0;   // the line hangs up once after this many requests (0: never) ...
  Duration hangup_for = std::chrono::seconds(1);  // ... and comes back after this long
  bool flood = false;  // random bytes fill the line whenever nothing else is sent
};

// Bytes to send once the line has been quiet for gap_before: measured for the first piece
// from the end of the request, for the others from the end of the piece before.
struct Piece {
  Duration gap_before{};
  modbus::ByteString bytes;
};

struct ReplyPlan {
  std::vector<Piece> pieces;
  bool dropped = false;
  bool corrupted = false;
};

// Cuts bytes into `count` pieces whose sizes differ by at most one; never an empty piece.
std::vector<modbus::ByteString> SplitEvenly(modbus::ByteView bytes, int count);

class ReplyShaper {
 public:
  ReplyShaper(const FaultOptions& faults, LineTiming timing, std::uint32_t seed);

  // How the answer to one request goes out; reply is empty when the module stays silent.
  ReplyPlan Shape(modbus::ByteView request, std::optional<modbus::ByteString> reply);
  modbus::ByteString RandomBytes(std::size_t count);

 private:
  void AddReply(modbus::ByteString reply, ReplyPlan& plan);

  FaultOptions faults_;
  LineTiming timing_;
  std::uint64_t replies_ = 0;
  std::mt19937 random_;
};

}  // namespace sim

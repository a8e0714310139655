#pragma once
// The receive rules written out a second time, plainly, as the oracle the window's decoder
// is compared with. Pending bytes remember the block they came from. Each tick:
//   1. the pending bytes as a whole pass the check (4 or more): one frame;
//   2. otherwise, from the front: at each position the function byte tells the length
//      (3: byte count + 5, at most 53; 6, 16: 8; 80 hex and above: 5; else no frame);
//      a complete frame that passes is taken, the bytes before it given up; a frame still
//      short of bytes stops the search on a tick that read something (kept for the next);
//      anything else moves one byte on. What the search passed is given up.
//   3. frames longer than 30 bytes are decoded; before each frame, and at the end of the
//      search, more than 30 given-up bytes write one check failure line; a frame and a
//      tick that read nothing both start the count again.
// Lines: blocks that were not logged at their tick (no byte above 20 hex, not a frame) get
// their received line when a frame takes one of their bytes, or when a later block is
// logged while they are still pending; then this tick's line; then the failure and value
// lines in the order they came.
#include <map>
#include <vector>

#include <QString>

#include "app/logic/display_steps.h"
#include "modbus/byte_string.h"

namespace fuzz {

class ReferenceDecoder {
 public:
  explicit ReferenceDecoder(QString separator) : separator_(std::move(separator)) {}

  rtutest::DisplaySteps Tick(modbus::ByteView block, const QString& stamp);
  rtutest::DisplaySteps Settle();
  void Reset();
  std::size_t PendingSize() const { return pending_.size(); }

 private:
  struct Block {
    QString stamp;
    modbus::ByteString bytes;
  };
  struct Found {
    std::vector<std::pair<std::size_t, std::size_t>> frames;  // [begin, end) in pending_
    std::size_t done = 0;  // the bytes before this were taken or given up
  };
  // Failure and value lines into `out`.
  Found Search(bool fresh, rtutest::DisplaySteps& out);
  void Report(rtutest::DisplaySteps& out);
  void Take(std::size_t n);

  QString separator_;
  modbus::ByteString pending_;
  std::vector<int> origin_;         // for each pending byte, its block's number
  std::map<int, Block> unlogged_;  // blocks that got no line at their own tick
  int next_block_ = 0;
  std::size_t given_up_ = 0;
};

}  // namespace fuzz

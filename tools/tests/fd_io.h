#pragma once
// Small blocking helpers for tests that talk to a line through a descriptor.
#include <chrono>
#include <string>

#include "modbus/byte_string.h"
#include "tools/qlm7305_sim/unique_fd.h"

namespace sim::testing {

// Opens a terminal device as a client would: raw, non-blocking. Invalid on failure.
UniqueFd OpenRawClient(const std::string& path);
// Writes every byte, waiting for room as needed; false if the descriptor failed.
bool WriteAll(int fd, modbus::ByteView bytes);
// Reads until `count` bytes have arrived, the descriptor fails or `timeout` passes;
// returns what arrived.
modbus::ByteString ReadBytes(int fd, std::size_t count, std::chrono::milliseconds timeout);
// True once reading reports a hang-up (EIO, end of file or POLLHUP) within `timeout`.
bool WaitForHangUp(int fd, std::chrono::milliseconds timeout);

}  // namespace sim::testing

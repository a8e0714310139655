#pragma once
// What a test running on the bench of real drivers knows about its line: the device it
// opens, and the bench's control port, through which it asks the host to unplug or replug
// the USB adapter or to change the peer that plays on the host end.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace serial {
class TCustomComm;
}

namespace drivers {

// The device under test, from DRIVERS_DEVICE (/dev/ttyS1, /dev/ttyUSB0). An unset variable
// is a failure of the test that names it, never a skip.
std::string DevicePath();

// Sends one request line to the bench ("unplug", "plug", "peer ttyS1 stall", "break ttyS1":
// Telnet's BREAK to QEMU, which raises a break on the UART) and returns the answer line
// ("ok", "error ..."). The answer is bounded by `patience`.
std::string BenchRequest(const std::string& request,
                         std::chrono::milliseconds patience = std::chrono::seconds(20));

// Every byte value twice, zero bytes and flow-control characters included, each masked to
// the data bits of the line (a 7-bit line carries no eighth bit).
std::vector<std::uint8_t> AllByteValues(int data_bits = 8);

// Waits until `path` exists (or no longer exists: `present` false), up to `patience`.
// Woken by the changes of the folder that holds it; returns the time it took, or a negative
// duration when it gave up. Throws std::system_error when the folder cannot be watched.
std::chrono::milliseconds WaitForNode(const std::string& path, bool present,
                                      std::chrono::milliseconds patience);

// Asks the bench to stop reading the host end of `line` ("ttyS1"), then sends into the open
// port until its output time-out ends the send: the driver is left holding output that
// cannot drain. Returns the bytes the send took.
std::uint32_t StallOutput(serial::TCustomComm& comm, const std::string& line);

}  // namespace drivers

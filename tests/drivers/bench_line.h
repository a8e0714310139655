#pragma once
// What a test running on the bench of real drivers knows about its line: the device it
// opens, and who plays the peer on the far end. For the 8250 and FTDI lines that is the
// host, asked through the bench's control port to unplug or replug the USB adapter or to
// change the peer; for the cdc-acm line (DRIVERS_PEER names the gadget's tty) a thread of
// the test process, which also unplugs the link.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace serial {
class TCustomComm;
}

namespace drivers {

// The device under test, from DRIVERS_DEVICE (/dev/ttyS1, /dev/ttyUSB0, /dev/ttyACM0). An
// unset variable is a failure of the test that names it, never a skip. The first call
// starts the peer of a line whose far end is in the guest.
std::string DevicePath();

// The peer on the far end of the line under test: "echo", "stall" (holds the line open
// and reads nothing), "held" (keeps what comes for PeerTake and sends what PeerSend
// gives), or "closed" (the gadget's end only: its modem lines fall). Throws when the peer
// cannot play it.
void PlayPeer(const std::string& mode);

// The held peer sends bytes on the line; false when the line did not take them.
bool PeerSend(const std::vector<std::uint8_t>& bytes);
// The first n bytes the held peer got, waiting up to `patience` for them; what came.
std::vector<std::uint8_t> PeerTake(std::size_t n, std::chrono::milliseconds patience);

// Pulls the line's USB device out, or puts it back. Throws when the bench refuses.
void Unplug();
void Plug();

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

// Has the peer stop reading the line under test, then sends into the open port until its
// output time-out ends the send: the driver is left holding output that cannot drain.
// Returns the bytes the send took.
std::uint32_t StallOutput(serial::TCustomComm& comm);

}  // namespace drivers

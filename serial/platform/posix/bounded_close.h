#pragma once
// The last close of a serial line waits, in the kernel, until the driver has sent what it
// holds, up to the port's closing wait (30 s by default). USB serial drivers can neither
// discard nor stop their output, so with CTS held low or an XOFF in the adapter's chip that
// wait runs its whole length. The close runs on a thread of its own; once the bound has
// passed, the interrupting signal ends the driver's wait (it is interruptible), and the
// driver shuts the port down, dropping what it held.
#include <chrono>
#include <functional>

namespace serial::platform::posix {

// Closes fd (the descriptor is gone when this returns, or soon after on the closing
// thread); the caller is held at most about bound plus the signal's round trip. With no
// thread or signal to be had, fd is closed on the caller's thread.
void CloseWithin(int fd, std::chrono::milliseconds bound);

// The same with the close itself given, for a test: close_call is run on the closing
// thread and must end when the signal interrupts it.
void RunWithin(std::function<void()> close_call, std::chrono::milliseconds bound, int signal);

}  // namespace serial::platform::posix

#pragma once
// The far end of the bench's USB link inside the guest: the serial gadget's tty (ttyGS0),
// whose opening and closing raise and drop DSR and DCD on the cdc-acm port (ttyACM0). A
// thread of the test process plays the peer there, as the host does for the other lines:
// it echoes, stops reading, holds the line for the test to read and write, or closes the
// gadget's end (the modem lines fall). It also
// unplugs the link by switching off the root hub's port that the device hangs on.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace drivers {

class GadgetPeer {
 public:
  enum class Mode { kEcho, kStall, kHeld, kClosed };

  // gadget: the gadget's tty; device: the cdc-acm port it is linked to.
  GadgetPeer(std::string gadget, const std::string& device);
  ~GadgetPeer();
  GadgetPeer(const GadgetPeer&) = delete;
  GadgetPeer& operator=(const GadgetPeer&) = delete;

  // Returns once the thread plays the new mode (the gadget's end is open or closed).
  void Play(Mode mode);
  // While the peer is held (kHeld): sends bytes on the line (false when it took them not
  // all), or takes the first n that came, waiting up to `patience` for them.
  bool Send(const std::vector<std::uint8_t>& bytes);
  std::vector<std::uint8_t> Take(std::size_t n, std::chrono::milliseconds patience);
  // Switches the hub port off (the device is gone) or on again (it enumerates anew, under
  // the same name once the old one is closed).
  void Unplug();
  void Plug();

 private:
  void Run();
  bool Reopen();
  void Echo();
  void PowerPort(bool on);

  const std::string gadget_;
  const std::string device_;
  std::string port_switch_;
  bool unplugged_ = false;  // the link is put back before the process ends  // the hub port's "disable" attribute in sysfs
  std::mutex mutex_;
  std::condition_variable applied_cv_;
  Mode wanted_ = Mode::kEcho;
  Mode playing_ = Mode::kClosed;
  bool open_ = false;
  bool stop_ = false;
  int wake_[2] = {-1, -1};
  int fd_ = -1;
  std::thread thread_;
};

}  // namespace drivers

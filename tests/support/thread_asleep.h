#pragma once
// Whether a thread has gone to sleep in a blocking call, for the tests that check "still
// blocked": they first wait until the waiting thread sleeps, so a thread that starts late
// cannot pass the check before its wait has begun.
#include <atomic>
#include <chrono>

#ifdef __linux__
#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#endif

namespace test_support {

class SleepProbe {
 public:
  // On the watched thread, just before the call that should block.
  void Enter() {
#ifdef __linux__
    tid_.store(static_cast<long>(::syscall(SYS_gettid)));
#else
    tid_.store(1);
#endif
  }

  // The thread has entered and sleeps (Linux: state S or D of its task). Elsewhere only
  // the entry is seen.
  bool Asleep() const {
    const long tid = tid_.load();
    if (tid == 0) return false;
#ifdef __linux__
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const auto name_end = line.rfind(')');  // the name may hold spaces and parentheses
    if (name_end == std::string::npos || name_end + 2 >= line.size()) return false;
    const char state = line[name_end + 2];
    return state == 'S' || state == 'D';
#else
    return true;
#endif
  }

 private:
  std::atomic<long> tid_{0};
};

}  // namespace test_support

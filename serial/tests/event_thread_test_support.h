#pragma once
// What the event thread tests observe: the notifications as they arrive (from any thread)
// and the hand-overs waiting for the owner's thread. Waits block; nothing sleeps.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "serial/custom_comm.h"
#include "serial/handover_queue.h"
#include "tests/support/wait_for.h"

namespace serial::testing_support {

struct Note {
  std::string what;  // "data" or "event"
  std::uint32_t value = 0;
  std::thread::id thread{};
  friend bool operator==(const Note& a, const Note& b) {
    return a.what == b.what && a.value == b.value;
  }
};

inline void PrintTo(const Note& n, std::ostream* os) { *os << n.what << "(" << n.value << ")"; }

class Recorder {
 public:
  // OnData and OnCommEvent of comm add a note each.
  void Listen(TCustomComm& comm) {
    comm.SetOnData([this](TCustomComm&, std::uint32_t received) {
      Add({"data", received, std::this_thread::get_id()});
    });
    comm.SetOnCommEvent([this](TCustomComm&, TDeviceEvents events) {
      Add({"event", events.bits(), std::this_thread::get_id()});
    });
  }
  void Add(Note note) {
    std::lock_guard lock(mutex_);
    notes_.push_back(std::move(note));
    cv_.notify_all();
  }
  std::vector<Note> Notes() {
    std::lock_guard lock(mutex_);
    return notes_;
  }
  std::size_t Count() {
    std::lock_guard lock(mutex_);
    return notes_.size();
  }
  bool WaitFor(std::size_t n) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, test_support::kDeadline, [&] { return notes_.size() >= n; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<Note> notes_;
};

// Counts the wake-ups of a hand-over queue: "a notification was handed over".
class Wakes {
 public:
  explicit Wakes(HandOverQueue& queue) : queue_(queue) {
    queue.SetWakeUp([this] {
      std::lock_guard lock(mutex_);
      ++count_;
      cv_.notify_all();
    });
  }
  ~Wakes() { queue_.SetWakeUp(nullptr); }
  Wakes(const Wakes&) = delete;
  Wakes& operator=(const Wakes&) = delete;

  bool WaitFor(int n) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, test_support::kDeadline, [&] { return count_ >= n; });
  }
  int Count() {
    std::lock_guard lock(mutex_);
    return count_;
  }

 private:
  HandOverQueue& queue_;
  std::mutex mutex_;
  std::condition_variable cv_;
  int count_ = 0;
};

}  // namespace serial::testing_support

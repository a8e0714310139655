#pragma once
// Hands calls from a worker thread to the owner's thread and blocks the worker until the
// owner has run them. The owner runs them from its event loop (woken through the wake-up
// callback) and while it waits for the worker to end.
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace serial {

class HandOverQueue {
 public:
  HandOverQueue();

  // Owner's thread: the thread that runs the handed-over calls (the creating thread).
  std::thread::id OwnerThread() const { return owner_; }
  void SetOwnerThread(std::thread::id id) { owner_ = id; }

  // Called (from the worker) whenever a call has been queued; the owner's event loop
  // connects it to its own wake-up (for Qt: a queued invocation). May be empty.
  void SetWakeUp(std::function<void()> wake_up);

  // Worker: queues call and blocks until the owner has run it; an exception the call raised
  // is rethrown here.
  void Send(std::function<void()> call);

  // Owner: runs every queued call; returns how many ran.
  int RunPending();

  // Owner: true while it is inside a handed-over call.
  bool InHandOver() const;

 private:
  struct Item;
  std::thread::id owner_;
  mutable std::mutex mutex_;
  std::condition_variable done_;
  std::deque<Item*> queue_;
  std::function<void()> wake_up_;
  int running_ = 0;
};

}  // namespace serial

#include "serial/handover_queue.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <utility>

namespace serial {

// Lives on the stack of the worker that handed the call over; the worker leaves only after
// `done` is set, and the owner touches the entry only under the lock until then.
struct HandOverQueue::Entry {
  Call call;
  std::thread::id poster;
  std::exception_ptr error;
  bool done = false;
};

HandOverQueue::HandOverQueue() : owner_(std::this_thread::get_id()) {}

HandOverQueue::~HandOverQueue() = default;

void HandOverQueue::SetWakeUp(WakeUp wake_up) {
  std::lock_guard lock(mutex_);
  wake_up_ = std::move(wake_up);
  woken_ = false;
  if (wake_up_ && !queue_.empty()) {
    woken_ = true;
    wake_up_();
  }
  NoteOwnerWork();
}

void HandOverQueue::NoteOwnerWork() { owner_has_work_ = woken_ || !queue_.empty(); }

void HandOverQueue::HandOver(Call call) {
  if (OnOwnerThread()) {
    call();
    return;
  }
  Entry entry{std::move(call), std::this_thread::get_id(), nullptr, false};
  std::unique_lock lock(mutex_);
  queue_.push_back(&entry);
  owner_has_work_ = true;
  work_cv_.notify_all();
  // Called under the lock so that removing the wake-up cannot race with a call of it.
  if (wake_up_ && !woken_) {
    woken_ = true;
    wake_up_();
  }
  done_cv_.wait(lock, [&] { return entry.done; });
  lock.unlock();
  if (entry.error) std::rethrow_exception(entry.error);
}

std::size_t HandOverQueue::RunPending() {
  RequireOwnerThread("RunPending");
  // Nothing queued and no wake-up to clear: what a worker queues after this look wakes the
  // owner again, as it would had the look come a moment earlier under the lock.
  if (!owner_has_work_) return 0;
  std::unique_lock lock(mutex_);
  woken_ = false;
  NoteOwnerWork();
  // Only the calls waiting now: workers that keep handing over cannot hold the owner here.
  const std::size_t n = queue_.size();
  std::size_t ran = 0;
  while (ran < n && !queue_.empty()) {
    RunFront(lock);
    if (++ran < n) lock.lock();
  }
  return ran;
}

std::size_t HandOverQueue::PendingCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

bool HandOverQueue::RunningCallOf(std::thread::id worker) const {
  std::lock_guard lock(mutex_);
  return std::find(running_.begin(), running_.end(), worker) != running_.end();
}

void HandOverQueue::RunUntil(const std::function<bool()>& done) {
  std::unique_lock lock(mutex_);
  const bool owner = OnOwnerThread();
  while (!done()) {
    if (owner && !queue_.empty()) {
      RunFront(lock);
      lock.lock();
    } else {
      work_cv_.wait(lock);
    }
  }
}

void HandOverQueue::Notify(const std::function<void()>& change) {
  std::lock_guard lock(mutex_);
  change();
  work_cv_.notify_all();
}

void HandOverQueue::RunFront(std::unique_lock<std::mutex>& lock) {
  Entry* entry = queue_.front();
  queue_.pop_front();
  NoteOwnerWork();
  running_.push_back(entry->poster);
  lock.unlock();
  std::exception_ptr error;
  try {
    entry->call();
  } catch (...) {
    error = std::current_exception();
  }
  lock.lock();
  running_.pop_back();  // calls nest on the owner's stack, so the innermost ends first
  entry->error = std::move(error);
  entry->done = true;
  // Told after the lock is released, so that the woken worker does not block on it at once.
  // The condition lives in the queue, not in the entry the worker may free once woken.
  lock.unlock();
  done_cv_.notify_all();
}

void HandOverQueue::RequireOwnerThread(const char* operation) const {
  if (!OnOwnerThread()) {
    throw std::logic_error(std::string("HandOverQueue::") + operation +
                           " must run on the owner's thread");
  }
}

HandOverThread::HandOverThread(HandOverQueue& queue, std::function<void()> body)
    : queue_(queue) {
  thread_ = std::thread([this, body = std::move(body)] {
    try {
      body();
    } catch (...) {
      // The thread's own work decides what an error means; here it only ends the thread.
    }
    queue_.Notify([this] { ended_ = true; });
  });
  id_ = thread_.get_id();
}

HandOverThread::~HandOverThread() {
  if (!thread_.joinable()) return;
  if (JoinWouldDeadlock()) {
    // Freeing the thread from inside its own notification leaves no sound way out: the
    // thread would keep running on freed state. Stop loudly rather than corrupt memory.
    std::fputs("HandOverThread destroyed from inside a call it handed over\n", stderr);
    std::terminate();
  }
  Join();
}

bool HandOverThread::JoinWouldDeadlock() const {
  if (std::this_thread::get_id() == id_) return true;
  return queue_.OnOwnerThread() && queue_.RunningCallOf(id_);
}

void HandOverThread::Join() {
  if (!thread_.joinable()) return;
  if (std::this_thread::get_id() == id_) {
    throw EHandOverDeadlock("a thread cannot wait for its own end");
  }
  if (queue_.OnOwnerThread() && queue_.RunningCallOf(id_)) {
    throw EHandOverDeadlock("cannot wait for a thread's end from inside a call it handed "
                            "over: it waits for that call to return");
  }
  queue_.RunUntil([this] { return ended_; });
  // A call run meanwhile may have joined this thread already (a nested Join).
  if (thread_.joinable()) thread_.join();
}

}  // namespace serial

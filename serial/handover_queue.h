#pragma once
// Hands calls from worker threads over to the thread that owns a component.
//
// A worker queues a call and blocks until the owner's thread has run it; an exception the
// call raises travels back and is rethrown in the worker. The owner's thread runs queued
// calls from its event loop (RunPending, triggered by the wake-up callback that the owner
// installs) and while it waits for a worker thread to end (HandOverThread::Join), so a
// worker blocked in a hand-over can always finish and a pending call is never lost.
// Plain C++: the window connects the wake-up to its event loop (app/qt_handover.h).
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace serial {

// Raised instead of deadlocking when a thread would wait for a worker that waits for it:
// the owner's thread joining a worker from inside a call that worker handed over, or a
// worker joining itself.
class EHandOverDeadlock : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

class HandOverQueue {
 public:
  using Call = std::function<void()>;
  using WakeUp = std::function<void()>;

  // The constructing thread becomes the owner's thread.
  HandOverQueue();
  ~HandOverQueue();
  HandOverQueue(const HandOverQueue&) = delete;
  HandOverQueue& operator=(const HandOverQueue&) = delete;

  bool OnOwnerThread() const noexcept { return std::this_thread::get_id() == owner_; }

  // Installs (or, with an empty function, removes) the owner's wake-up. It is called from a
  // worker thread, under the queue's lock, once for each batch of calls that arrives while
  // the owner is not already woken; it must only post a request to run RunPending on the
  // owner's thread: not block, not call back into the queue. Calls already waiting when it
  // is installed wake the owner at once. Removing it waits for a wake-up in progress.
  void SetWakeUp(WakeUp wake_up);

  // Any thread. On the owner's thread the call runs at once. Elsewhere it is queued, the
  // owner is woken and the caller blocks until the owner's thread has run it; an exception
  // the call raised is rethrown here.
  void HandOver(Call call);

  // Owner's thread only (std::logic_error elsewhere): runs the calls that were queued when
  // it was called, oldest first, and returns how many ran. Calls queued meanwhile wake the
  // owner again. Never throws what a call raises; that goes back to the call's worker.
  std::size_t RunPending();

  // Calls queued and not yet started.
  std::size_t PendingCount() const;

  // True while a call handed over by `worker` runs on the owner's thread.
  bool RunningCallOf(std::thread::id worker) const;

 private:
  friend class HandOverThread;
  struct Entry;

  // Waits until `done` holds (evaluated under the lock); on the owner's thread it runs
  // queued calls meanwhile and nothing else.
  void RunUntil(const std::function<bool()>& done);
  // Applies `change` under the lock and wakes RunUntil.
  void Notify(const std::function<void()>& change);
  // Runs the oldest queued call with the lock released around it, and tells its worker;
  // returns with the lock released.
  void RunFront(std::unique_lock<std::mutex>& lock);
  void RequireOwnerThread(const char* operation) const;
  // Under the lock, after a change of the queue or of woken_.
  void NoteOwnerWork();

  const std::thread::id owner_;
  mutable std::mutex mutex_;
  std::condition_variable work_cv_;  // the owner waits: a call queued or a worker ended
  std::condition_variable done_cv_;  // workers wait: their call has run
  std::deque<Entry*> queue_;
  // Set under the lock while a call waits or a wake-up is outstanding, so that an owner
  // asking between its calls needs no lock when there is nothing to run.
  std::atomic<bool> owner_has_work_ = false;
  std::vector<std::thread::id> running_;  // posters of calls now running, innermost last
  WakeUp wake_up_;
  bool woken_ = false;  // a wake-up was sent and RunPending has not started since
};

// A worker thread whose end the owner's thread awaits while it keeps running the calls
// that workers hand over to `queue`. An exception escaping the body ends the thread
// silently. Destroying a thread that has not been joined joins it.
class HandOverThread {
 public:
  HandOverThread(HandOverQueue& queue, std::function<void()> body);
  ~HandOverThread();
  HandOverThread(const HandOverThread&) = delete;
  HandOverThread& operator=(const HandOverThread&) = delete;

  // Waits until the body has returned, then joins. On the owner's thread, hand-over calls
  // run meanwhile; elsewhere it only waits. Raises EHandOverDeadlock, without waiting,
  // when called on this thread itself or from inside a call that this thread handed over.
  void Join();
  // Whether Join would raise EHandOverDeadlock if called now on this thread.
  bool JoinWouldDeadlock() const;
  bool Joinable() const noexcept { return thread_.joinable(); }
  std::thread::id Id() const noexcept { return id_; }

 private:
  HandOverQueue& queue_;
  bool ended_ = false;  // guarded by the queue's lock
  std::thread thread_;
  std::thread::id id_;
};

}  // namespace serial

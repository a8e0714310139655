#pragma once
// The lock of a terminal device. The owner's calls and the event thread hold it only for a
// few system calls, and an arrival wakes the event thread just as the owner's read takes
// the same bytes: a waiter that went to sleep at once would cost both threads a context
// switch for a wait of a microsecond or two. This lock spins briefly first (the C
// library's adaptive mutex) and sleeps only when the holder keeps it longer.
#include <pthread.h>

namespace serial::platform::posix {

class DeviceMutex {
 public:
  DeviceMutex() noexcept {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ADAPTIVE_NP);
    pthread_mutex_init(&mutex_, &attr);
    pthread_mutexattr_destroy(&attr);
  }
  ~DeviceMutex() { pthread_mutex_destroy(&mutex_); }
  DeviceMutex(const DeviceMutex&) = delete;
  DeviceMutex& operator=(const DeviceMutex&) = delete;

  void lock() noexcept { pthread_mutex_lock(&mutex_); }
  bool try_lock() noexcept { return pthread_mutex_trylock(&mutex_) == 0; }
  void unlock() noexcept { pthread_mutex_unlock(&mutex_); }

 private:
  pthread_mutex_t mutex_;
};

}  // namespace serial::platform::posix

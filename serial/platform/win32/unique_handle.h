#pragma once
// Ownership of one Win32 handle: closed exactly once, when the owner goes.
#include "serial/platform/win32/windows_api.h"

#include <utility>

namespace serial::platform::win32 {

class UniqueHandle {
 public:
  UniqueHandle() = default;
  // Takes h; INVALID_HANDLE_VALUE and null both mean "no handle".
  explicit UniqueHandle(HANDLE h) noexcept : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      h_ = std::exchange(other.h_, nullptr);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE Get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return h_ != nullptr; }
  void Reset() noexcept {
    if (h_ != nullptr) ::CloseHandle(h_);
    h_ = nullptr;
  }

 private:
  HANDLE h_ = nullptr;
};

// CreateEventA: manual reset, unnamed. Empty when the system refuses (GetLastError says why).
inline UniqueHandle NewManualEvent(bool signalled) {
  return UniqueHandle(::CreateEventA(nullptr, TRUE, signalled ? TRUE : FALSE, nullptr));
}

}  // namespace serial::platform::win32

// Ending the event thread's pending wait on a stop, on the port under test, with a driver
// that ignores cancellation: the system's own macros are used here (EV_RXCHAR), so this
// file stays apart from the tests that name the component's constants.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "serial/platform/win32/unique_handle.h"
#include "serial/platform/win32/wide_text.h"
#include "serial/platform/win32/win32_device.h"
#include "serial/platform/win32/win32_platform.h"

namespace serial::platform::win32 {
namespace {

// Each call is counted and does nothing.
std::atomic<int> ignored_cancels = 0;
BOOL WINAPI IgnoreCancel(HANDLE, LPOVERLAPPED) {
  ++ignored_cancels;
  return TRUE;
}

// A stop clears the event mask first, which ends the pending wait by itself; the
// cancellation is not needed, so a driver that ignores it cannot hold Close.
TEST(ComEvents, AStopEndsThePendingWaitByClearingTheMask) {
  const char* port = std::getenv("RTUTEST_COM_PORT");
  ASSERT_NE(port, nullptr) << "run this program through wine_com_peer, which provides the ports";
  UniqueHandle handle(::CreateFileW(WideFromUtf8(std::string("\\\\.\\") + port).c_str(),
                                    GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr));
  ASSERT_TRUE(handle) << "CreateFileW failed with " << ::GetLastError();
  // The far end open, as in every test of the line.
  const char* peer_name = std::getenv("RTUTEST_COM_PEER");
  ASSERT_NE(peer_name, nullptr);
  const auto [peer, error] = Win32Platform().CreateFile(std::string("\\\\.\\") + peer_name);
  ASSERT_NE(peer, nullptr) << "the far end: error " << error.code;
  Win32Device device(std::move(handle), NewManualEvent(true), NewManualEvent(false), &IgnoreCancel);
  ASSERT_TRUE(device.SetCommMask(EV_RXCHAR).Ok());
  const std::unique_ptr<StopEvent> stop = Win32Platform().CreateStopEvent();
  stop->Set();  // the wait is issued, then ended at once
  std::uint32_t mask = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(device.WaitCommEvent(mask, *stop).outcome, WaitOutcome::Stopped);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  EXPECT_EQ(ignored_cancels.load(), 0) << "the wait needed the cancellation";
  std::printf("stopped wait ended after %lld ms\n", static_cast<long long>(took.count()));
}

}  // namespace
}  // namespace serial::platform::win32

#include "serial/platform/win32/win32_platform.h"

#include "serial/platform/win32/windows_api.h"

#include <system_error>

#include "serial/platform/win32/unique_handle.h"
#include "serial/platform/win32/win32_device.h"
#include "serial/platform/win32/win32_stop_event.h"
#include "serial/platform/win32/wide_text.h"

namespace serial::platform {
namespace win32 {

Win32StopEvent::Win32StopEvent() : event_(NewManualEvent(false)) {
  if (!event_) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                            "CreateEventA");
  }
}

void Win32StopEvent::Set() noexcept { ::SetEvent(event_.Get()); }

bool Win32StopEvent::IsSet() const noexcept {
  return ::WaitForSingleObject(event_.Get(), 0) == WAIT_OBJECT_0;
}

OpenResult Win32Platform::CreateFile(const std::string& path) {
  // The name is UTF-8 (a port may carry any name the system gives it); the wide call reads
  // it whatever the ANSI code page.
  UniqueHandle device(::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED,
                                    nullptr));
  if (!device) return {nullptr, {static_cast<int>(::GetLastError())}};
  // The event thread's wait record names an event created signalled, as the chunks' do.
  UniqueHandle wait_event = NewManualEvent(true);
  UniqueHandle input_event = NewManualEvent(false);
  if (!wait_event || !input_event) return {nullptr, {static_cast<int>(::GetLastError())}};
  return {.device = std::make_unique<Win32Device>(std::move(device), std::move(wait_event),
                                                  std::move(input_event))};
}

std::unique_ptr<StopEvent> Win32Platform::CreateStopEvent() {
  return std::make_unique<Win32StopEvent>();
}

std::string Win32Platform::ErrorText(int error) const {
  // UTF-16 from the system, in a buffer it sizes itself (a localized text may be long),
  // on one line (no line breaks of the message table); the component trims what ends it.
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
          FORMAT_MESSAGE_MAX_WIDTH_MASK,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return "Unknown error " + std::to_string(error);
  std::string utf8 = Utf8FromWide(std::wstring_view(text, length));
  ::LocalFree(text);
  return utf8;
}

OsVersion Win32Platform::GetVersion() const {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const BOOL known = ::GetVersionExA(&info);
#pragma GCC diagnostic pop
  if (!known) return OsVersion{};
  return OsVersion{.dwPlatformId = info.dwPlatformId, .dwMajorVersion = info.dwMajorVersion};
}

std::uint32_t Win32Platform::GetTickCount() const { return ::GetTickCount(); }

}  // namespace win32

std::shared_ptr<Platform> DefaultPlatform() { return std::make_shared<win32::Win32Platform>(); }

}  // namespace serial::platform

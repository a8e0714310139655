#include "serial/platform/posix/device_name.h"

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string_view>

namespace serial::platform::posix {
namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

bool HasParentComponent(std::string_view path) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (path.substr(start, end - start) == "..") return true;
    start = end + 1;
  }
  return false;
}

// "COMn" (any case, n from 1) gives n; anything else gives nothing.
std::optional<std::uint32_t> ComNumber(std::string_view name) {
  if (name.size() < 4 || name.size() > 12) return std::nullopt;
  for (std::size_t i = 0; i < 3; ++i) {
    if ((name[i] | 0x20) != "com"[i]) return std::nullopt;
  }
  std::uint64_t n = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (n == 0 || n > UINT32_MAX) return std::nullopt;
  return static_cast<std::uint32_t>(n);
}

}  // namespace

std::variant<std::string, int> DevicePath(const std::string& given) {
  std::string_view name = given;
  if (name.starts_with(kDevicePrefix)) name.remove_prefix(kDevicePrefix.size());
  if (name.empty()) return ENOENT;
  // The system reads a path only up to a NUL: "ttyUSB0\0x" would open another device
  // than the one named, and "..\0" would slip past the parent check.
  if (name.find('\0') != std::string_view::npos) return EINVAL;
  if (HasParentComponent(name)) return EACCES;
  if (name.front() == '/') return std::string(name);
  if (auto n = ComNumber(name)) return "/dev/ttyS" + std::to_string(*n - 1);
  return "/dev/" + std::string(name);
}

}  // namespace serial::platform::posix

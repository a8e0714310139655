#include "app/logic/serial_ports.h"

#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

namespace rtutest {
namespace {

// Entries of folder whose file name starts with prefix; errors give nothing. Numbered
// names sort by number (ttyS2 before ttyS10), which shorter-first gives within a prefix.
std::vector<std::string> Entries(const std::filesystem::path& folder, const std::string& prefix) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.starts_with(prefix)) names.push_back(it->path().string());
  }
  std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
    if (!prefix.empty() && a.size() != b.size()) return a.size() < b.size();
    return a < b;
  });
  return names;
}

}  // namespace

QStringList SerialDeviceNames(const std::filesystem::path& dev_root) {
  QStringList result;
  const std::pair<std::filesystem::path, std::string> groups[] = {
      {dev_root / "serial" / "by-id", ""},
      {dev_root, "ttyUSB"},
      {dev_root, "ttyACM"},
      {dev_root, "ttyS"},
  };
  for (const auto& [folder, prefix] : groups) {
    for (const std::string& name : Entries(folder, prefix)) result << QString::fromStdString(name);
  }
  return result;
}

}  // namespace rtutest

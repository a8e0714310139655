#include "app/logic/com_port_names.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>

namespace rtutest {
namespace {

std::optional<unsigned> ComNumber(std::string_view name) {
  if (name.size() < 4 || name.substr(0, 3) != "COM") return std::nullopt;
  unsigned number = 0;
  const auto [end, error] = std::from_chars(name.data() + 3, name.data() + name.size(), number);
  if (error != std::errc() || end != name.data() + name.size()) return std::nullopt;
  return number;
}

}  // namespace

void SortComPortNames(std::vector<std::string>& names) {
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const auto na = ComNumber(a), nb = ComNumber(b);
    if (na && nb) return *na != *nb ? *na < *nb : a < b;
    if (na || nb) return na.has_value();
    return a < b;
  });
  names.erase(std::unique(names.begin(), names.end()), names.end());
}

}  // namespace rtutest

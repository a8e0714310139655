#pragma once
// Enumeration values arrive from callers as 32-bit numbers; one outside the members would
// index past tables or reach the device as a meaningless code.
#include <stdexcept>
#include <string>
#include <type_traits>

namespace serial {

template <typename E>
void RequireMember(E value, E last, const char* property) {
  static_assert(std::is_enum_v<E>);
  const auto ordinal = static_cast<long long>(value);
  if (ordinal < 0 || ordinal > static_cast<long long>(last))
    throw std::invalid_argument(std::string(property) + ": " + std::to_string(ordinal) +
                                " is not a member of the type");
}

}  // namespace serial

#pragma once
// The slave address as the user types it into the address edit.
#include <cstdint>
#include <optional>
#include <string_view>

namespace rtutest {

// Accepts leading blanks, then either decimal digits with an optional sign (within the
// signed 32-bit range) or hexadecimal digits of either case after "$", "x", "X", "0x" or
// "0X" (any value of 32 bits; eight F give -1). Nothing may follow the last digit.
// Anything else, the empty text included, gives nullopt.
std::optional<std::int32_t> SlaveAddressFromText(std::string_view text);

}  // namespace rtutest

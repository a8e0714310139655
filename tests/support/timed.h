#pragma once
// How long a call took, for the tests that tell "returned at once" from "waited for the
// time-out" (bounds are generous; speed targets belong to the benchmarks).
#include <chrono>

namespace test_support {

template <class Call>
std::chrono::milliseconds Timed(Call&& call) {
  const auto start = std::chrono::steady_clock::now();
  call();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start);
}

}  // namespace test_support

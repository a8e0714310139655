#pragma once
// A broken property ends the run with a message; the fuzzer keeps the input that did it.
#include <cstdio>
#include <cstdlib>

namespace fuzz {

[[noreturn]] inline void Broken(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
  std::abort();
}

}  // namespace fuzz

#define FUZZ_REQUIRE(cond) \
  ((cond) ? static_cast<void>(0) : ::fuzz::Broken(#cond, __FILE__, __LINE__))

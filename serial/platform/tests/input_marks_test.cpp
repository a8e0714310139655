// Marked input from the tty layer becomes data, breaks and errors as the component
// expects them, also when a mark is split across reads.
#include "serial/platform/posix/input_marks.h"

#include <gtest/gtest.h>

namespace serial::platform::posix {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Case {
  const char* what;
  Bytes in;
  InputRules rules;
  Bytes data;
  bool error;
};

class InputMarksTest : public ::testing::TestWithParam<Case> {};

// Every case once whole and once a byte per read: the state carries the marks over.
TEST_P(InputMarksTest, DecodesWholeAndSplit) {
  const Case& c = GetParam();
  InputMarks whole;
  const Decoded once = whole.Take(c.in.data(), c.in.size(), c.rules);
  EXPECT_EQ(once.data, c.data);
  EXPECT_EQ(once.error, c.error);
  InputMarks split;
  Decoded sum;
  for (std::uint8_t b : c.in) {
    const Decoded part = split.Take(&b, 1, c.rules);
    sum.data.insert(sum.data.end(), part.data.begin(), part.data.end());
    sum.error |= part.error;
  }
  EXPECT_EQ(sum.data, c.data);
  EXPECT_EQ(sum.error, c.error);
}

InputRules Rules(bool marked, std::optional<std::uint8_t> error_char, bool discard_null);

// A purge discards the bytes that would have ended a mark: the bytes after it are new.
TEST(InputMarks, AResetForgetsAMarkBegunBeforeIt) {
  const InputRules marked{.marked = true, .error_char = std::nullopt, .discard_null = false};
  InputMarks marks;
  const Bytes begun{0x41, 0xFF};
  EXPECT_EQ(marks.Take(begun.data(), begun.size(), marked).data, Bytes{0x41});
  marks.Reset();
  const Bytes after{0x00, 0x42};
  const Decoded decoded = marks.Take(after.data(), after.size(), marked);
  EXPECT_EQ(decoded.data, (Bytes{0x00, 0x42}));
  EXPECT_FALSE(decoded.error);
}

InputRules Rules(bool marked, std::optional<std::uint8_t> error_char, bool discard_null) {
  return InputRules{.marked = marked, .error_char = error_char, .discard_null = discard_null};
}
const InputRules kMarked = Rules(true, std::nullopt, false);

INSTANTIATE_TEST_SUITE_P(
    Marks, InputMarksTest,
    ::testing::Values(
        Case{"plain", {1, 0, 2}, kMarked, {1, 0, 2}, false},
        Case{"doubled FF", {0xFF, 0xFF, 0x41}, kMarked, {0xFF, 0x41}, false},
        Case{"error byte kept", {0xFF, 0, 0x55}, kMarked, {0x55}, true},
        Case{"error on a 00", {1, 0xFF, 0, 0, 2}, kMarked, {1, 0, 2}, true},
        Case{"error byte replaced", {0xFF, 0, 0x55, 7}, Rules(true, '?', false), {'?', 7}, true},
        Case{"nulls discarded", {0, 1, 0, 0xFF, 0, 0}, Rules(true, std::nullopt, true), {1}, true},
        Case{"unmarked terminal", {0xFF, 0, 0}, Rules(false, std::nullopt, false), {0xFF, 0, 0},
             false},
        Case{"unmarked, nulls discarded", {0xFF, 0, 0}, Rules(false, std::nullopt, true), {0xFF},
             false}));

}  // namespace
}  // namespace serial::platform::posix

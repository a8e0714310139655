// Replays a fuzz target's committed corpus: the seeds and every input that once broke the
// target. A broken property aborts, and the input's name is the last line printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> CorpusFiles() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(RTUTEST_CORPUS_DIR))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(FuzzCorpus, EveryCommittedInputHolds) {
  const std::vector<std::filesystem::path> files = CorpusFiles();
  ASSERT_FALSE(files.empty()) << "no corpus in " << RTUTEST_CORPUS_DIR;
  for (const auto& path : files) {
    std::fprintf(stderr, "replaying %s\n", path.filename().c_str());
    const std::vector<std::uint8_t> bytes = ReadAll(path);
    // The fuzzer hands over its own exact-size copy; so does this.
    const std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    EXPECT_EQ(LLVMFuzzerTestOneInput(copy.get(), bytes.size()), 0) << path;
  }
}

}  // namespace

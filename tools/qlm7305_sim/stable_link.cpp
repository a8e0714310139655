#include "tools/qlm7305_sim/stable_link.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>
#include <utility>

namespace sim {
namespace {

[[noreturn]] void ThrowSystem(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

std::string ReadLink(const std::string& path) {
  std::array<char, 4096> buffer{};
  const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
  return n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : std::string();
}

// A temporary link beside the final one, then rename(2) over it: atomic replacement.
void PlaceLink(const std::string& path, const std::string& target) {
  const std::string temporary = path + ".new." + std::to_string(::getpid());
  ::unlink(temporary.c_str());
  if (::symlink(target.c_str(), temporary.c_str()) != 0) {
    ThrowSystem(errno, "cannot create the link " + path);
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    ThrowSystem(error, "cannot create the link " + path);
  }
}

}  // namespace

StableLink::StableLink(std::string path, const std::string& target) : path_(std::move(path)) {
  struct stat st {};
  if (::lstat(path_.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    ThrowSystem(EEXIST, "will not replace " + path_ + ", which is not a symlink");
  }
  PlaceLink(path_, target);
  target_ = target;
}

StableLink::~StableLink() { Remove(); }

StableLink::StableLink(StableLink&& other) noexcept
    : path_(std::exchange(other.path_, {})), target_(std::exchange(other.target_, {})) {}

StableLink& StableLink::operator=(StableLink&& other) noexcept {
  if (this != &other) {
    Remove();
    path_ = std::exchange(other.path_, {});
    target_ = std::exchange(other.target_, {});
  }
  return *this;
}

void StableLink::Retarget(const std::string& target) {
  if (path_.empty()) return;
  PlaceLink(path_, target);
  target_ = target;
}

void StableLink::Withdraw() noexcept {
  if (path_.empty() || target_.empty()) return;
  if (ReadLink(path_) == target_) ::unlink(path_.c_str());
  target_.clear();
}

// Removes the link only while it still points where this object put it: a link that
// someone else has meanwhile replaced is theirs.
void StableLink::Remove() noexcept {
  if (path_.empty()) return;
  Withdraw();
  path_.clear();
}

}  // namespace sim

#pragma once
// A symlink at a fixed path that follows the module's device, so a client can be given one
// name even when a pty comes back under another number after a hang-up.
#include <string>

namespace sim {

class StableLink {
 public:
  StableLink() = default;
  // Places the link; replaces an old symlink there (a previous run's), but never a file
  // or directory. Throws std::system_error.
  StableLink(std::string path, const std::string& target);
  ~StableLink();
  StableLink(StableLink&& other) noexcept;
  StableLink& operator=(StableLink&& other) noexcept;
  StableLink(const StableLink&) = delete;
  StableLink& operator=(const StableLink&) = delete;

  // Points the link somewhere else in one step: no moment without a link.
  void Retarget(const std::string& target);
  const std::string& Path() const noexcept { return path_; }

 private:
  void Remove() noexcept;

  std::string path_;
  std::string target_;
};

}  // namespace sim

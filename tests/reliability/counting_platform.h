#pragma once
// The platform of this build with one addition: it counts the bytes every device it opened
// has handed to the component, so a test knows which poll took the last byte of a stream.
#include <atomic>
#include <cstdint>
#include <memory>

#include "serial/platform/serial_device.h"

namespace reliability {

class CountingPlatform : public serial::platform::Platform {
 public:
  CountingPlatform() : inner_(serial::platform::DefaultPlatform()) {}

  serial::platform::OpenResult CreateFile(const std::string& path) override;
  std::unique_ptr<serial::platform::StopEvent> CreateStopEvent() override {
    return inner_->CreateStopEvent();
  }
  std::string ErrorText(int error) const override { return inner_->ErrorText(error); }
  serial::platform::OsVersion GetVersion() const override { return inner_->GetVersion(); }
  std::uint32_t GetTickCount() const override { return inner_->GetTickCount(); }

  // Bytes read by the component from every device opened so far.
  std::uint64_t BytesRead() const { return bytes_read_->load(); }

 private:
  std::shared_ptr<serial::platform::Platform> inner_;
  std::shared_ptr<std::atomic<std::uint64_t>> bytes_read_ =
      std::make_shared<std::atomic<std::uint64_t>>(0);
};

}  // namespace reliability

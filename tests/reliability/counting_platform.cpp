#include "tests/reliability/counting_platform.h"

namespace reliability {
namespace {

using namespace serial::platform;

// Passes every call on; counts what ReadChunk delivered.
class CountingDevice : public SerialDevice {
 public:
  CountingDevice(std::unique_ptr<SerialDevice> inner,
                 std::shared_ptr<std::atomic<std::uint64_t>> count)
      : inner_(std::move(inner)), count_(std::move(count)) {}

  SysError GetCommState(DCB& dcb) override { return inner_->GetCommState(dcb); }
  SysError SetCommState(const DCB& dcb) override { return inner_->SetCommState(dcb); }
  SysError GetCommTimeouts(COMMTIMEOUTS& t) override { return inner_->GetCommTimeouts(t); }
  SysError SetCommTimeouts(const COMMTIMEOUTS& t) override { return inner_->SetCommTimeouts(t); }
  SysError GetCommProperties(COMMPROP& p) override { return inner_->GetCommProperties(p); }
  SysError SetupComm(std::uint32_t in, std::uint32_t out) override { return inner_->SetupComm(in, out); }
  SysError PurgeComm(std::uint32_t flags) override { return inner_->PurgeComm(flags); }
  SysError ClearCommError(std::uint32_t& errors, COMSTAT& status) override {
    return inner_->ClearCommError(errors, status);
  }
  SysError ClearCommErrorFor(QueueCount wanted, std::uint32_t& errors,
                             COMSTAT& status) override {
    return inner_->ClearCommErrorFor(wanted, errors, status);
  }
  SysError SetCommMask(std::uint32_t mask) override { return inner_->SetCommMask(mask); }
  WaitResult WaitCommEvent(std::uint32_t& mask, const StopEvent& stop) override {
    return inner_->WaitCommEvent(mask, stop);
  }
  IoResult WriteChunk(const std::uint8_t* data, std::uint32_t n,
                      std::chrono::milliseconds wait) override {
    return inner_->WriteChunk(data, n, wait);
  }
  IoResult ReadChunk(std::uint8_t* data, std::uint32_t n) override {
    const IoResult result = inner_->ReadChunk(data, n);
    *count_ += result.bytes;
    return result;
  }
  void WaitForInput(std::chrono::milliseconds max) override { inner_->WaitForInput(max); }
  void WaitForOutput(std::chrono::milliseconds max) override { inner_->WaitForOutput(max); }

 private:
  std::unique_ptr<SerialDevice> inner_;
  std::shared_ptr<std::atomic<std::uint64_t>> count_;
};

}  // namespace

OpenResult CountingPlatform::CreateFile(const std::string& path) {
  OpenResult opened = inner_->CreateFile(path);
  if (opened.device != nullptr)
    opened.device = std::make_unique<CountingDevice>(std::move(opened.device), bytes_read_);
  return opened;
}

}  // namespace reliability

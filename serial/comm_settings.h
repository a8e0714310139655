#pragma once
// The four settings objects a port component owns. Each holds a back reference to its
// component (not an ownership): reads consult the open device, writes apply to it.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "serial/comm_types.h"
#include "serial/platform/comm_types.h"

namespace serial {

class TCustomComm;

// Raised by Assign from an absent object or one of another class; names both classes.
class EAssignError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TPersistent {
 public:
  virtual ~TPersistent() = default;
  virtual const char* ClassName() const = 0;
  // Copies every value that source reports; throws EAssignError when source is null or not
  // of this object's class (or one derived from it), leaving both unchanged.
  virtual void Assign(const TPersistent* source) = 0;

 protected:
  [[noreturn]] void AssignError(const TPersistent* source) const;
};

class TCommDataControl : public TPersistent {
 public:
  explicit TCommDataControl(TCustomComm& comm) : comm_(&comm) {}
  const char* ClassName() const override { return "TCommDataControl"; }
  void Assign(const TPersistent* source) override;

  TDataBits DataBits() const;
  void SetDataBits(TDataBits value);
  TParity Parity() const;
  void SetParity(TParity value);
  TStopBits StopBits() const;
  void SetStopBits(TStopBits value);

 private:
  friend class TCustomComm;
  TCustomComm* comm_;
  TDataBits data_bits_ = db8;
  TParity parity_ = paNone;
  TStopBits stop_bits_ = sb1;
};

class TCommBuffers : public TPersistent {
 public:
  explicit TCommBuffers(TCustomComm& comm) : comm_(&comm) {}
  const char* ClassName() const override { return "TCommBuffers"; }
  void Assign(const TPersistent* source) override;

  std::uint16_t InputSize() const;
  void SetInputSize(std::uint16_t value);
  std::uint16_t OutputSize() const;
  void SetOutputSize(std::uint16_t value);
  std::uint16_t InputTimeout() const { return input_timeout_; }
  void SetInputTimeout(std::uint16_t value) { input_timeout_ = value; }
  std::uint16_t OutputTimeout() const { return output_timeout_; }
  void SetOutputTimeout(std::uint16_t value) { output_timeout_ = value; }

 private:
  friend class TCustomComm;
  TCustomComm* comm_;
  std::uint16_t input_size_ = 2048;
  std::uint16_t output_size_ = 2048;
  std::uint16_t input_timeout_ = 500;
  std::uint16_t output_timeout_ = 500;
};

class TCommEventChars : public TPersistent {
 public:
  explicit TCommEventChars(TCustomComm& comm) : comm_(&comm) {}
  const char* ClassName() const override { return "TCommEventChars"; }
  void Assign(const TPersistent* source) override;

  std::uint8_t XonChar() const;
  void SetXonChar(std::uint8_t value);
  std::uint8_t XoffChar() const;
  void SetXoffChar(std::uint8_t value);
  std::uint8_t EofChar() const;
  void SetEofChar(std::uint8_t value);
  std::uint8_t ErrorChar() const;
  void SetErrorChar(std::uint8_t value);
  std::uint8_t EventChar() const;
  void SetEventChar(std::uint8_t value);

 private:
  friend class TCustomComm;
  // The device's character when the block can be read, else the stored one.
  std::uint8_t Live(std::uint8_t platform::DCB::*field, std::uint8_t stored) const;
  void Store(std::uint8_t& stored, std::uint8_t value);

  TCustomComm* comm_;
  std::uint8_t xon_ = 17;
  std::uint8_t xoff_ = 19;
  std::uint8_t eof_ = 0;
  std::uint8_t error_ = 0;
  std::uint8_t event_ = 10;
};

class TCommTimeoutsEx : public TPersistent {
 public:
  explicit TCommTimeoutsEx(TCustomComm& comm) : comm_(&comm) {}
  const char* ClassName() const override { return "TCommTimeoutsEx"; }
  void Assign(const TPersistent* source) override;

  std::uint32_t ReadInterval() const;
  void SetReadInterval(std::uint32_t value);
  std::uint32_t ReadMultiplier() const;
  void SetReadMultiplier(std::uint32_t value);
  std::uint32_t ReadConstant() const;
  void SetReadConstant(std::uint32_t value);
  std::uint32_t WriteMultiplier() const;
  void SetWriteMultiplier(std::uint32_t value);
  std::uint32_t WriteConstant() const;
  void SetWriteConstant(std::uint32_t value);

 private:
  friend class TCustomComm;
  // The device's value when its time-outs can be read, else the stored one.
  std::uint32_t Live(std::uint32_t platform::COMMTIMEOUTS::*field, std::uint32_t stored) const;
  void Store(std::uint32_t& stored, std::uint32_t value);

  TCustomComm* comm_;
  std::uint32_t read_interval_ = 1;
  std::uint32_t read_multiplier_ = 0;
  std::uint32_t read_constant_ = 1;
  std::uint32_t write_multiplier_ = 0;
  std::uint32_t write_constant_ = 1;
};

}  // namespace serial

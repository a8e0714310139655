#pragma once
// The four settings objects a port component owns. Each holds a back reference to its
// component (not an ownership): reads consult the open device, writes apply to it.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "serial/comm_types.h"
#include "serial/platform/comm_types.h"
#include "serial/settings_values.h"

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

  const DataControlValues& Stored() const { return values_; }  // as written, not as read
  void Load(const DataControlValues& values);  // through the setters, in stored order

 private:
  TCustomComm* comm_;
  DataControlValues values_;
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
  std::uint16_t InputTimeout() const { return values_.input_timeout; }
  void SetInputTimeout(std::uint16_t value) { values_.input_timeout = value; }
  std::uint16_t OutputTimeout() const { return values_.output_timeout; }
  void SetOutputTimeout(std::uint16_t value) { values_.output_timeout = value; }

  const BufferValues& Stored() const { return values_; }
  void Load(const BufferValues& values);

 private:
  TCustomComm* comm_;
  BufferValues values_;
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

  const EventCharValues& Stored() const { return values_; }
  void Load(const EventCharValues& values);

 private:
  // The device's character when the block can be read, else the stored one.
  std::uint8_t Live(std::uint8_t platform::DCB::*field, std::uint8_t stored) const;
  void Store(std::uint8_t& stored, std::uint8_t value);

  TCustomComm* comm_;
  EventCharValues values_;
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

  const TimeoutValues& Stored() const { return values_; }
  void Load(const TimeoutValues& values);

 private:
  // The device's value when its time-outs can be read, else the stored one.
  std::uint32_t Live(std::uint32_t platform::COMMTIMEOUTS::*field, std::uint32_t stored) const;
  void Store(std::uint32_t& stored, std::uint32_t value);

  TCustomComm* comm_;
  TimeoutValues values_;
};

}  // namespace serial

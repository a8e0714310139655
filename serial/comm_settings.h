#pragma once
// The four settings objects a port component owns. Each holds a back reference to its
// component (not an ownership): reads consult the open device, writes apply to it. A group
// is read as a whole (LiveValues) and written through one Store, so a field's getter and
// setter are one line each here, and the device mapping of its field lives with the
// group's device record (dcb_builder, timeouts_record).
#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "serial/comm_types.h"
#include "serial/enum_range.h"
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
  // source as an object of class Source; EAssignError when it is null or of another class.
  template <class Source>
  const Source& AssignSource(const TPersistent* source) const {
    const auto* from = dynamic_cast<const Source*>(source);
    if (from == nullptr) AssignError(source);
    return *from;
  }

 private:
  [[noreturn]] void AssignError(const TPersistent* source) const;
};

// What the four groups share: the back reference, the stored values, the way a write goes
// (compare with the stored value, store, apply to an open device) and the assignment.
// Group provides LiveValues() and ApplyIfOpen().
template <class Group, class Values>
class TCommSettings : public TPersistent {
 public:
  // Takes every value the source reports, stored without the setters' checks or
  // difference test, then applies the group to an open device even when nothing changed.
  void Assign(const TPersistent* source) override {
    values_ = AssignSource<Group>(source).LiveValues();
    static_cast<Group&>(*this).ApplyIfOpen();
  }

  const Values& Stored() const { return values_; }  // as written, not as read

 protected:
  explicit TCommSettings(TCustomComm& comm) : comm_(&comm) {}

  template <class T>
  void Store(T Values::*field, std::type_identity_t<T> value) {
    if (values_.*field == value) return;
    values_.*field = value;
    static_cast<Group&>(*this).ApplyIfOpen();
  }

  TCustomComm* comm_;
  Values values_;
};

class TCommDataControl : public TCommSettings<TCommDataControl, DataControlValues> {
 public:
  explicit TCommDataControl(TCustomComm& comm) : TCommSettings(comm) {}
  const char* ClassName() const override { return "TCommDataControl"; }

  // The values of the device's block when it can be read, else the stored ones.
  DataControlValues LiveValues() const;

  TDataBits DataBits() const { return LiveValues().data_bits; }
  void SetDataBits(TDataBits value) {
    RequireMember(value, db8, "DataBits");
    Store(&DataControlValues::data_bits, value);
  }
  TParity Parity() const { return LiveValues().parity; }
  void SetParity(TParity value) {
    RequireMember(value, paSpace, "Parity");
    Store(&DataControlValues::parity, value);
  }
  TStopBits StopBits() const { return LiveValues().stop_bits; }
  void SetStopBits(TStopBits value) {
    RequireMember(value, sb2, "StopBits");
    Store(&DataControlValues::stop_bits, value);
  }

  // Through the setters, in stored order.
  void Load(const DataControlValues& values) {
    SetDataBits(values.data_bits);
    SetParity(values.parity);
    SetStopBits(values.stop_bits);
  }

 private:
  friend TCommSettings;
  void ApplyIfOpen();
};

class TCommBuffers : public TCommSettings<TCommBuffers, BufferValues> {
 public:
  explicit TCommBuffers(TCustomComm& comm) : TCommSettings(comm) {}
  const char* ClassName() const override { return "TCommBuffers"; }

  // The queue sizes the open device reports (one it reports as 0 stays as stored); the
  // time-outs are never sent to the device, so they are the stored ones.
  BufferValues LiveValues() const;

  std::uint16_t InputSize() const { return LiveValues().input_size; }
  void SetInputSize(std::uint16_t value) { Store(&BufferValues::input_size, Clamped(value)); }
  std::uint16_t OutputSize() const { return LiveValues().output_size; }
  void SetOutputSize(std::uint16_t value) { Store(&BufferValues::output_size, Clamped(value)); }
  std::uint16_t InputTimeout() const { return values_.input_timeout; }
  void SetInputTimeout(std::uint16_t value) { values_.input_timeout = value; }
  std::uint16_t OutputTimeout() const { return values_.output_timeout; }
  void SetOutputTimeout(std::uint16_t value) { values_.output_timeout = value; }

  void Load(const BufferValues& values) {
    SetInputSize(values.input_size);
    SetOutputSize(values.output_size);
    SetInputTimeout(values.input_timeout);
    SetOutputTimeout(values.output_timeout);
  }

 private:
  friend TCommSettings;
  void ApplyIfOpen();
  // A queue size within the bounds of the operating system the component runs on.
  std::uint16_t Clamped(std::uint16_t size) const;
};

class TCommEventChars : public TCommSettings<TCommEventChars, EventCharValues> {
 public:
  explicit TCommEventChars(TCustomComm& comm) : TCommSettings(comm) {}
  const char* ClassName() const override { return "TCommEventChars"; }

  // The characters of the device's block when it can be read, else the stored ones.
  EventCharValues LiveValues() const;

  std::uint8_t XonChar() const { return LiveValues().xon_char; }
  void SetXonChar(std::uint8_t value) { Store(&EventCharValues::xon_char, value); }
  std::uint8_t XoffChar() const { return LiveValues().xoff_char; }
  void SetXoffChar(std::uint8_t value) { Store(&EventCharValues::xoff_char, value); }
  std::uint8_t EofChar() const { return LiveValues().eof_char; }
  void SetEofChar(std::uint8_t value) { Store(&EventCharValues::eof_char, value); }
  std::uint8_t ErrorChar() const { return LiveValues().error_char; }
  void SetErrorChar(std::uint8_t value) { Store(&EventCharValues::error_char, value); }
  std::uint8_t EventChar() const { return LiveValues().event_char; }
  void SetEventChar(std::uint8_t value) { Store(&EventCharValues::event_char, value); }

  void Load(const EventCharValues& values) {
    SetXonChar(values.xon_char);
    SetXoffChar(values.xoff_char);
    SetEofChar(values.eof_char);
    SetErrorChar(values.error_char);
    SetEventChar(values.event_char);
  }

 private:
  friend TCommSettings;
  void ApplyIfOpen();
};

class TCommTimeoutsEx : public TCommSettings<TCommTimeoutsEx, TimeoutValues> {
 public:
  explicit TCommTimeoutsEx(TCustomComm& comm) : TCommSettings(comm) {}
  const char* ClassName() const override { return "TCommTimeoutsEx"; }

  // The device's time-outs when they can be read, else the stored ones.
  TimeoutValues LiveValues() const;

  std::uint32_t ReadInterval() const { return LiveValues().read_interval; }
  void SetReadInterval(std::uint32_t value) { Store(&TimeoutValues::read_interval, value); }
  std::uint32_t ReadMultiplier() const { return LiveValues().read_multiplier; }
  void SetReadMultiplier(std::uint32_t value) { Store(&TimeoutValues::read_multiplier, value); }
  std::uint32_t ReadConstant() const { return LiveValues().read_constant; }
  void SetReadConstant(std::uint32_t value) { Store(&TimeoutValues::read_constant, value); }
  std::uint32_t WriteMultiplier() const { return LiveValues().write_multiplier; }
  void SetWriteMultiplier(std::uint32_t value) { Store(&TimeoutValues::write_multiplier, value); }
  std::uint32_t WriteConstant() const { return LiveValues().write_constant; }
  void SetWriteConstant(std::uint32_t value) { Store(&TimeoutValues::write_constant, value); }

  void Load(const TimeoutValues& values) {
    SetReadInterval(values.read_interval);
    SetReadMultiplier(values.read_multiplier);
    SetReadConstant(values.read_constant);
    SetWriteMultiplier(values.write_multiplier);
    SetWriteConstant(values.write_constant);
  }

 private:
  friend TCommSettings;
  void ApplyIfOpen();
};

}  // namespace serial

#pragma once
// A set of enumeration members stored as a bit mask: member n is bit n.
#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace serial {

template <typename E, typename Bits>
class EnumSet {
  static_assert(std::is_enum_v<E> && std::is_unsigned_v<Bits>);

 public:
  constexpr EnumSet() = default;
  constexpr EnumSet(std::initializer_list<E> members) {
    for (E m : members) bits_ |= Bit(m);
  }
  static constexpr EnumSet FromBits(Bits bits) {
    EnumSet s;
    s.bits_ = bits;
    return s;
  }

  constexpr Bits bits() const { return bits_; }
  constexpr bool empty() const { return bits_ == 0; }
  constexpr bool Contains(E m) const { return (bits_ & Bit(m)) != 0; }
  constexpr EnumSet& Include(E m) {
    bits_ |= Bit(m);
    return *this;
  }
  constexpr EnumSet& Exclude(E m) {
    bits_ &= static_cast<Bits>(~Bit(m));
    return *this;
  }

  friend constexpr EnumSet operator+(EnumSet a, EnumSet b) { return FromBits(a.bits_ | b.bits_); }
  friend constexpr EnumSet operator*(EnumSet a, EnumSet b) { return FromBits(a.bits_ & b.bits_); }
  friend constexpr EnumSet operator-(EnumSet a, EnumSet b) {
    return FromBits(static_cast<Bits>(a.bits_ & ~b.bits_));
  }
  friend constexpr bool operator==(EnumSet, EnumSet) = default;

 private:
  static constexpr Bits Bit(E m) { return static_cast<Bits>(Bits{1} << static_cast<unsigned>(m)); }
  Bits bits_ = 0;
};

}  // namespace serial

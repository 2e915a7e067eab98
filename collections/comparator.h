// The pluggable ordering and hashing of collection elements: the component
// interface IZKComparator, the library's default comparator and the two calls
// through which every collection asks its comparator.
#pragma once

#include <cstdint>

#include "lang/object.h"
#include "lang/reference.h"

// {176573E2-C217-4F04-AD8E-E677CA683245}
inline constexpr IID IID_IZKComparator = {0x176573E2, 0xC217, 0x4F04, {0xAD, 0x8E, 0xE6, 0x77, 0xCA, 0x68, 0x32, 0x45}};

// Orders and hashes elements for a collection. Both operations return a
// result code (zero or positive for success) and never throw; result is
// meaningful only on success.
struct IZKComparator : IZKUnknown {
  // result < 0, 0 or > 0 as a sorts before, equal to or after b.
  virtual HRESULT STDMETHODCALLTYPE compare(IZKUnknown* a, IZKUnknown* b, std::int32_t* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE hashCode(IZKUnknown* a, std::uint32_t* result) = 0;

 protected:
  ~IZKComparator() = default;
};

namespace zk::util {

// The default comparator: asks the first element for IZKComparable and
// falls back to the order of the element addresses (null first, hashing to
// 0). Holds no state, so any thread may use it; the one shared instance is
// made on the first getDefault() and lives until the process exits.
class Comparator : public Object, public IZKComparator {
 public:
  Comparator() noexcept = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return Object::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return Object::Release(); }

  // A new comparator when this one is exactly a Comparator;
  // CloneNotSupportedException for a subclass.
  Object* clone() const override;
  // 0 for an object of exactly the same class; CastFailedException
  // otherwise.
  std::int32_t compareTo(const Object& other) const override;
  // True for an object of exactly the same class.
  bool equals(const Object& other) const override;
  using Object::hashCode;

  // a's IZKComparable::CompareTo(b) with its code when a offers it;
  // otherwise the addresses, success.
  HRESULT STDMETHODCALLTYPE compare(IZKUnknown* a, IZKUnknown* b, std::int32_t* result) override;
  // a's IZKComparable::HashCode when a offers it; otherwise the low 32 bits
  // of the address (0 for null), success.
  HRESULT STDMETHODCALLTYPE hashCode(IZKUnknown* a, std::uint32_t* result) override;

  // a.compareTo(b) and a.hashCode(), for callers that hold library objects.
  virtual std::int32_t compare(const Object& a, const Object& b) const;
  virtual std::uint32_t hashCodeOf(const Object& a) const;

  // A new reference to the shared default comparator.
  static Reference<IZKComparator> getDefault();

  static const InterfaceEntry* interfaceTable() noexcept;
};

// comparator.compare(a, b); ResultException with the code when it fails.
std::int32_t compareThrough(IZKComparator& comparator, IZKUnknown* a, IZKUnknown* b);
// comparator.hashCode(a); ResultException with the code when it fails.
std::uint32_t hashThrough(IZKComparator& comparator, IZKUnknown* a);

}  // namespace zk::util

// The root class of the library's class hierarchy.
#pragma once

#include <cstdint>

#include "lang/com_object.h"
#include "lang/comparable.h"
#include "lang/reference.h"

namespace zk {

class Class;
// Itself an Object (through its character buffer base), so only named here:
// code that calls toString includes lang/string.h.
class String;

// Identity, ordering, hashing, text form, cloning and run-time class, plus
// IZKComparable for components. The defaults work on the object's identity
// (its address). An Object is as thread-safe as its subclass makes it; the
// defaults only read the address and the class registry. Class-level
// operations throw members of the zk::Exception tree; the IZKComparable
// operations never throw.
class Object : public ComObject, public IZKComparable {
 public:
  Object() noexcept = default;
  Object(const Object& other) noexcept = default;
  Object& operator=(const Object& other) noexcept = default;

  // Those of ComObject, answering through Object's table (the subclass's
  // where it adds interfaces).
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  ~Object() override;

  // A new object with count 0: hold it in a Reference at once. A plain
  // Object clones itself; any subclass that does not override this throws
  // CloneNotSupportedException.
  virtual Object* clone() const;
  // By address: 1 when this object's is higher, -1 when lower, 0 when the
  // same object.
  virtual std::int32_t compareTo(const Object& other) const;
  // True exactly for the same object.
  virtual bool equals(const Object& other) const;
  // The class record of the dynamic type (not counted: the registry keeps it
  // alive); ClassNotFoundException when the type is not registered.
  virtual Class* getClass() const;
  // The low 32 bits of the object's address.
  virtual std::uint32_t hashCode() const;
  // The registered class name, "@" and hashCode() in lower-case hexadecimal;
  // "Object" stands in for the name when the class cannot be looked up.
  virtual String toString() const;

  // result = compareTo(other) for another library object; for a foreign
  // object (or null) this object's address against other's, as compareTo
  // does: 1 when this one's is higher, so null sorts first and the order is
  // antisymmetric with the default comparator's for foreign objects.
  HRESULT STDMETHODCALLTYPE CompareTo(IZKUnknown* other, std::int32_t* result) override;
  HRESULT STDMETHODCALLTYPE HashCode(std::uint32_t* result) override;

  // The library object behind a component pointer, with a reference; null
  // for objects of any other kind and for null. Asks the object itself
  // through QueryInterface, so a foreign object is never cast blindly.
  static Reference<Object> fromUnknown(IZKUnknown* unknown);

  static const InterfaceEntry* interfaceTable() noexcept;

 protected:
  // The object's address: that of its start, whatever part it is seen by.
  std::uintptr_t address() const noexcept;
};

}  // namespace zk

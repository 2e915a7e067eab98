// The comparison interface that every library object offers to components.
#pragma once

#include <cstdint>

#include "lang/unknown.h"

// Ordering and hashing across module boundaries. Both operations store 0
// into result first and report failures as result codes; they never throw.
struct IZKComparable : IZKUnknown {
  // result < 0, 0 or > 0 as this object orders before, with or after other.
  virtual HRESULT STDMETHODCALLTYPE CompareTo(IZKUnknown* other, std::int32_t* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE HashCode(std::uint32_t* result) = 0;

 protected:
  ~IZKComparable() = default;
};

// The base component interface of the library and the interface identifiers
// that components exchange. IZKUnknown has the layout, operations and
// identifier of COM's IUnknown, so an object of a component DLL can be held
// and queried as one.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/windows_support.h"

// 00000000-0000-0000-C000-000000000046, that of COM's IUnknown.
inline constexpr IID IID_IZKUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IZKComparable = {0x72038029, 0xFA65, 0x4255, {0xA9, 0x16, 0x1C, 0x56, 0x80, 0xAC, 0xFE, 0xBF}};
inline constexpr IID IID_IZKCharBuffer = {0x1F2639A2, 0x1EBC, 0x4E20, {0x85, 0x60, 0x0A, 0xA5, 0x9F, 0x8A, 0xCB, 0x39}};
inline constexpr IID IID_IZKByteBuffer = {0xBD454BEB, 0xD847, 0x40F3, {0xAA, 0xBF, 0x30, 0x83, 0xAC, 0x2A, 0xC5, 0x4B}};

// No virtual destructor: the three slots are the whole interface, exactly as
// in COM, and objects are destroyed only by their own Release.
struct IZKUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IZKUnknown() = default;
};

namespace zk {

// Identifiers compare as two 64-bit halves.
inline bool isSameIid(const IID& a, const IID& b) noexcept {
  std::uint64_t left[2];
  std::uint64_t right[2];
  static_assert(sizeof(IID) == sizeof(left), "an identifier is 16 bytes");
  std::memcpy(left, &a, sizeof(left));
  std::memcpy(right, &b, sizeof(right));
  return left[0] == right[0] && left[1] == right[1];
}

}  // namespace zk

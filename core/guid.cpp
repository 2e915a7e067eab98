#include "core/guid.h"

#include <cstdint>
#include <cwchar>

#include "core/result.h"

namespace {

constexpr wchar_t kHexDigits[] = L"0123456789ABCDEF";

// Appends the value's hex digits (most significant first) to out.
wchar_t* putHex(wchar_t* out, std::uint32_t value, int digits) {
  for (int i = digits - 1; i >= 0; --i) {
    *out++ = kHexDigits[(value >> (4 * i)) & 0xF];
  }
  return out;
}

int hexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  return -1;
}

// Reads four hex digits at text; false when any of them is not a digit.
bool readGroup(const wchar_t* text, std::uint16_t* value) {
  std::uint16_t result = 0;
  for (int i = 0; i < 4; ++i) {
    const int digit = hexValue(text[i]);
    if (digit < 0) return false;
    result = static_cast<std::uint16_t>((result << 4) | digit);
  }
  *value = result;
  return true;
}

}  // namespace

HRESULT ZKCoreGuidToString(REFGUID guid, wchar_t* buffer, std::size_t capacity) {
  return zkcore::guard([&]() -> HRESULT {
    // No room even for the terminator is a too-small buffer like any other;
    // nothing is written.
    if (capacity == 0 || buffer == nullptr) return zkcore::kInvalidArgument;

    wchar_t text[kZKGuidTextLength + 1];
    wchar_t* out = text;
    *out++ = L'{';
    out = putHex(out, guid.Data1, 8);
    *out++ = L'-';
    out = putHex(out, guid.Data2, 4);
    *out++ = L'-';
    out = putHex(out, guid.Data3, 4);
    *out++ = L'-';
    out = putHex(out, guid.Data4[0], 2);
    out = putHex(out, guid.Data4[1], 2);
    *out++ = L'-';
    for (int i = 2; i < 8; ++i) out = putHex(out, guid.Data4[i], 2);
    *out++ = L'}';
    *out = L'\0';

    // Copy what fits and always terminate: a short buffer gets a prefix,
    // never an overrun.
    const std::size_t count = capacity - 1 < kZKGuidTextLength ? capacity - 1 : kZKGuidTextLength;
    std::wmemcpy(buffer, text, count);
    buffer[count] = L'\0';
    return count == kZKGuidTextLength ? zkcore::kOk : zkcore::kInvalidArgument;
  });
}

HRESULT ZKCoreGuidFromString(const wchar_t* text, GUID* guid) {
  return zkcore::guard([&]() -> HRESULT {
    if (text == nullptr || guid == nullptr) return zkcore::kInvalidArgument;

    // Only the first 38 characters matter; never scan further than that.
    std::size_t length = 0;
    while (length < kZKGuidTextLength && text[length] != L'\0') ++length;
    if (length < 36) return zkcore::kInvalidArgument;

    const wchar_t* p = text;
    if (*p == L'{') {
      if (length < kZKGuidTextLength || text[37] != L'}') return zkcore::kInvalidArgument;
      ++p;
    }

    // Layout 8-4-4-4-12 as eight groups of four digits with dashes after
    // the second, third, fourth and fifth group.
    std::uint16_t groups[8];
    for (int i = 0; i < 8; ++i) {
      if (!readGroup(p, &groups[i])) return zkcore::kInvalidArgument;
      p += 4;
      if (i >= 1 && i <= 4) {
        if (*p != L'-') return zkcore::kInvalidArgument;
        ++p;
      }
    }

    GUID result;
    result.Data1 = (static_cast<unsigned long>(groups[0]) << 16) | groups[1];
    result.Data2 = groups[2];
    result.Data3 = groups[3];
    for (int i = 0; i < 4; ++i) {
      result.Data4[2 * i] = static_cast<unsigned char>(groups[4 + i] >> 8);
      result.Data4[2 * i + 1] = static_cast<unsigned char>(groups[4 + i] & 0xFF);
    }
    *guid = result;
    return zkcore::kOk;
  });
}

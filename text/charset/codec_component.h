// The contract between the library and the codec components that decode
// encodings with no built-in codec: the interface a component offers and the
// program-id prefix under which it is registered. Codec component DLLs
// include this header too, so nothing here may need the library's code.
#pragma once

#include <cstdint>
#include <cstring>
#include <cwchar>

#include "core/windows_support.h"
#include "lang/char_buffer.h"

// {E9DE4D9A-BF89-4A97-B974-1F50BC5A8C61}
inline constexpr IID IID_IZKCharCodec = {0xE9DE4D9A, 0xBF89, 0x4A97, {0xB9, 0x74, 0x1F, 0x50, 0xBC, 0x5A, 0x8C, 0x61}};

// A component for encoding NAME is registered under this prefix + NAME.
inline constexpr wchar_t kCharCodecProgIdPrefix[] = L"Lumtrabex.CharCodec.";

// Decodes one encoding, one character per call. The slot order is fixed:
// components built elsewhere depend on it.
struct IZKCharCodec : IZKUnknown {
  // Writes the encoding's canonical name through the buffer's write side
  // (LockWrite, stores, SetLength).
  virtual HRESULT STDMETHODCALLTYPE GetName(IZKCharBuffer* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMaxBytesPerChar(std::int32_t* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMaxCharsPerByte(std::int32_t* count) = 0;
  // Decodes the character at bytes. *count holds the bytes available on
  // entry and the bytes the character used on return, 0 when the available
  // bytes end inside a character; *codePoint receives the character, U+FFFD
  // when the bytes have no mapping. Callers ignore the result code.
  virtual HRESULT STDMETHODCALLTYPE Decode(const std::uint8_t* bytes, std::int32_t* count,
                                           std::uint32_t* codePoint) = 0;

 protected:
  ~IZKCharCodec() = default;
};

// What a component's GetName does with its name: the whole text through the
// buffer's write side, the buffer's own failure passed on.
inline HRESULT writeCodecName(IZKCharBuffer* buffer, const wchar_t* text) noexcept {
  if (buffer == nullptr || text == nullptr) return E_POINTER;
  const auto length = static_cast<std::int32_t>(std::wcslen(text));
  wchar_t* data = nullptr;
  const HRESULT locked = buffer->LockWrite(length, &data);
  if (FAILED(locked)) return locked;
  std::memcpy(data, text, sizeof(wchar_t) * static_cast<std::size_t>(length));
  return buffer->SetLength(length);
}

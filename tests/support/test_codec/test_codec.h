// The contract between the codec component tests and the test codec DLL:
// which class behaves how, and what the scripted codec decodes.
#pragma once

#include "core/windows_support.h"

namespace zk_test {

// Class ids {C0DEC000-5A17-4E0B-8F3C-6D2E91B7A4kk}, kk the kind below.
enum class TestCodecKind : unsigned char {
  // Decodes by the script below; name kTestCodecName, factors 3 and 2.
  kScripted = 0,
  // Fail the named call with kTestCodecFailure.
  kFailingName,
  kFailingMaxBytes,
  kFailingMaxChars,
  // Report a maximum of bytes per character of -1.
  kNegativeMaxBytes,
  // Report success for the maximum of characters per byte without writing.
  kUnwrittenMaxChars,
  kCount,
};

inline GUID testCodecClassId(TestCodecKind kind) {
  return GUID{0xC0DEC000, 0x5A17, 0x4E0B, {0x8F, 0x3C, 0x6D, 0x2E, 0x91, 0xB7, 0xA4, static_cast<BYTE>(kind)}};
}

inline constexpr wchar_t kTestCodecName[] = L"x-test-codec";
inline constexpr HRESULT kTestCodecFailure = static_cast<HRESULT>(0x80070032L);
inline constexpr wchar_t kTestCodecDllName[] = L"zk_test_codec.dll";

// The script, by the first byte offered:
//   below 0x80   that byte as the code point, 1 byte
//   0x80         U+3042 from 2 bytes; count 0 when only 1 is there
//   0x81         U+1F600, 1 byte
//   0x82         U+FFFD (no mapping) from 2 bytes; count 0 when only 1
//   0x83         U+DC00, 1 byte
//   0x84         'X' with a count one past the bytes offered
//   0x85         'Y' with a count of -1
//   0x86         0x110000, 1 byte
//   other        U+FFFD, 1 byte

}  // namespace zk_test

// The codecs of the provsweep codec component: one class per Windows code
// page of the library's code-page table, decoding through the system's own
// code-page conversion.
#pragma once

#include <cstdint>

#include "core/windows_support.h"

namespace charcodec {

// The class id of a code page's codec: a fixed base with the code page in
// Data2, so the component needs no table of its own to map back.
GUID classIdOf(std::uint32_t codePage) noexcept;
// The code page of the table whose class id is clsid, or 0.
std::uint32_t codePageOf(const GUID& clsid) noexcept;
// The table's name for a code page, or null when it has none.
const wchar_t* canonicalNameOf(std::uint32_t codePage) noexcept;

// Decodes the character at bytes in codePage (as the codec interface's
// Decode does): count holds the bytes available and, on return, the bytes
// used (0 when they end inside a character). Returns U+FFFD, consuming the
// bytes of one bad character, when there is no mapping. A surrogate pair is
// returned as one code point.
std::uint32_t decodeCharacter(std::uint32_t codePage, const std::uint8_t* bytes, std::int32_t& count) noexcept;

// The class object (an IClassFactory) for a code page of the table that this
// system can convert, as DllGetClassObject hands it out: *object is cleared
// first and holds one reference on success; CLASS_E_CLASSNOTAVAILABLE for
// any other code page.
HRESULT getClassObject(std::uint32_t codePage, REFIID iid, void** object) noexcept;

// Whether any codec or class object is alive or the server is locked, for
// DllCanUnloadNow. Thread-safe.
bool hasLiveObjects() noexcept;

}  // namespace charcodec

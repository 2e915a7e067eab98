// Decoding a whole narrow text at once: what zk::String's narrow constructor
// does through the converters.
#pragma once

#include <cstdint>

#include "lang/char_buffer.h"
#include "lang/reference.h"
#include "text/charset/converter.h"

namespace zk::text::charset {

// Decodes all length bytes with decoder (which should be fresh or reset)
// into a new growable buffer holding the characters and a NUL, with room
// for at least capacity elements. Sized by getMaxCharsPerByte, and grown
// should a decoder produce more. Bytes that convert leaves at the end (a
// sequence cut short) are decoded as malformed input by the codec's own rule
// (convertTruncated), so nothing is dropped. A null bytes decodes nothing.
//
// Throws what the decoder throws (with substitution off, for instance),
// std::bad_alloc when the characters would not fit a signed 32-bit count or
// memory runs out, and ResultException 0x80070057 for a negative length. Out of
// memory, a size limit included, fails through ZKCoreOutOfMemory:
// zk::OutOfMemoryException once the class library's handler is installed, else
// std::bad_alloc.
Reference<util::RWCharBuffer> decodeAll(ByteToCharConverter& decoder, const std::uint8_t* bytes, std::int32_t length,
                                        std::int32_t capacity);

// Makes zk::String's narrow constructor decode with getConverter and
// decodeAll. Called by the converters' start-up; stays installed, since the
// lookup itself knows when the library is down.
void installNarrowTextDecoder() noexcept;

}  // namespace zk::text::charset

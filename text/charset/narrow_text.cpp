#include "text/charset/narrow_text.h"

#include <algorithm>
#include <limits>

#include "core/lifecycle.h"
#include "lang/exception.h"
#include "lang/result.h"
#include "lang/string.h"

namespace zk::text::charset {

namespace {

constexpr std::int64_t kMaxElements = std::numeric_limits<std::int32_t>::max();

// Free room that holds the result of any single decoding step: a surrogate
// pair or a substitution of up to three units. With less, a decoder that
// stops may only be waiting for room.
constexpr std::int32_t kStepRoom = 8;

std::int32_t elementCount(std::int64_t count) {
  if (count > kMaxElements) ZKCoreOutOfMemory();
  return static_cast<std::int32_t>(count);
}

Reference<util::RWCharBuffer> decodeNarrow(const char* bytes, std::int32_t length, const wchar_t* encoding,
                                           std::int32_t capacity) {
  const Reference<ByteToCharConverter> decoder = ByteToCharConverter::getConverter(encoding);
  return decodeAll(*decoder, reinterpret_cast<const std::uint8_t*>(bytes), length, capacity);
}

}  // namespace

Reference<util::RWCharBuffer> decodeAll(ByteToCharConverter& decoder, const std::uint8_t* bytes, std::int32_t length,
                                        std::int32_t capacity) {
  if (length < 0) throw ResultException(kInvalidArgument);
  const std::int64_t perByte = std::max(decoder.getMaxCharsPerByte(), 1);
  Reference<util::RWCharBuffer> buffer(
      new util::RWCharBuffer(elementCount(std::max<std::int64_t>(capacity, length * perByte + 1))));
  wchar_t* out = buffer->getData();
  std::int32_t inPos = 0;
  std::int32_t outPos = 0;
  // The last element stays free for the NUL.
  const auto outEnd = [&buffer] { return buffer->getCapacity() - 1; };
  const auto makeRoom = [&] {
    if (outEnd() - outPos >= kStepRoom) return;
    const std::int64_t needed = std::int64_t{outPos} + std::int64_t{length - inPos} * perByte + kStepRoom + 1;
    out = buffer->reserve(elementCount(needed));
  };

  if (bytes != nullptr) {
    for (;;) {
      decoder.convert(bytes, inPos, length, out, outPos, outEnd());
      if (inPos == length) break;
      if (outEnd() - outPos < kStepRoom) {
        makeRoom();
        continue;
      }
      // With room to spare the decoder stopped only because the input ends
      // inside a sequence: its first byte is malformed, not pending.
      const std::int32_t stoppedAt = inPos;
      decoder.convertTruncated(bytes, inPos, length, out, outPos, outEnd());
      // A decoder that neither converts nor drops a byte would never end.
      if (inPos == stoppedAt) throw IllegalStateException();
    }
  }
  makeRoom();
  decoder.flush(out, outPos, outEnd());
  out[outPos] = L'\0';
  buffer->setLength(outPos + 1);
  return buffer;
}

void installNarrowTextDecoder() noexcept { zk::detail::setNarrowDecoder(&decodeNarrow); }

}  // namespace zk::text::charset

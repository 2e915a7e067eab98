#include "text/charset/component_decoder.h"

#include "lang/result.h"

namespace zk::text::charset {

namespace {

std::int32_t sizingFactor(IZKCharCodec& codec, HRESULT (STDMETHODCALLTYPE IZKCharCodec::*get)(std::int32_t*)) {
  // Preset so that a component which reports success without writing is
  // refused like one that reports 0.
  std::int32_t factor = 0;
  throwIfFailed((codec.*get)(&factor));
  if (factor < 1) throw ResultException(BTCCom::kBadSizingFactor);
  return factor;
}

}  // namespace

BTCCom::BTCCom(IZKCharCodec* codec) : m_codec(codec) {
  if (!m_codec) throw ResultException(kNullPointer);
  throwIfFailed(m_codec->GetName(&m_name));
  m_maxBytesPerChar = sizingFactor(*m_codec, &IZKCharCodec::GetMaxBytesPerChar);
  m_maxCharsPerByte = sizingFactor(*m_codec, &IZKCharCodec::GetMaxCharsPerByte);
}

BTCCom::~BTCCom() = default;

std::uint32_t BTCCom::decodeChar(const std::uint8_t* bytes, std::int32_t& count) {
  std::uint32_t codePoint = 0xFFFD;
  // The result code carries nothing the count and code point do not.
  zkcore::ignoreFailure(m_codec->Decode(bytes, &count, &codePoint));
  return codePoint;
}

}  // namespace zk::text::charset

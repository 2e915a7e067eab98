// The decoder backed by a codec component (text/charset/codec_component.h).
#pragma once

#include <cstdint>

#include "core/interface_ptr.h"
#include "text/charset/codec_component.h"
#include "text/charset/multi_byte.h"

namespace zk::text::charset {

// Decodes through a codec component, one character per component call. Its
// name and sizing factors are read from the component once, when it is made.
// One thread at a time, like every decoder; the component's own threading
// rules are the component's.
class BTCCom : public BTCMultiByte {
 public:
  // Takes a reference on codec (which must not be null) and reads the name,
  // then the two sizing factors. A failing code from any of them is thrown as
  // ResultException with that code; a sizing factor below 1 (or one the
  // component never wrote) as ResultException kBadSizingFactor, since a
  // buffer sized by it could not hold the text. Nothing is kept on failure.
  explicit BTCCom(IZKCharCodec* codec);
  ~BTCCom() override;

  // HRESULT_FROM_WIN32(ERROR_INVALID_DATA).
  static constexpr HRESULT kBadSizingFactor = static_cast<HRESULT>(0x8007000DL);

 protected:
  std::uint32_t decodeChar(const std::uint8_t* bytes, std::int32_t& count) override;

 private:
  zkcore::InterfacePtr<IZKCharCodec> m_codec;
};

}  // namespace zk::text::charset

// The built-in codec and code-page tables and the registry value that pairs
// an encoding's encoder and decoder classes. The lookup itself is
// ByteToCharConverter::getConverter.
#pragma once

#include <cstdint>

#include "lang/class.h"
#include "lang/com_object.h"
#include "lang/reference.h"
#include "text/charset/code_pages.h"

namespace zk::text::charset {

// One row of the built-in codec table. A canonical row (empty canonical
// name) defines a codec; an alias row names its canonical row and carries
// the same class names, with code page 0.
struct CodecTableRow {
  const wchar_t* name;
  std::uint32_t codePage;  // 0 where the encoding has none
  const wchar_t* canonicalName;
  const wchar_t* encoderClassName;
  const wchar_t* decoderClassName;
};

// The table in its fixed order, ended by a row with a null name. The
// code-page tables are in text/charset/code_pages.h.
const CodecTableRow* builtInCodecTable() noexcept;

// The encoder and decoder classes of one registry key. Immutable once made,
// so any thread may read one; the codec registry owns them.
class CodecClasses : public ComObject {
 public:
  // Holds a reference on each record.
  CodecClasses(Class* encoderClass, Class* decoderClass) noexcept;
  ~CodecClasses() override;

  Class* getEncoderClass() const noexcept { return m_encoderClass.get(); }
  Class* getDecoderClass() const noexcept { return m_decoderClass.get(); }

 private:
  Reference<Class> m_encoderClass;
  Reference<Class> m_decoderClass;
};

}  // namespace zk::text::charset

#include "charcodec/code_page_codec.h"

#include <algorithm>
#include <atomic>
#include <new>

#include "core/component_object.h"
#include "text/charset/code_pages.h"
#include "text/charset/codec_component.h"

namespace charcodec {

namespace {

constexpr GUID kClassIdBase = {0x7A3C1E00, 0x0000, 0x4D2B, {0x9E, 0x41, 0x6C, 0x0F, 0x83, 0x55, 0xB2, 0x17}};
constexpr std::uint32_t kNoMapping = 0xFFFD;
constexpr std::uint32_t kEucJp = 20932;
// EUC-JP's longest sequence: 0x8F and two bytes of JIS X 0212.
constexpr std::int32_t kEucJpMaxBytes = 3;

// Codecs, class objects and server locks alive, for DllCanUnloadNow.
std::atomic<long> g_liveObjects{0};

bool sameId(REFIID a, const GUID& b) noexcept { return IsEqualGUID(a, b) != FALSE; }

bool isDoubleByteCodePage(std::uint32_t codePage) noexcept {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

bool inRange(std::uint8_t byte, std::uint8_t low, std::uint8_t high) noexcept { return byte >= low && byte <= high; }

// Whether byte can follow lead (or, for EUC-JP's 0x8F, the byte after it)
// in a character of codePage. Each page has its own ranges; a byte outside
// them (ASCII above all) starts a character of its own, so a lead byte
// followed by it is a bad character of one byte.
bool isTrailByte(std::uint32_t codePage, std::uint8_t lead, std::uint8_t byte) noexcept {
  switch (codePage) {
    case kEucJp:
      // Half-width katakana stop at 0xDF.
      return lead == 0x8E ? inRange(byte, 0xA1, 0xDF) : inRange(byte, 0xA1, 0xFE);
    case 932:
      return inRange(byte, 0x40, 0x7E) || inRange(byte, 0x80, 0xFC);
    case 936:
      return inRange(byte, 0x40, 0x7E) || inRange(byte, 0x80, 0xFE);
    case 949:
      // The unified Hangul rows below 0xC7 take letters and high bytes; the
      // KS X 1001 rows from 0xC7 on only high bytes.
      if (lead >= 0xC7) return inRange(byte, 0xA1, 0xFE);
      return inRange(byte, 0x41, 0x5A) || inRange(byte, 0x61, 0x7A) || inRange(byte, 0x81, 0xFE);
    case 950:
      return inRange(byte, 0x40, 0x7E) || inRange(byte, 0xA1, 0xFE);
    default:
      return false;
  }
}

// The length of the character that starts with lead, or 0 when only trying
// lengths can tell.
std::int32_t characterLength(std::uint32_t codePage, std::uint8_t lead) noexcept {
  if (codePage == kEucJp) {
    if (lead == 0x8F) return 3;
    return lead == 0x8E || (lead >= 0xA1 && lead <= 0xFE) ? 2 : 1;
  }
  if (isDoubleByteCodePage(codePage)) return ::IsDBCSLeadByteEx(codePage, lead) ? 2 : 1;
  return 0;
}

std::int32_t maxCharSize(std::uint32_t codePage) noexcept {
  CPINFO info = {};
  const std::int32_t size = ::GetCPInfo(codePage, &info) ? static_cast<std::int32_t>(info.MaxCharSize) : 1;
  return std::max(codePage == kEucJp ? kEucJpMaxBytes : 1, size);
}

// The code point of exactly length bytes, or U+FFFD when they are not one
// character with a mapping.
std::uint32_t convertExactly(std::uint32_t codePage, const std::uint8_t* bytes, std::int32_t length) noexcept {
  wchar_t units[2];
  const int written =
      ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes), length, units, 2);
  if (written == 1) return units[0];
  if (written == 2 && units[0] >= 0xD800 && units[0] <= 0xDBFF && units[1] >= 0xDC00 && units[1] <= 0xDFFF) {
    return 0x10000 + ((static_cast<std::uint32_t>(units[0]) - 0xD800) << 10) + (units[1] - 0xDC00);
  }
  // Two units that are no pair would be two characters: none of the table's
  // code pages makes them, and one code point cannot carry them.
  return kNoMapping;
}

class CodePageCodec final : public zkcore::ComponentObject<IZKCharCodec> {
 public:
  explicit CodePageCodec(std::uint32_t codePage) noexcept
      : ComponentObject(IID_IZKCharCodec, &g_liveObjects), m_codePage(codePage) {}

  HRESULT STDMETHODCALLTYPE GetName(IZKCharBuffer* name) override {
    return writeCodecName(name, canonicalNameOf(m_codePage));
  }
  HRESULT STDMETHODCALLTYPE GetMaxBytesPerChar(std::int32_t* count) override {
    if (count == nullptr) return E_POINTER;
    *count = maxCharSize(m_codePage);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetMaxCharsPerByte(std::int32_t* count) override {
    if (count == nullptr) return E_POINTER;
    // Every character of these code pages takes at least one byte and
    // becomes one UTF-16 unit.
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Decode(const std::uint8_t* bytes, std::int32_t* count, std::uint32_t* codePoint) override {
    if (count == nullptr || codePoint == nullptr || (bytes == nullptr && *count > 0)) return E_POINTER;
    *codePoint = decodeCharacter(m_codePage, bytes, *count);
    return S_OK;
  }

 private:
  std::uint32_t m_codePage;
};

class CodecFactory final : public zkcore::ComponentObject<IClassFactory> {
 public:
  explicit CodecFactory(std::uint32_t codePage) noexcept
      : ComponentObject(zkcore::kClassFactoryId, &g_liveObjects), m_codePage(codePage) {}

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return CodePageCodec::handOut(new (std::nothrow) CodePageCodec(m_codePage), iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ++g_liveObjects;
    } else {
      --g_liveObjects;
    }
    return S_OK;
  }

 private:
  std::uint32_t m_codePage;
};

}  // namespace

GUID classIdOf(std::uint32_t codePage) noexcept {
  GUID clsid = kClassIdBase;
  clsid.Data2 = static_cast<unsigned short>(codePage);
  return clsid;
}

std::uint32_t codePageOf(const GUID& clsid) noexcept {
  const std::uint32_t codePage = clsid.Data2;
  return canonicalNameOf(codePage) != nullptr && sameId(clsid, classIdOf(codePage)) ? codePage : 0;
}

const wchar_t* canonicalNameOf(std::uint32_t codePage) noexcept {
  for (const auto* row = zk::text::charset::codePageTable(); row->name != nullptr; ++row) {
    if (row->codePage == codePage) return row->name;
  }
  return nullptr;
}

std::uint32_t decodeCharacter(std::uint32_t codePage, const std::uint8_t* bytes, std::int32_t& count) noexcept {
  const std::int32_t available = count;
  count = 0;
  if (available <= 0) return kNoMapping;
  std::int32_t length = characterLength(codePage, bytes[0]);
  if (length == 0) {
    // No lead-byte rule: the shortest run of bytes that converts is the
    // character; a run as long as any character that does not is bad.
    const std::int32_t longest = maxCharSize(codePage);
    for (std::int32_t tried = 1; tried <= std::min(longest, available); ++tried) {
      const std::uint32_t codePoint = convertExactly(codePage, bytes, tried);
      if (codePoint != kNoMapping) {
        count = tried;
        return codePoint;
      }
    }
    if (available < longest) return kNoMapping;
    count = 1;
    return kNoMapping;
  }
  for (std::int32_t at = 1; at < std::min(length, available); ++at) {
    if (!isTrailByte(codePage, bytes[0], bytes[at])) {
      count = 1;
      return kNoMapping;
    }
  }
  if (length > available) return kNoMapping;
  count = length;
  if (codePage == kEucJp && length == 3) {
    // The system's table holds JIS X 0212 in a two-byte form of its own:
    // the row byte as it is, the cell byte with its high bit cleared (0x8F
    // 0xB0 0xA1 is 0xB0 0x21). That form is no EUC-JP text, so it meets
    // nothing else of the table.
    const std::uint8_t twoByte[2] = {bytes[1], static_cast<std::uint8_t>(bytes[2] & 0x7F)};
    return convertExactly(codePage, twoByte, 2);
  }
  return convertExactly(codePage, bytes, length);
}

HRESULT getClassObject(std::uint32_t codePage, REFIID iid, void** object) noexcept {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (canonicalNameOf(codePage) == nullptr || !::IsValidCodePage(codePage)) return CLASS_E_CLASSNOTAVAILABLE;
  return CodecFactory::handOut(new (std::nothrow) CodecFactory(codePage), iid, object);
}

bool hasLiveObjects() noexcept { return g_liveObjects.load() != 0; }

}  // namespace charcodec

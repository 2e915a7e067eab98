#include "text/charset/codec_registry.h"

#include <atomic>
#include <cstdlib>
#include <cwchar>

#include "core/component.h"
#include "core/interface_ptr.h"
#include "core/lifecycle.h"
#include "core/windows_support.h"
#include "lang/exception.h"
#include "lang/global_lock.h"
#include "lang/str1.h"
#include "lang/str1_hash_map.h"
#include "lang/string.h"
#include "text/charset/codec_component.h"
#include "text/charset/component_decoder.h"
#include "text/charset/converter.h"
#include "text/charset/narrow_text.h"
#include "text/charset/single_byte.h"

namespace zk::text::charset {

namespace {

#define ZK_CODEC(name) L"zk::text::charset::" name

const CodecTableRow kCodecTable[] = {
    {L"ASCII", 20127, L"", ZK_CODEC(L"CTBASCII"), ZK_CODEC(L"BTCASCII")},
    {L"ANSI_X3.4-1968", 0, L"ASCII", ZK_CODEC(L"CTBASCII"), ZK_CODEC(L"BTCASCII")},
    {L"ISO-IR-6", 0, L"ASCII", ZK_CODEC(L"CTBASCII"), ZK_CODEC(L"BTCASCII")},
    {L"ANSI_X3.4-1986", 0, L"ASCII", ZK_CODEC(L"CTBASCII"), ZK_CODEC(L"BTCASCII")},
    {L"ISO_646.IRV:1991", 0, L"ASCII", ZK_CODEC(L"CTBASCII"), ZK_CODEC(L"BTCASCII")},
    {L"ISO646-US", 0, L"ASCII", ZK_CODEC(L"CTBASCII"), ZK_CODEC(L"BTCASCII")},
    {L"US-ASCII", 0, L"ASCII", ZK_CODEC(L"CTBASCII"), ZK_CODEC(L"BTCASCII")},
    {L"US", 0, L"ASCII", ZK_CODEC(L"CTBASCII"), ZK_CODEC(L"BTCASCII")},
    {L"IBM367", 0, L"ASCII", ZK_CODEC(L"CTBASCII"), ZK_CODEC(L"BTCASCII")},
    {L"CP367", 0, L"ASCII", ZK_CODEC(L"CTBASCII"), ZK_CODEC(L"BTCASCII")},
    {L"CSASCII", 0, L"ASCII", ZK_CODEC(L"CTBASCII"), ZK_CODEC(L"BTCASCII")},
    {L"646", 0, L"ASCII", ZK_CODEC(L"CTBASCII"), ZK_CODEC(L"BTCASCII")},
    {L"DEFAULT", 0, L"ASCII", ZK_CODEC(L"CTBASCII"), ZK_CODEC(L"BTCASCII")},
    {L"ASCII7", 0, L"ASCII", ZK_CODEC(L"CTBASCII"), ZK_CODEC(L"BTCASCII")},
    {L"ISO8859_1", 28591, L"", ZK_CODEC(L"CTBISO8859_1"), ZK_CODEC(L"BTCISO8859_1")},
    {L"ISO_8859-1:1987", 0, L"ISO8859_1", ZK_CODEC(L"CTBISO8859_1"), ZK_CODEC(L"BTCISO8859_1")},
    {L"ISO-IR-100", 0, L"ISO8859_1", ZK_CODEC(L"CTBISO8859_1"), ZK_CODEC(L"BTCISO8859_1")},
    {L"ISO_8859-1", 0, L"ISO8859_1", ZK_CODEC(L"CTBISO8859_1"), ZK_CODEC(L"BTCISO8859_1")},
    {L"ISO-8859-1", 0, L"ISO8859_1", ZK_CODEC(L"CTBISO8859_1"), ZK_CODEC(L"BTCISO8859_1")},
    {L"LATIN1", 0, L"ISO8859_1", ZK_CODEC(L"CTBISO8859_1"), ZK_CODEC(L"BTCISO8859_1")},
    {L"L1", 0, L"ISO8859_1", ZK_CODEC(L"CTBISO8859_1"), ZK_CODEC(L"BTCISO8859_1")},
    {L"IBM819", 0, L"ISO8859_1", ZK_CODEC(L"CTBISO8859_1"), ZK_CODEC(L"BTCISO8859_1")},
    {L"CP819", 0, L"ISO8859_1", ZK_CODEC(L"CTBISO8859_1"), ZK_CODEC(L"BTCISO8859_1")},
    {L"CSISOLATIN1", 0, L"ISO8859_1", ZK_CODEC(L"CTBISO8859_1"), ZK_CODEC(L"BTCISO8859_1")},
    {L"8859_1", 0, L"ISO8859_1", ZK_CODEC(L"CTBISO8859_1"), ZK_CODEC(L"BTCISO8859_1")},
    {L"ISO_8859-1:1978", 0, L"ISO8859_1", ZK_CODEC(L"CTBISO8859_1"), ZK_CODEC(L"BTCISO8859_1")},
    {L"IBM-819", 0, L"ISO8859_1", ZK_CODEC(L"CTBISO8859_1"), ZK_CODEC(L"BTCISO8859_1")},
    {L"819", 0, L"ISO8859_1", ZK_CODEC(L"CTBISO8859_1"), ZK_CODEC(L"BTCISO8859_1")},
    {L"CP437", 437, L"", ZK_CODEC(L"CTBCP437"), ZK_CODEC(L"BTCCP437")},
    {L"IBM437", 0, L"CP437", ZK_CODEC(L"CTBCP437"), ZK_CODEC(L"BTCCP437")},
    {L"437", 0, L"CP437", ZK_CODEC(L"CTBCP437"), ZK_CODEC(L"BTCCP437")},
    {L"CSPC8CODEPAGE437", 0, L"CP437", ZK_CODEC(L"CTBCP437"), ZK_CODEC(L"BTCCP437")},
    {L"IBM-437", 0, L"CP437", ZK_CODEC(L"CTBCP437"), ZK_CODEC(L"BTCCP437")},
    {L"CP1252", 1252, L"", ZK_CODEC(L"CTBCP1252"), ZK_CODEC(L"BTCCP1252")},
    {L"WINDOWS-1252", 0, L"CP1252", ZK_CODEC(L"CTBCP1252"), ZK_CODEC(L"BTCCP1252")},
    {L"UTF-8", 65001, L"", ZK_CODEC(L"CTBUTF8"), ZK_CODEC(L"BTCUTF8")},
    {L"UTF8", 0, L"UTF-8", ZK_CODEC(L"CTBUTF8"), ZK_CODEC(L"BTCUTF8")},
    {L"UTF_8", 0, L"UTF-8", ZK_CODEC(L"CTBUTF8"), ZK_CODEC(L"BTCUTF8")},
    {L"UTF-16LE", 0, L"", ZK_CODEC(L"CTBUTF16LE"), ZK_CODEC(L"BTCUTF16LE")},
    {L"UTF-16BE", 0, L"", ZK_CODEC(L"CTBUTF16BE"), ZK_CODEC(L"BTCUTF16BE")},
    {L"UTF-32BE", 0, L"", ZK_CODEC(L"CTBUTF32BE"), ZK_CODEC(L"BTCUTF32BE")},
    {L"UTF-32LE", 0, L"", ZK_CODEC(L"CTBUTF32LE"), ZK_CODEC(L"BTCUTF32LE")},
    {L"AMP-7", 0, L"", ZK_CODEC(L"CTBAMP7"), ZK_CODEC(L"BTCAMP7")},
    {L"A7", 0, L"AMP-7", ZK_CODEC(L"CTBAMP7"), ZK_CODEC(L"BTCAMP7")},
    {nullptr, 0, nullptr, nullptr, nullptr},
};

#undef ZK_CODEC

constexpr std::int32_t kBuckets = 101;
constexpr float kLoadFactor = 0.75f;

using CodecRegistry = Str1HashMap<Reference<ComObject>>;

// A canonical encoding name and its Windows code page (0 for none).
struct CodePageRecord {
  const wchar_t* canonicalName;
  std::uint32_t codePage;
};

// Names (upper-cased) and code-page numbers to the records, which live in
// one array the directory owns.
struct CodePageDirectory : CZKCoreAllocated {
  explicit CodePageDirectory(std::size_t count)
      : names(kBuckets, kLoadFactor),
        records(static_cast<CodePageRecord*>(ZKCoreAlloc(count * sizeof(CodePageRecord)))) {}
  ~CodePageDirectory() { std::free(records); }
  CodePageDirectory(const CodePageDirectory&) = delete;
  CodePageDirectory& operator=(const CodePageDirectory&) = delete;

  Str1HashMap<void*> names;
  CodePageRecord* records;
};

// Published with release once built, read with acquire: lookups take no
// lock, since both are filled at start-up before other threads look.
std::atomic<CodecRegistry*> g_codecRegistry{nullptr};
std::atomic<CodePageDirectory*> g_codePageDirectory{nullptr};

// The registry, created on first use under the global lock; null while the
// library is down.
CodecRegistry* codecRegistry() {
  return createOnceUnderGlobalLock(g_codecRegistry, [] { return new CodecRegistry(kBuckets, kLoadFactor); });
}

// Names up to this length are upper-cased without touching the heap.
using NameKey = Str1Fixed<128>;

Str1Copy upperCased(const wchar_t* name) {
  Str1Copy key(name);
  key.toUpperCase();
  return key;
}

Str1Copy decimalText(std::uint32_t number) {
  wchar_t digits[16];
  std::swprintf(digits, sizeof(digits) / sizeof(digits[0]), L"%u", number);
  return Str1Copy(digits);
}

// A decoder served by the codec component registered for name (as given,
// not upper-cased), or null. A component that cannot be found or created is
// no failure: the lookup goes on. While the library is down no component is
// asked either, so that every name is unknown then.
Reference<ByteToCharConverter> createComponentDecoder(const wchar_t* name) {
  if (g_codecRegistry.load(std::memory_order_acquire) == nullptr) return nullptr;
  String progId(kCharCodecProgIdPrefix);
  progId.append(name);
  CLSID clsid;
  if (FAILED(ZKCoreCLSIDFromProgID(progId.getData(), &clsid))) return nullptr;
  zkcore::InterfacePtr<IZKCharCodec> codec;
  if (FAILED(ZKCoreCreateInstance(clsid, nullptr, IID_IZKCharCodec, codec.put_void())) || !codec) return nullptr;
  return makeReference<BTCCom>(codec.get());
}

// The decoder that the registry holds under key, or null.
Reference<ByteToCharConverter> createRegisteredDecoder(const Str1& key) {
  CodecRegistry* registry = g_codecRegistry.load(std::memory_order_acquire);
  Reference<ComObject> value;
  if (registry == nullptr || !registry->get(key, value)) return nullptr;
  // Only registerCodec fills the registry, and only with CodecClasses.
  const auto& classes = static_cast<const CodecClasses&>(*value);
  Reference<ComObject> instance(classes.getDecoderClass()->newInstance());
  auto* decoder = dynamic_cast<ByteToCharConverter*>(instance.get());
  if (decoder == nullptr) throw CastFailedException();
  return Reference<ByteToCharConverter>(decoder);
}

// The lookup proper: null when nothing answers to name.
Reference<ByteToCharConverter> findDecoder(const wchar_t* name) {
  NameKey key(name);
  key.toUpperCase();
  // A canonical name's record names itself, so one redirection ends every
  // chain; the bound only guards against a directory that says otherwise.
  for (int redirections = 0; redirections < 4; ++redirections) {
    if (Reference<ByteToCharConverter> decoder = createRegisteredDecoder(key)) return decoder;
    if (Reference<ByteToCharConverter> decoder = createComponentDecoder(name)) return decoder;
    CodePageDirectory* directory = g_codePageDirectory.load(std::memory_order_acquire);
    void* found = nullptr;
    if (directory == nullptr || !directory->names.get(key, found)) return nullptr;
    const auto* record = static_cast<const CodePageRecord*>(found);
    if (key.equals(record->canonicalName)) return nullptr;
    name = record->canonicalName;
    key.assign(name);
  }
  return nullptr;
}

}  // namespace

const CodecTableRow* builtInCodecTable() noexcept { return kCodecTable; }

CodecClasses::CodecClasses(Class* encoderClass, Class* decoderClass) noexcept
    : m_encoderClass(encoderClass), m_decoderClass(decoderClass) {}

CodecClasses::~CodecClasses() = default;

Reference<ByteToCharConverter> ByteToCharConverter::getConverter(const wchar_t* name) {
  if (name == nullptr) return getDefaultConverter();
  Reference<ByteToCharConverter> decoder = findDecoder(name);
  if (!decoder) throw UnknownEncodingException(name);
  return decoder;
}

Reference<ByteToCharConverter> ByteToCharConverter::getDefaultConverter() {
  return getCodePageConverter(GetACP() & 0xFFFF);
}

Reference<ByteToCharConverter> ByteToCharConverter::getCodePageConverter(std::uint32_t codePage) {
  wchar_t name[16];
  // "CP" and the number first; the bare number reaches code pages that are
  // known by number only (65001, the ANSI code page of a system set to
  // UTF-8 everywhere).
  for (const wchar_t* format : {L"CP%u", L"%u"}) {
    std::swprintf(name, sizeof(name) / sizeof(name[0]), format, codePage);
    try {
      if (Reference<ByteToCharConverter> decoder = getConverter(name)) return decoder;
    } catch (...) {
      // A missing codec is what the ASCII fallback is for.
    }
  }
  return makeReference<BTCASCII>();
}

void ByteToCharConverter::registerCodec(const wchar_t* name, const wchar_t* encoderClassName,
                                        const wchar_t* decoderClassName) {
  CodecRegistry* registry = codecRegistry();
  if (registry == nullptr) throw IllegalStateException();
  const Str1Copy key = upperCased(name);
  if (registry->containsKey(key)) return;
  Reference<ComObject> classes =
      makeReference<CodecClasses>(Class::forName(encoderClassName), Class::forName(decoderClassName));
  registry->put(key, classes);
}

void ByteToCharConverter::buildCodePageDirectory() {
  if (globalLock() == nullptr) throw IllegalStateException();
  if (g_codePageDirectory.load(std::memory_order_acquire) != nullptr) return;

  std::size_t count = 0;
  for (const CodecTableRow* row = kCodecTable; row->name != nullptr; ++row) count += row->codePage != 0 ? 1 : 0;
  for (const CodePageRow* row = codePageTable(); row->name != nullptr; ++row) ++count;

  // Built aside and published whole, so a failure leaves no directory.
  auto* directory = new CodePageDirectory(count);
  try {
    CodePageRecord* record = directory->records;
    const auto add = [&](const wchar_t* name, std::uint32_t codePage) {
      *record = CodePageRecord{name, codePage};
      directory->names.put(upperCased(name), record);
      if (codePage != 0) directory->names.put(decimalText(codePage), record);
      ++record;
    };
    for (const CodecTableRow* row = kCodecTable; row->name != nullptr; ++row) {
      if (row->codePage != 0) add(row->name, row->codePage);
    }
    for (const CodePageRow* row = codePageTable(); row->name != nullptr; ++row) add(row->name, row->codePage);

    const auto alias = [&](const wchar_t* name, const wchar_t* canonicalName) {
      void* found = nullptr;
      if (directory->names.get(upperCased(canonicalName), found)) directory->names.put(upperCased(name), found);
    };
    for (const CodecTableRow* row = kCodecTable; row->name != nullptr; ++row) {
      if (row->canonicalName[0] != L'\0') alias(row->name, row->canonicalName);
    }
    for (const CodePageAliasRow* row = codePageAliasTable(); row->alias != nullptr; ++row) {
      alias(row->alias, row->canonicalName);
    }
  } catch (...) {
    delete directory;
    throw;
  }
  g_codePageDirectory.store(directory, std::memory_order_release);
}

void ByteToCharConverter::registerBuiltInCodecs() {
  for (const CodecTableRow* row = kCodecTable; row->name != nullptr; ++row) {
    registerCodec(row->name, row->encoderClassName, row->decoderClassName);
  }
  buildCodePageDirectory();
  installNarrowTextDecoder();
}

void ByteToCharConverter::destroyCodecRegistry() noexcept {
  if (g_codecRegistry.load(std::memory_order_acquire) != nullptr) {
    // Taking the lock fails only in a library already broken; shutdown is
    // single-threaded, so the registry goes all the same.
    try {
      GlobalLockHold hold;
      delete g_codecRegistry.exchange(nullptr, std::memory_order_acq_rel);
    } catch (...) {
      delete g_codecRegistry.exchange(nullptr, std::memory_order_acq_rel);
    }
  }
  delete g_codePageDirectory.exchange(nullptr, std::memory_order_acq_rel);
}

}  // namespace zk::text::charset

// Uses the class library the way a program of another project does: starts
// it, decodes UTF-8 text through the codec registry, adds two big integers,
// sorts a list with the default comparator and prints everything through a
// writer, encoded as UTF-8 on standard output.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "collections/array_list.h"
#include "collections/comparator.h"
#include "io/stdio_streams.h"
#include "io/writer.h"
#include "lang/exception.h"
#include "lang/string.h"
#include "library/lib_scope.h"
#include "math/big_integer.h"
#include "text/charset/converter.h"
#include "text/charset/utf8.h"

namespace {

using zk::Reference;
using zk::String;
using zk::math::BigInteger;

IZKUnknown* unknown(zk::ComObject* object) noexcept { return object; }

void write(zk::io::Writer& writer, const String& text) { writer.write(text.getData(), text.length()); }

// The text as the UTF-8 decoder that getConverter finds turns it into code
// units; the registry behind it is only there once the library has started.
String decodeUtf8(const char* bytes, std::int32_t length) {
  Reference<zk::text::charset::ByteToCharConverter> decoder =
      zk::text::charset::ByteToCharConverter::getConverter(L"UTF-8");
  std::vector<wchar_t> units(static_cast<std::size_t>(length) * decoder->getMaxCharsPerByte() + 1);
  const auto* in = reinterpret_cast<const std::uint8_t*>(bytes);
  std::int32_t inPos = 0;
  std::int32_t outPos = 0;
  const auto outEnd = static_cast<std::int32_t>(units.size());
  decoder->convert(in, inPos, length, units.data(), outPos, outEnd);
  decoder->flush(units.data(), outPos, outEnd);
  return String(units.data(), outPos);
}

// Insertion sort through the list's own get and set, ordered by the default
// comparator (which asks each element for its IZKComparable order).
void sort(zk::collections::pcom::ArrayList& list) {
  Reference<IZKComparator> comparator = zk::util::Comparator::getDefault();
  for (std::int32_t i = 1; i < list.size(); ++i) {
    Reference<IZKUnknown> item = list.get(i);
    std::int32_t j = i;
    for (; j > 0; --j) {
      Reference<IZKUnknown> before = list.get(j - 1);
      if (zk::util::compareThrough(*comparator, before.get(), item.get()) <= 0) break;
      list.set(j, before.get());
    }
    list.set(j, item.get());
  }
}

void printUtf8(const String& text) {
  auto encoder = zk::makeReference<zk::text::charset::CTBUTF8>();
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(text.length()) * encoder->getMaxBytesPerChar() + 1);
  std::int32_t inPos = 0;
  std::int32_t outPos = 0;
  const auto outEnd = static_cast<std::int32_t>(bytes.size());
  encoder->convert(text.getData(), inPos, text.length(), bytes.data(), outPos, outEnd);
  encoder->flush(bytes.data(), outPos, outEnd);
  zk::io::StdioOutputStream out;
  out.write(bytes.data(), outPos);
  out.flush();
}

void run() {
  zk::io::StringWriter writer;

  // "こんにちは、世界 🌏": 8 three-byte characters, a space and one
  // four-byte character that needs a surrogate pair.
  static const char kGreeting[] = u8"\u3053\u3093\u306B\u3061\u306F\u3001\u4E16\u754C \U0001F30F";
  const auto greetingBytes = static_cast<std::int32_t>(sizeof kGreeting - 1);
  const String greeting = decodeUtf8(kGreeting, greetingBytes);
  writer.write(L"text: ");
  write(writer, greeting);
  writer.write(L"\n");
  writer.write(L"units: ");
  writer.write(std::to_wstring(greeting.length()).c_str());
  writer.write(L" from ");
  writer.write(std::to_wstring(greetingBytes).c_str());
  writer.write(L" bytes\n");

  const BigInteger a(String(L"123456789012345678901234567890"));
  const BigInteger b(String(L"987654321098765432109876543210"));
  auto sum = zk::makeReference<BigInteger>(a);
  sum->add(b);
  writer.write(L"sum: ");
  write(writer, a.toString());
  writer.write(L" + ");
  write(writer, b.toString());
  writer.write(L" = ");
  write(writer, sum->toString());
  writer.write(L"\n");

  auto list = zk::makeReference<zk::collections::pcom::ArrayList>();
  Reference<BigInteger> items[] = {sum,
                                   zk::makeReference<BigInteger>(a),
                                   zk::makeReference<BigInteger>(std::int32_t{42}),
                                   zk::makeReference<BigInteger>(String(L"-987654321098765432109876543210")),
                                   zk::makeReference<BigInteger>(std::int32_t{0}),
                                   zk::makeReference<BigInteger>(b)};
  for (const Reference<BigInteger>& item : items) list->add(unknown(item.get()));
  sort(*list);
  writer.write(L"sorted:");
  for (std::int32_t i = 0; i < list->size(); ++i) {
    writer.write(L" ");
    write(writer, zk::Object::fromUnknown(list->get(i).get())->toString());
  }
  writer.write(L"\n");

  printUtf8(writer.toString());
}

}  // namespace

int main() {
  CZKLibScope library;
  try {
    run();
    return 0;
  } catch (const zk::Exception& e) {
    std::fwprintf(stderr, L"zk_consumer: %ls (0x%08lX)\n", e.getMessage().getData(),
                  static_cast<unsigned long>(e.getResult()));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zk_consumer: %s\n", e.what());
  }
  return 1;
}

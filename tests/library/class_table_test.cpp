#include "library/class_table.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <typeinfo>

#include "core/lifecycle.h"
#include "io/byte_array_output_stream.h"
#include "io/stdio_streams.h"
#include "io/writer.h"
#include "lang/exception.h"
#include "library/lib_init.h"
#include "sync/locked_buffer.h"
#include "sync/rw_lock.h"
#include "sync/semaphore.h"
#include "support/string_text.h"
#include "text/charset/codec_registry.h"
#include "text/charset/converter.h"
#include "text/charset/converter_classes.h"

namespace zk_test {
namespace {

using zk::Class;

// The classes as the library's start-up registers them.
class ClassTableTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ZKCoreInit(), 0);
    ASSERT_EQ(ZKCLLibInit(), 0);
  }
  void TearDown() override {
    EXPECT_EQ(ZKCLLibUninit(), 0);
    EXPECT_EQ(ZKCoreUninit(), 0);
  }
};

TEST(ClassTableShapeTest, HoldsTheRowsInTheirStoredOrder) {
  const zk::ClassTableRow* table = zk::builtInClassTable();
  int rows = 0;
  std::set<std::wstring> names;
  while (table[rows].name != nullptr) names.insert(table[rows++].name);
  EXPECT_EQ(rows, 148);
  EXPECT_EQ(names.size(), 145u) << "three names appear twice";
  EXPECT_STREQ(table[0].name, L"CZKAbstractByteBuffer");
  EXPECT_STREQ(table[93].name, L"CZKWriter");
  EXPECT_STREQ(table[94].name, L"zk::Exception");
  EXPECT_STREQ(table[147].name, L"zk::text::charset::CTBAMP7");
  // The character-set tests register the converter rows alone: they must be
  // the table's tail, row for row.
  const zk::ClassTableRow* converters = zk::text::charset::converterClassTable();
  const zk::ClassTableRow* tail = table + rows - static_cast<int>(zk::text::charset::kConverterClassCount);
  for (std::size_t i = 0; i <= zk::text::charset::kConverterClassCount; ++i) {
    EXPECT_EQ(tail[i].name == nullptr ? std::wstring() : tail[i].name,
              converters[i].name == nullptr ? std::wstring() : converters[i].name);
    EXPECT_EQ(tail[i].type, converters[i].type) << i;
    EXPECT_EQ(tail[i].creator, converters[i].creator) << i;
  }
}

// Every name resolves to the record of the first row that carries it (the
// later integer-error rows, without creator, change nothing), and each
// creator makes an instance of exactly its own class.
TEST_F(ClassTableTest, EveryNameResolvesToItsFirstRowAndEveryCreatorMakesItsOwnClass) {
  std::map<std::wstring, const zk::ClassTableRow*> firstRows;
  int created = 0;
  for (const zk::ClassTableRow* row = zk::builtInClassTable(); row->name != nullptr; ++row) {
    const zk::ClassTableRow* first = firstRows.emplace(row->name, row).first->second;
    const std::string trace = testing::PrintToString(row->name) + (first != row ? " (repeated row)" : "");
    Class* record = Class::forName(row->name);
    EXPECT_STREQ(record->getName(), row->name) << trace;
    if (first->type != nullptr) {
      EXPECT_EQ(Class::forType(*first->type), record) << trace;
    }
    if (first->creator == nullptr) {
      EXPECT_THROW(record->newInstance(), zk::IllegalAccessException) << trace;
      continue;
    }
    zk::Reference<zk::ComObject> instance(record->newInstance());
    auto* object = dynamic_cast<zk::Object*>(instance.get());
    ASSERT_NE(object, nullptr) << trace;
    EXPECT_TRUE(first->type != nullptr && typeid(*object) == *first->type) << trace;
    EXPECT_TRUE(record->isInstance(object)) << trace;
    EXPECT_EQ(object->getClass(), record) << trace;
    if (first == row) ++created;
  }
  EXPECT_EQ(firstRows.size(), 145u);
  // Rows gain creators as their classes are built; none may lose one.
  EXPECT_GE(created, 65);
}

TEST_F(ClassTableTest, NamesDifferingFromTheClassAndRowsWithoutCreator) {
  EXPECT_STREQ(Class::forType(typeid(zk::sync::ReaderWriterLock))->getName(), L"CZKRWLock");
  EXPECT_STREQ(Class::forType(typeid(zk::sync::Object))->getName(), L"CZKSyncObject");
  EXPECT_STREQ(Class::forType(typeid(zk::IntErrorException))->getName(), L"zk::IntErrorException");
  for (const wchar_t* name :
       {L"CZKAbstractCharBuffer", L"CZKSyncObject", L"zk::ExternalException", L"zk::StackOverflowException",
        L"CZKComObject", L"zk::Class", L"zk::net::TcpSocket", L"zk::net::TcpServerSocket"}) {
    EXPECT_THROW(Class::forName(name)->newInstance(), zk::IllegalAccessException) << testing::PrintToString(name);
  }
  zk::util::MTCharBuffer locked;
  EXPECT_FALSE(Class::forName(L"CZKRWCharBuffer")->isInstance(&locked));
  EXPECT_TRUE(Class::forName(L"CZKMTCharBuffer")->isInstance(&locked));
}

TEST_F(ClassTableTest, TextFormsUseTheRegisteredName) {
  zk::Reference<zk::Object> object(static_cast<zk::Object*>(Class::forName(L"CZKObject")->newInstance()));
  EXPECT_EQ(textOf(object->toString()).rfind(L"CZKObject@", 0), 0u);
  EXPECT_EQ(textOf(zk::io::IoException().toString()).rfind(L"zk::io::IoException@", 0), 0u);
  EXPECT_EQ(textOf(zk::ResultException(zk::kFail).toString()).rfind(L"Object@", 0), 0u);
}

TEST_F(ClassTableTest, EveryRowOfTheCodecTableFindsConvertersOfItsCodec) {
  namespace cs = zk::text::charset;
  // The library's start-up has built the codec registry.
  for (const cs::CodecTableRow* row = cs::builtInCodecTable(); row->name != nullptr; ++row) {
    const wchar_t* canonical = row->canonicalName[0] != L'\0' ? row->canonicalName : row->name;
    const zk::Reference<cs::ByteToCharConverter> decoder = cs::ByteToCharConverter::getConverter(row->name);
    EXPECT_STREQ(decoder->getCharacterEncoding(), canonical);
    const zk::Reference<zk::ComObject> instance(Class::forName(row->encoderClassName)->newInstance());
    const auto* encoder = dynamic_cast<cs::CharToByteConverter*>(instance.get());
    ASSERT_NE(encoder, nullptr) << testing::PrintToString(row->name);
    EXPECT_STREQ(encoder->getCharacterEncoding(), canonical);
  }
}

// The stream and writer creators give objects ready for use; the standard
// streams are only asked what touches no stream.
TEST_F(ClassTableTest, StreamAndWriterCreatorsMakeWorkingObjects) {
  const struct {
    const wchar_t* name;
    std::wstring (*use)(zk::ComObject& object);
    const wchar_t* expected;
  } cases[] = {
      {L"CZKByteArrayOutputStream",
       [](zk::ComObject& object) {
         auto& stream = dynamic_cast<zk::io::ByteArrayOutputStream&>(object);
         stream.write("ok", 2);
         return textOf(stream.toString()) + L"/" + std::to_wstring(stream.getCapacity());
       },
       L"ok/256"},
      {L"CZKNullOutputStream",
       [](zk::ComObject& object) {
         dynamic_cast<zk::io::OutputStream&>(object).write("ok", 2);
         return std::wstring(L"ok");
       },
       L"ok"},
      {L"CZKStringWriter",
       [](zk::ComObject& object) {
         auto& writer = dynamic_cast<zk::io::Writer&>(object);
         writer.write(L"ok");
         return textOf(writer.toString());
       },
       L"ok"},
      {L"CZKNullWriter",
       [](zk::ComObject& object) {
         dynamic_cast<zk::io::Writer&>(object).write(L"ok");
         return std::wstring(L"ok");
       },
       L"ok"},
      {L"CZKStdioInputStream",
       [](zk::ComObject& object) {
         auto& stream = dynamic_cast<zk::io::InputStream&>(object);
         return std::to_wstring(stream.markSupported()) + std::to_wstring(stream.skip(0));
       },
       L"00"},
      {L"CZKStdioOutputStream",
       [](zk::ComObject& object) {
         dynamic_cast<zk::io::OutputStream&>(object).write("", 0);
         return std::wstring(L"ok");
       },
       L"ok"},
  };
  for (const auto& c : cases) {
    const zk::Reference<zk::ComObject> instance(Class::forName(c.name)->newInstance());
    EXPECT_EQ(c.use(*instance), c.expected) << testing::PrintToString(c.name);
  }
}

TEST_F(ClassTableTest, ARegistrySemaphoreStartsEmpty) {
  zk::Reference<zk::sync::Semaphore> semaphore(
      static_cast<zk::sync::Semaphore*>(Class::forName(L"CZKSemaphore")->newInstance()));
  EXPECT_FALSE(semaphore->tryAcquire());
  semaphore->release();
  EXPECT_TRUE(semaphore->tryAcquire());
}

}  // namespace
}  // namespace zk_test

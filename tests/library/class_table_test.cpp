#include "library/class_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/class_library_fixture.h"
#include "support/string_text.h"
#include "lang/exception.h"
#include "sync/locked_buffer.h"
#include "sync/rw_lock.h"
#include "sync/semaphore.h"

namespace zk_test {
namespace {

using zk::Class;

class ClassTableTest : public ClassLibraryTest {
 protected:
  void SetUp() override {
    ClassLibraryTest::SetUp();
    zk::registerBuiltInClasses();
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
}

TEST_F(ClassTableTest, EveryCreatorMakesAnInstanceOfItsOwnClass) {
  int created = 0;
  for (const zk::ClassTableRow* row = zk::builtInClassTable(); row->name != nullptr; ++row) {
    Class* record = Class::forName(row->name);
    if (row->type != nullptr) {
      EXPECT_EQ(Class::forType(*row->type), record) << testing::PrintToString(row->name);
    }
    if (row->creator == nullptr) continue;
    zk::Reference<zk::ComObject> instance(record->newInstance());
    auto* object = dynamic_cast<zk::Object*>(instance.get());
    ASSERT_NE(object, nullptr) << testing::PrintToString(row->name);
    EXPECT_TRUE(record->isInstance(object)) << testing::PrintToString(row->name);
    EXPECT_EQ(object->getClass(), record) << testing::PrintToString(row->name);
    ++created;
  }
  // Rows gain creators as their classes are built; none may lose one.
  EXPECT_GE(created, 37);
}

TEST_F(ClassTableTest, NamesDifferingFromTheClassAndRowsWithoutCreator) {
  EXPECT_STREQ(Class::forType(typeid(zk::sync::ReaderWriterLock))->getName(), L"CZKRWLock");
  EXPECT_STREQ(Class::forType(typeid(zk::sync::Object))->getName(), L"CZKSyncObject");
  EXPECT_STREQ(Class::forType(typeid(zk::IntErrorException))->getName(), L"zk::IntErrorException");
  for (const wchar_t* name : {L"CZKAbstractCharBuffer", L"CZKSyncObject", L"zk::ExternalException",
                              L"zk::StackOverflowException", L"CZKComObject", L"zk::Class"}) {
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

TEST_F(ClassTableTest, ARegistrySemaphoreStartsEmpty) {
  zk::Reference<zk::sync::Semaphore> semaphore(
      static_cast<zk::sync::Semaphore*>(Class::forName(L"CZKSemaphore")->newInstance()));
  EXPECT_FALSE(semaphore->tryAcquire());
  semaphore->release();
  EXPECT_TRUE(semaphore->tryAcquire());
}

}  // namespace
}  // namespace zk_test

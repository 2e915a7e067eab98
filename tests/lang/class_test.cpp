#include "lang/class.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "support/class_library_fixture.h"
#include "support/string_text.h"
#include "lang/exception.h"

// Every allocation of the process through operator new can be made to fail,
// so a test can break an operation between two of its allocations.
namespace {
std::atomic<int> g_allocationsBeforeFailure{-1};
}

void* operator new(std::size_t bytes) {
  if (g_allocationsBeforeFailure.load() >= 0 && g_allocationsBeforeFailure.fetch_sub(1) == 0) throw std::bad_alloc();
  if (void* memory = std::malloc(bytes != 0 ? bytes : 1)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace zk_test {
namespace {

using zk::Class;

class Base : public zk::Object {};
class Derived : public Base {};
class Unregistered : public zk::Object {};

zk::ComObject* makeDerived() { return new Derived(); }

class ClassTest : public ClassLibraryTest {
 protected:
  void SetUp() override {
    ClassLibraryTest::SetUp();
    static const zk::ClassTableRow table[] = {
        {L"Test.Base", &typeid(Base), &zk::createInstance<Base>},
        {L"Test.Derived", &typeid(Derived), nullptr},
        {L"Test.NameOnly", nullptr, nullptr},
        {nullptr, nullptr, nullptr},
    };
    zk::registerClasses(table);
  }
};

TEST_F(ClassTest, RecordsAreFoundByNameAndByType) {
  Class* base = Class::forName(L"Test.Base");
  EXPECT_STREQ(base->getName(), L"Test.Base");
  EXPECT_EQ(Class::forType(typeid(Base)), base);
  zk::Reference<Base> object = zk::makeReference<Base>();
  EXPECT_EQ(object->getClass(), base);
  EXPECT_STREQ(Class::forName(L"Test.NameOnly")->getName(), L"Test.NameOnly");
}

TEST_F(ClassTest, LookupMissesThrowClassNotFoundWithTheName) {
  const struct {
    const char* what;
    void (*lookup)();
    const wchar_t* message;
  } cases[] = {
      {"unknown name", [] { Class::forName(L"CZKNowhere"); }, L"CZKNowhere"},
      {"name differing in case", [] { Class::forName(L"test.base"); }, L"test.base"},
      {"prefix of a name", [] { Class::forName(L"Test.Bas"); }, L"Test.Bas"},
      {"unregistered type", [] { Class::forType(typeid(Unregistered)); },
       L"zk_test::(anonymous namespace)::Unregistered"},
  };
  for (const auto& c : cases) {
    try {
      c.lookup();
      ADD_FAILURE() << c.what << ": no exception";
    } catch (const zk::ClassNotFoundException& e) {
      EXPECT_EQ(textOf(e.getMessage()), c.message) << c.what;
    }
  }
}

TEST_F(ClassTest, NewInstanceUsesTheCreatorOrRefuses) {
  zk::Reference<zk::ComObject> made(Class::forName(L"Test.Base")->newInstance());
  ASSERT_TRUE(made);
  const zk::ComObject& object = *made;
  EXPECT_EQ(typeid(object), typeid(Base));
  EXPECT_EQ(made->AddRef(), 2u) << "a new instance starts at count 0";
  made->Release();
  EXPECT_THROW(Class::forName(L"Test.Derived")->newInstance(), zk::IllegalAccessException);
  EXPECT_THROW(Class::forName(L"Test.NameOnly")->newInstance(), zk::IllegalAccessException);
}

TEST_F(ClassTest, IsInstanceMatchesTheExactTypeOnly) {
  Base base;
  Derived derived;
  EXPECT_TRUE(Class::forName(L"Test.Base")->isInstance(&base));
  EXPECT_FALSE(Class::forName(L"Test.Base")->isInstance(&derived));
  EXPECT_TRUE(Class::forName(L"Test.Derived")->isInstance(&derived));
  EXPECT_FALSE(Class::forName(L"Test.Derived")->isInstance(&base));
  EXPECT_FALSE(Class::forName(L"Test.Derived")->isInstance(nullptr));
  EXPECT_FALSE(Class::forName(L"Test.NameOnly")->isInstance(&base));
}

TEST_F(ClassTest, TheFirstRegistrationOfANameOrTypeWins) {
  Class::registerClass(L"Test.Derived", &typeid(Derived), &makeDerived);
  EXPECT_THROW(Class::forName(L"Test.Derived")->newInstance(), zk::IllegalAccessException);
  Class::registerClass(L"Test.BaseAgain", &typeid(Base), nullptr);
  EXPECT_STREQ(Class::forType(typeid(Base))->getName(), L"Test.Base");
  EXPECT_STREQ(Class::forName(L"Test.BaseAgain")->getName(), L"Test.BaseAgain");
}

void* failingMalloc(std::size_t) { return nullptr; }

TEST_F(ClassTest, AFailedRegistrationLeavesNothingBehind) {
  // A registration allocates the record (library allocation), then the name
  // entry and the type entry (operator new). Fail each in turn.
  const struct {
    const char* what;
    bool failRecord;
    int newsBeforeFailure;
  } cases[] = {{"record", true, -1}, {"name entry", false, 0}, {"type entry", false, 1}};
  for (const auto& c : cases) {
    if (c.failRecord) ZKCoreSetMallocForTesting(&failingMalloc);
    g_allocationsBeforeFailure.store(c.newsBeforeFailure);
    bool failed = false;
    try {
      Class::registerClass(L"Test.Unregistered", &typeid(Unregistered), nullptr);
    } catch (const std::bad_alloc&) {
      failed = true;
    }
    g_allocationsBeforeFailure.store(-1);
    ZKCoreSetMallocForTesting(nullptr);
    EXPECT_TRUE(failed) << c.what;
    EXPECT_THROW(Class::forName(L"Test.Unregistered"), zk::ClassNotFoundException) << c.what;
    EXPECT_THROW(Class::forType(typeid(Unregistered)), zk::ClassNotFoundException) << c.what;
  }
  Class::registerClass(L"Test.Unregistered", &typeid(Unregistered), nullptr);
  EXPECT_EQ(Class::forType(typeid(Unregistered)), Class::forName(L"Test.Unregistered"));
}

TEST_F(ClassTest, ADestroyedRegistryComesBackEmpty) {
  zk::destroyClassRegistry();
  EXPECT_THROW(Class::forName(L"Test.Base"), zk::ClassNotFoundException);
  Class::registerClass(L"Test.Base", &typeid(Base), nullptr);
  EXPECT_THROW(Class::forName(L"Test.Base")->newInstance(), zk::IllegalAccessException);
}

TEST(ClassLibraryDownTest, LookupsMissAndTeardownSkipsWhatIsAbsent) {
  ASSERT_EQ(zk::globalLock(), nullptr);
  EXPECT_THROW(Class::forName(L"CZKObject"), zk::ClassNotFoundException);
  EXPECT_THROW(Class::forType(typeid(zk::Object)), zk::ClassNotFoundException);
  EXPECT_THROW(Class::registerClass(L"Test.Base", &typeid(Base), nullptr), zk::IllegalStateException);
  zk::destroyClassRegistry();
  zk::destroyGlobalLock();
  EXPECT_THROW(zk::createGlobalLock(), zk::ResultException) << "the core runtime is down";
}

}  // namespace
}  // namespace zk_test

#include "lang/object.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "lang/class.h"
#include "lang/exception.h"
#include "support/class_library_fixture.h"
#include "support/string_text.h"

namespace zk_test {
namespace {

using zk::makeReference;
using zk::Object;
using zk::Reference;

// Counts its own destruction, so a test can see exactly when an object dies.
class Probe : public Object {
 public:
  explicit Probe(int* destroyed) noexcept : m_destroyed(destroyed) {}
  ~Probe() override { ++*m_destroyed; }

 private:
  int* m_destroyed;
};

// Holds another object by reference and one by value, like a class with a
// counted field and an embedded one.
class Holder : public Object {
 public:
  Holder(Reference<Object> held, int* embeddedDestroyed) : m_held(std::move(held)), m_embedded(embeddedDestroyed) {}
  Probe& embedded() noexcept { return m_embedded; }

 private:
  Reference<Object> m_held;
  Probe m_embedded;
};

// A second interface, added the way string and buffer classes add theirs:
// an offset row, then a chain to Object's table.
const IID IID_ITestText = {0x5B0E64C1, 0x2F1A, 0x4C55, {0x9E, 0x31, 0x6A, 0x0D, 0x44, 0x7B, 0x11, 0x02}};
struct ITestText : IZKUnknown {
  virtual int STDMETHODCALLTYPE Marker() = 0;
};

class TextLike : public Object, public ITestText {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return queryThrough(interfaceTable(), iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Object::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return Object::Release(); }
  int STDMETHODCALLTYPE Marker() override { return 7; }

  static const zk::InterfaceEntry* interfaceTable() {
    static const zk::InterfaceEntry table[] = {
        zk::offsetEntry(IID_ITestText, zk::interfaceOffset<TextLike, ITestText>()),
        zk::chainEntry(Object::interfaceTable()),
        zk::endEntry(),
    };
    return table;
  }
};

// An object of a component that knows nothing of the library: it answers
// IUnknown only and notes what it was asked for.
class Foreign : public IZKUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    ++m_queries;
    *out = zk::isSameIid(iid, IID_IZKUnknown) ? this : nullptr;
    return *out != nullptr ? 0 : zk::kNoInterface;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  int queries() const noexcept { return m_queries; }

 private:
  int m_queries = 0;
};

class FixedHash : public Object {
 public:
  explicit FixedHash(std::uint32_t hash) noexcept : m_hash(hash) {}
  std::uint32_t hashCode() const override { return m_hash; }

 private:
  std::uint32_t m_hash;
};

std::uintptr_t addressOf(const Object& object) {
  return reinterpret_cast<std::uintptr_t>(static_cast<const zk::ComObject*>(&object));
}

TEST(ObjectTest, CountsFromZeroRaisesTheModuleOnceAndDiesOnTheLastRelease) {
  int destroyed = 0;
  zk::LiveObjectCounter module{0};
  Probe* probe = new Probe(&destroyed);
  probe->setModule(&module);
  EXPECT_EQ(probe->AddRef(), 1u);
  EXPECT_EQ(module.load(), 1);
  EXPECT_EQ(probe->AddRef(), 2u);
  EXPECT_EQ(module.load(), 1);
  EXPECT_EQ(probe->Release(), 1u);
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(module.load(), 1);
  EXPECT_EQ(probe->Release(), 0u);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(module.load(), 0);
}

TEST(ObjectTest, TheLastReleaseDeletesOnlyObjectsMadeByNew) {
  int stackDestroyed = 0;
  {
    Probe onStack(&stackDestroyed);
    onStack.AddRef();
    onStack.Release();
    EXPECT_EQ(stackDestroyed, 0);
  }
  EXPECT_EQ(stackDestroyed, 1);

  // The inner object is made while the outer one's memory waits for its
  // constructor: both are heap-made, the embedded member is not.
  int innerDestroyed = 0;
  int embeddedDestroyed = 0;
  {
    Reference<Holder> holder = makeReference<Holder>(makeReference<Probe>(&innerDestroyed), &embeddedDestroyed);
    holder->embedded().AddRef();
    holder->embedded().Release();
    EXPECT_EQ(embeddedDestroyed, 0);
  }
  EXPECT_EQ(innerDestroyed, 1);
  EXPECT_EQ(embeddedDestroyed, 1);

  try {
    throw zk::io::IoException(L"thrown");
  } catch (zk::Exception& e) {
    e.AddRef();
    e.Release();
    EXPECT_EQ(textOf(e.getMessage()), L"thrown");
  }

  // A copy is a new object of its own: count 0 and no inherited mark.
  int copyDestroyed = 0;
  Reference<Probe> original = zk::makeReference<Probe>(&copyDestroyed);
  {
    Probe copy(*original);
    copy.AddRef();
    copy.Release();
  }
  EXPECT_EQ(copyDestroyed, 1);
  original.reset();
  EXPECT_EQ(copyDestroyed, 2);
}

// Makes and drops count objects, each inside the new-expression of the
// next, so count + 1 allocations wait for their constructors at the deepest
// point.
Reference<Object> nestedHolders(int count, int* destroyed) {
  if (count == 0) return makeReference<Probe>(destroyed);
  return makeReference<Holder>(nestedHolders(count - 1, destroyed), destroyed);
}

TEST(ObjectTest, TheLastReleaseFreesHeapObjectsAtAnyNestingDepth) {
  for (int depth : {0, 1, 7, 8, 9, 16, 40}) {
    int destroyed = 0;
    { Reference<Object> outer = nestedHolders(depth, &destroyed); }
    // The innermost Probe, and the Probe embedded in every Holder, which
    // dies only with its Holder.
    EXPECT_EQ(destroyed, 1 + depth) << "depth " << depth;
  }
}

TEST(ObjectTest, QueryInterfaceWalksOffsetsAndChains) {
  Reference<TextLike> text = zk::makeReference<TextLike>();
  void* const start = static_cast<zk::ComObject*>(text.get());
  void* const comparable = static_cast<IZKComparable*>(text.get());
  void* const textPart = static_cast<ITestText*>(text.get());
  const IID kUnknownIid = {0x11111111, 0x2222, 0x3333, {4, 5, 6, 7, 8, 9, 10, 11}};
  struct Case {
    const IID* iid;
    void* expected;
    HRESULT result;
  };
  const Case cases[] = {
      {&IID_IZKUnknown, start, 0},
      {&IID_ITestText, textPart, 0},
      {&IID_IZKComparable, comparable, 0},
      {&IID_IZKByteBuffer, nullptr, zk::kNoInterface},
      {&kUnknownIid, nullptr, zk::kNoInterface},
  };
  for (const Case& c : cases) {
    void* out = &out;
    EXPECT_EQ(text->QueryInterface(*c.iid, &out), c.result);
    EXPECT_EQ(out, c.expected);
    if (out != nullptr) {
      EXPECT_EQ(text->Release(), 1u) << "a found interface carries one reference";
    }
  }
  EXPECT_EQ(static_cast<ITestText*>(textPart)->Marker(), 7);
  EXPECT_EQ(text->QueryInterface(IID_IZKComparable, nullptr), zk::kNullPointer);

  // A plain object answers through Object's own table.
  Reference<Object> plain = zk::makeReference<Object>();
  void* out = nullptr;
  ASSERT_EQ(plain->QueryInterface(IID_IZKComparable, &out), 0);
  EXPECT_EQ(out, static_cast<IZKComparable*>(plain.get()));
  static_cast<IZKComparable*>(out)->Release();
}

TEST(ObjectTest, DefaultsWorkOnIdentity) {
  Reference<Object> a = zk::makeReference<Object>();
  Reference<Object> b = zk::makeReference<Object>();
  const int expected = addressOf(*a) > addressOf(*b) ? 1 : -1;
  EXPECT_EQ(a->compareTo(*b), expected);
  EXPECT_EQ(b->compareTo(*a), -expected);
  EXPECT_EQ(a->compareTo(*a), 0);
  EXPECT_TRUE(a->equals(*a));
  EXPECT_FALSE(a->equals(*b));
  EXPECT_EQ(a->hashCode(), static_cast<std::uint32_t>(addressOf(*a)));

  Reference<Object> copy(a->clone());
  ASSERT_TRUE(copy);
  EXPECT_NE(copy.get(), a.get());
  const Object& copied = *copy;
  EXPECT_EQ(typeid(copied), typeid(Object));
  int destroyed = 0;
  Probe probe(&destroyed);
  EXPECT_THROW(probe.clone(), zk::CloneNotSupportedException);
}

TEST(ObjectTest, ComparableInterfaceTellsLibraryObjectsFromForeignOnes) {
  Reference<Object> a = zk::makeReference<Object>();
  Reference<Object> b = zk::makeReference<Object>();
  std::int32_t result = 99;
  ASSERT_EQ(a->CompareTo(static_cast<IZKComparable*>(b.get()), &result), 0);
  EXPECT_EQ(result, a->compareTo(*b));

  Foreign foreign;
  ASSERT_EQ(a->CompareTo(&foreign, &result), 0);
  EXPECT_EQ(result, addressOf(*a) > reinterpret_cast<std::uintptr_t>(&foreign) ? 1 : -1);
  EXPECT_EQ(foreign.queries(), 1) << "a foreign object is asked, never cast";
  ASSERT_EQ(a->CompareTo(nullptr, &result), 0);
  EXPECT_EQ(result, 1) << "null sorts first";

  std::uint32_t hash = 0;
  ASSERT_EQ(a->HashCode(&hash), 0);
  EXPECT_EQ(hash, a->hashCode());
  EXPECT_EQ(a->CompareTo(static_cast<zk::ComObject*>(b.get()), nullptr), zk::kNullPointer);
  EXPECT_EQ(a->HashCode(nullptr), zk::kNullPointer);
}

class ObjectTextTest : public ClassLibraryTest {};

TEST_F(ObjectTextTest, ToStringIsTheRegisteredNameAndTheHashInHexadecimal) {
  zk::Class::registerClass(L"CZKObject", &typeid(Object), &zk::createInstance<Object>);
  zk::Class::registerClass(L"Test.FixedHash", &typeid(FixedHash), nullptr);
  const struct {
    std::uint32_t hash;
    const wchar_t* digits;
  } cases[] = {{0, L"0"},
               {1, L"1"},
               {0xF, L"f"},
               {0x1000, L"1000"},
               {0xDEADBEEF, L"deadbeef"},
               {0x80000000u, L"80000000"},
               {0xFFFFFFFFu, L"ffffffff"}};
  for (const auto& c : cases) {
    EXPECT_EQ(textOf(FixedHash(c.hash).toString()), std::wstring(L"Test.FixedHash@") + c.digits);
  }
  Reference<Object> plain = zk::makeReference<Object>();
  EXPECT_EQ(textOf(plain->toString()).rfind(L"CZKObject@", 0), 0u)
      << "got " << testing::PrintToString(textOf(plain->toString()));
  int destroyed = 0;
  EXPECT_EQ(textOf(Probe(&destroyed).toString()).rfind(L"Object@", 0), 0u);
}

TEST(ObjectLibraryDownTest, ToStringFallsBackToObjectWhileTheLibraryIsDown) {
  EXPECT_EQ(textOf(FixedHash(0xAB).toString()), L"Object@ab");
}

}  // namespace
}  // namespace zk_test

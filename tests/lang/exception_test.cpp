#include "lang/exception.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <stdexcept>

#include "core/lifecycle.h"
#include "lang/result.h"
#include "support/string_text.h"

namespace zk_test {
namespace {

using zk::Exception;

TEST(ExceptionTest, EachExceptionStandsForItsCode) {
  namespace cs = zk::text::charset;
  const struct {
    std::function<HRESULT()> result;
    HRESULT expected;
  } cases[] = {
      {[] { return Exception().getResult(); }, zk::kFail},
      {[] { return zk::ResultException(static_cast<HRESULT>(0x80070002L)).getResult(); },
       static_cast<HRESULT>(0x80070002L)},
      {[] { return zk::OutOfMemoryException().getResult(); }, zk::kOutOfMemory},
      {[] { return cs::InvalidCharacterException().getResult(); }, static_cast<HRESULT>(0x8BB34101L)},
      {[] { return cs::UnmappableCharacterException().getResult(); }, static_cast<HRESULT>(0x8BB34102L)},
      {[] { return cs::UnknownEncodingException(L"x-none").getResult(); }, static_cast<HRESULT>(0x8BB34103L)},
      {[] { return zk::io::TimeoutException().getResult(); }, zk::kFail},
      {[] { return zk::IntOverflowException().getResult(); }, zk::kFail},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result(), c.expected);
}

TEST(ExceptionTest, CatchRelationsFollowTheTree) {
  try {
    throw zk::OutOfMemoryException();
  } catch (const std::bad_alloc& e) {
    EXPECT_STREQ(e.what(), "bad allocation");
  }
  EXPECT_THROW(throw zk::OutOfMemoryException(), Exception);
  EXPECT_THROW(throw zk::io::TimeoutException(), zk::io::IoException);
  EXPECT_THROW(throw zk::IntDivByZeroException(), zk::ExternalException);
  bool caughtAsIo = false;
  try {
    try {
      throw zk::io::UnexpectedEOFException();
    } catch (const zk::io::IoException&) {
      caughtAsIo = true;
    }
  } catch (const Exception&) {
  }
  EXPECT_FALSE(caughtAsIo);
}

TEST(ExceptionTest, CopiesKeepMessageAndCode) {
  const zk::ClassNotFoundException original(L"CZKNowhere");
  const zk::ClassNotFoundException copy(original);
  EXPECT_EQ(textOf(copy.getMessage()), L"CZKNowhere");
  EXPECT_EQ(copy.getMessage().getData(), original.getMessage().getData()) << "copies share the characters";
  EXPECT_EQ(textOf(Exception().getMessage()), L"");
  const zk::ResultException result(zk::kAccessDenied);
  EXPECT_EQ(zk::ResultException(result).getResult(), zk::kAccessDenied);
}

// An object whose comparison throws whatever the test gives it, so each kind
// of exception meets the boundary of a real interface operation.
class Thrower : public zk::Object {
 public:
  explicit Thrower(std::function<void()> raise) : m_raise(std::move(raise)) {}
  std::int32_t compareTo(const Object&) const override {
    m_raise();
    return 0;
  }

 private:
  std::function<void()> m_raise;
};

TEST(ExceptionTest, TheBoundaryMapsEachKindOfExceptionToItsCode) {
  const struct {
    const char* kind;
    std::function<void()> raise;
    HRESULT expected;
  } cases[] = {
      {"library exception", [] { throw zk::io::IoException(L"x"); }, zk::kFail},
      {"library code", [] { throw zk::text::charset::InvalidCharacterException(); }, zk::kInvalidCharacter},
      {"result exception", [] { throw zk::ResultException(zk::kAccessDenied); }, zk::kAccessDenied},
      {"out of memory", [] { throw zk::OutOfMemoryException(); }, zk::kOutOfMemory},
      {"std::bad_alloc", [] { throw std::bad_alloc(); }, zk::kOutOfMemory},
      {"core exception", [] { throw EZKCoreException{zk::kTimeout}; }, zk::kTimeout},
      {"int", [] { throw 42; }, zk::kFail},
      {"std::exception", [] { throw std::runtime_error("x"); }, zk::kFail},
      // A code that is no failure must not come out as success.
      {"result 0", [] { throw zk::ResultException(); }, zk::kFail},
      {"result 1", [] { throw zk::ResultException(1); }, zk::kFail},
      {"core 0", [] { throw EZKCoreException{0}; }, zk::kFail},
  };
  for (const auto& c : cases) {
    zk::Reference<Thrower> thrower = zk::makeReference<Thrower>(c.raise);
    zk::Reference<zk::Object> other = zk::makeReference<zk::Object>();
    std::int32_t result = 5;
    EXPECT_EQ(thrower->CompareTo(static_cast<zk::ComObject*>(other.get()), &result), c.expected) << c.kind;
    EXPECT_EQ(result, 0) << c.kind;
  }
}

TEST(ExceptionTest, FailingCodesAndSystemErrorsBecomeResultExceptions) {
  try {
    zk::throwIfFailed(zk::kAccessDenied);
    ADD_FAILURE() << "no exception";
  } catch (const zk::ResultException& e) {
    EXPECT_EQ(e.getResult(), zk::kAccessDenied);
    EXPECT_EQ(textOf(e.getMessage()), L"");
  }
  EXPECT_NO_THROW(zk::throwIfFailed(0));
  EXPECT_NO_THROW(zk::throwIfFailed(1));
  const struct {
    DWORD error;
    HRESULT expected;
  } cases[] = {{ERROR_ACCESS_DENIED, zk::kAccessDenied}, {ERROR_SUCCESS, zk::kFail}};
  for (const auto& c : cases) {
    ::SetLastError(c.error);
    EXPECT_EQ(zk::guard([]() -> HRESULT { zk::throwLastError(); }), c.expected) << c.error;
    ::SetLastError(c.error);
    EXPECT_THROW(zk::throwLastErrorIf(true), zk::ResultException) << c.error;
  }
  ::SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_NO_THROW(zk::throwLastErrorIf(false));
}

void* failingMalloc(std::size_t) { return nullptr; }

TEST(ExceptionTest, TheLibraryHandlerTurnsAllocationFailuresIntoOutOfMemoryExceptions) {
  ASSERT_EQ(ZKCoreInit(), 0);
  const ZKCoreNewHandler previous = ZKCoreSetNewHandler(&zk::throwOutOfMemoryException);
  ZKCoreSetMallocForTesting(&failingMalloc);
  EXPECT_THROW(new zk::Object(), zk::OutOfMemoryException);
  ZKCoreSetNewHandler(previous);
  bool libraryException = false;
  try {
    new zk::Object();
  } catch (const Exception&) {
    libraryException = true;
  } catch (const std::bad_alloc& e) {
    EXPECT_STREQ(e.what(), "bad allocation");
  }
  EXPECT_FALSE(libraryException);
  ZKCoreSetMallocForTesting(nullptr);
  ZKCoreUninit();
}

// Runs after every other static of the program has gone, the holder of the
// shared empty string included, when an empty message needs memory of its
// own. An allocation failure under the library's handler must then still end
// as an exception instead of recursing through the handler until the stack
// overflows. A failure ends the process with a non-zero code for CTest. Only
// GCC lets one object be built before (and so destroyed after) all others.
#if defined(__GNUC__)
class AfterExitCheck {
 public:
  AfterExitCheck() noexcept = default;
  AfterExitCheck(const AfterExitCheck&) = delete;
  AfterExitCheck& operator=(const AfterExitCheck&) = delete;
  ~AfterExitCheck() {
    if (const char* failure = run()) {
      std::fprintf(stderr, "after exit: %s\n", failure);
      std::_Exit(3);
    }
  }

 private:
  static const char* run() {
    if (ZKCoreInit() != 0) return "the core runtime does not start";
    ZKCoreSetMallocForTesting(&failingMalloc);
    bool emptyNeedsMemory = false;
    try {
      zk::String empty;
    } catch (const std::bad_alloc&) {
      emptyNeedsMemory = true;
    }
    ZKCoreSetMallocForTesting(nullptr);
    const ZKCoreNewHandler previous = ZKCoreSetNewHandler(&zk::throwOutOfMemoryException);
    ZKCoreSetMallocForTesting(&failingMalloc);
    const char* failure = nullptr;
    try {
      delete new zk::Object();
      failure = "an allocation succeeded without memory";
    } catch (const Exception&) {
      failure = "a library exception came where only std::bad_alloc can";
    } catch (const std::bad_alloc&) {
    }
    ZKCoreSetMallocForTesting(nullptr);
    ZKCoreSetNewHandler(previous);
    ZKCoreUninit();
    if (!emptyNeedsMemory) return "the shared empty string is still there: the check proves nothing";
    return failure;
  }
};
__attribute__((init_priority(101))) AfterExitCheck g_afterExitCheck;
#endif

}  // namespace
}  // namespace zk_test

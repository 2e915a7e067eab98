#include "core/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "core/result.h"
#include "support/registry_key.h"
#include "support/throwaway_prefix.h"

namespace {

using zk_test::ScratchRegistryKey;

constexpr wchar_t kClassesPath[] = L"Software\\Classes\\ZKTest.RegistryReader";
constexpr wchar_t kReadPath[] = L"ZKTest.RegistryReader";  // as seen below HKEY_CLASSES_ROOT

// Values live under HKLM\Software\Classes, which is what HKEY_CLASSES_ROOT
// shows under Wine, in the 64-bit view of this 64-bit process. Writing there
// is for the throwaway prefix only.
class RegistryReaderTest : public testing::Test {
 protected:
  void SetUp() override {
    ZK_REQUIRE_THROWAWAY_PREFIX();
    m_key = std::make_unique<ScratchRegistryKey>(HKEY_LOCAL_MACHINE, kClassesPath, KEY_WOW64_64KEY);
    ASSERT_TRUE(m_key->valid()) << "cannot create the scratch key";
    ::SetEnvironmentVariableW(L"ZKTEST_ROOT", L"C:\\zk root");
  }
  void TearDown() override { ::SetEnvironmentVariableW(L"ZKTEST_ROOT", nullptr); }

  // Reads value name as a string through selector 3 into a buffer of
  // capacity bytes; returns the result and fills text/type/size.
  HRESULT readString(const wchar_t* name, DWORD capacity, std::wstring* text, DWORD* type, DWORD* size) {
    std::vector<wchar_t> buffer(capacity / sizeof(wchar_t) + 8, L'#');
    *size = capacity;
    const HRESULT hr = ZKCoreRegQueryValue(ZKREG_CLASSES_ROOT_64, kReadPath, name, type, buffer.data(), size);
    // Nothing may be written beyond the capacity the reader was given.
    for (std::size_t i = (capacity + 1) / sizeof(wchar_t); i < buffer.size(); ++i) {
      EXPECT_EQ(buffer[i], L'#') << "overrun at character " << i;
    }
    if (hr >= 0) *text = buffer.data();
    return hr;
  }

  std::unique_ptr<ScratchRegistryKey> m_key;
};

TEST_F(RegistryReaderTest, ReadsAStringAsTypeZero) {
  ASSERT_EQ(m_key->setString(L"", L"Name", L"hello world"), ERROR_SUCCESS);
  std::wstring text;
  DWORD type = 99, size = 0;
  ASSERT_EQ(readString(L"Name", 64, &text, &type, &size), zkcore::kOk);
  EXPECT_EQ(text, L"hello world");
  EXPECT_EQ(type, ZKREG_TYPE_STRING);
  EXPECT_EQ(size, 12 * sizeof(wchar_t));
}

TEST_F(RegistryReaderTest, EmptyNameReadsTheDefaultValue) {
  ASSERT_EQ(m_key->setString(L"", L"", L"default text"), ERROR_SUCCESS);
  std::wstring text;
  DWORD type = 99, size = 0;
  ASSERT_EQ(readString(L"", 64, &text, &type, &size), zkcore::kOk);
  EXPECT_EQ(text, L"default text");
}

TEST_F(RegistryReaderTest, ExpandsEnvironmentVariablesOfAnExpandableString) {
  ASSERT_EQ(m_key->setString(L"", L"Path", L"%ZKTEST_ROOT%\\bin\\x.dll", REG_EXPAND_SZ), ERROR_SUCCESS);
  std::wstring text;
  DWORD type = 99, size = 0;
  ASSERT_EQ(readString(L"Path", 200, &text, &type, &size), zkcore::kOk);
  EXPECT_EQ(text, L"C:\\zk root\\bin\\x.dll");
  EXPECT_EQ(type, ZKREG_TYPE_STRING);
  EXPECT_EQ(size, (text.size() + 1) * sizeof(wchar_t));

  // Without a type place nothing is translated or expanded.
  wchar_t raw[100] = {};
  size = sizeof(raw);
  ASSERT_EQ(ZKCoreRegQueryValue(ZKREG_CLASSES_ROOT_64, kReadPath, L"Path", nullptr, raw, &size), zkcore::kOk);
  EXPECT_STREQ(raw, L"%ZKTEST_ROOT%\\bin\\x.dll");
}

TEST_F(RegistryReaderTest, ExpansionThatOutgrowsTheBufferFails) {
  // 15 characters stored, 31 after expansion.
  ASSERT_EQ(m_key->setString(L"", L"Path", L"%ZKTEST_ROOT%\\a", REG_EXPAND_SZ), ERROR_SUCCESS);
  ::SetEnvironmentVariableW(L"ZKTEST_ROOT", L"C:\\a much longer folder");
  std::wstring text;
  DWORD type = 0, size = 0;
  // Room for the stored text and its terminator, not for the expansion.
  EXPECT_EQ(readString(L"Path", 16 * sizeof(wchar_t), &text, &type, &size), zkcore::kFail);
  // Exactly enough room for the expansion and its terminator.
  const std::wstring expected = L"C:\\a much longer folder\\a";
  ASSERT_EQ(readString(L"Path", static_cast<DWORD>((expected.size() + 1) * sizeof(wchar_t)), &text, &type, &size),
            zkcore::kOk);
  EXPECT_EQ(text, expected);
}

TEST_F(RegistryReaderTest, TranslatesNumberBinaryAndListTypes) {
  ASSERT_EQ(m_key->setNumber(L"", L"Number", 0x12345678), ERROR_SUCCESS);
  const unsigned char blob[] = {1, 2, 3, 0, 5};
  ASSERT_EQ(m_key->setValue(L"", L"Binary", REG_BINARY, blob, sizeof(blob)), ERROR_SUCCESS);
  ASSERT_EQ(m_key->setValue(L"", L"None", REG_NONE, blob, 2), ERROR_SUCCESS);
  const wchar_t list[] = L"one\0two\0";
  ASSERT_EQ(m_key->setValue(L"", L"List", REG_MULTI_SZ, list, sizeof(list)), ERROR_SUCCESS);
  const unsigned long long wide = 0x1122334455667788ull;
  ASSERT_EQ(m_key->setValue(L"", L"Qword", REG_QWORD, &wide, sizeof(wide)), ERROR_SUCCESS);

  DWORD number = 0, type = 99, size = sizeof(number);
  ASSERT_EQ(ZKCoreRegQueryValue(ZKREG_CLASSES_ROOT_64, kReadPath, L"Number", &type, &number, &size), zkcore::kOk);
  EXPECT_EQ(number, 0x12345678u);
  EXPECT_EQ(type, ZKREG_TYPE_NUMBER);

  unsigned char bytes[16] = {};
  size = sizeof(bytes);
  ASSERT_EQ(ZKCoreRegQueryValue(ZKREG_CLASSES_ROOT_64, kReadPath, L"Binary", &type, bytes, &size), zkcore::kOk);
  EXPECT_EQ(type, ZKREG_TYPE_BINARY);
  ASSERT_EQ(size, sizeof(blob));
  EXPECT_EQ(std::memcmp(bytes, blob, sizeof(blob)), 0);

  size = sizeof(bytes);
  ASSERT_EQ(ZKCoreRegQueryValue(ZKREG_CLASSES_ROOT_64, kReadPath, L"None", &type, bytes, &size), zkcore::kOk);
  EXPECT_EQ(type, ZKREG_TYPE_BINARY);

  wchar_t strings[32] = {};
  size = sizeof(strings);
  ASSERT_EQ(ZKCoreRegQueryValue(ZKREG_CLASSES_ROOT_64, kReadPath, L"List", &type, strings, &size), zkcore::kOk);
  EXPECT_EQ(type, ZKREG_TYPE_STRING_LIST);
  EXPECT_EQ(size, sizeof(list));
  EXPECT_EQ(std::memcmp(strings, list, sizeof(list)), 0);

  // Types without a translation are reported as the system's own.
  size = sizeof(bytes);
  ASSERT_EQ(ZKCoreRegQueryValue(ZKREG_CLASSES_ROOT_64, kReadPath, L"Qword", &type, bytes, &size), zkcore::kOk);
  EXPECT_EQ(type, static_cast<DWORD>(REG_QWORD));
}

TEST_F(RegistryReaderTest, MissingKeyAndMissingValueGiveFileNotFound) {
  DWORD type = 0;
  wchar_t buffer[16];
  DWORD size = sizeof(buffer);
  EXPECT_EQ(ZKCoreRegQueryValue(ZKREG_CLASSES_ROOT_64, L"ZKTest.RegistryReader\\NoSuchKey", L"", &type, buffer, &size),
            zkcore::kFileNotFound);
  size = sizeof(buffer);
  EXPECT_EQ(ZKCoreRegQueryValue(ZKREG_CLASSES_ROOT_64, kReadPath, L"NoSuchValue", &type, buffer, &size),
            zkcore::kFileNotFound);
}

TEST_F(RegistryReaderTest, ValueBiggerThanTheBufferFailsAndReportsItsSize) {
  ASSERT_EQ(m_key->setString(L"", L"Name", L"0123456789"), ERROR_SUCCESS);
  std::wstring text;
  DWORD type = 0, size = 0;
  EXPECT_EQ(readString(L"Name", 10 * sizeof(wchar_t), &text, &type, &size), zkcore::kFail);
  EXPECT_EQ(size, 11 * sizeof(wchar_t));

  // A size query (no buffer) succeeds with the stored size.
  size = 0;
  EXPECT_EQ(ZKCoreRegQueryValue(ZKREG_CLASSES_ROOT_64, kReadPath, L"Name", &type, nullptr, &size), zkcore::kOk);
  EXPECT_EQ(size, 11 * sizeof(wchar_t));
  EXPECT_EQ(type, ZKREG_TYPE_STRING);
}

TEST_F(RegistryReaderTest, StringWithoutTerminatorIsTerminatedOrRefused) {
  // Stored without a terminator, and once with an odd byte count.
  const wchar_t raw[] = L"abcd";
  ASSERT_EQ(m_key->setValue(L"", L"Bare", REG_SZ, raw, 4 * sizeof(wchar_t)), ERROR_SUCCESS);
  ASSERT_EQ(m_key->setValue(L"", L"Odd", REG_SZ, raw, 4 * sizeof(wchar_t) + 1), ERROR_SUCCESS);
  ASSERT_EQ(m_key->setValue(L"", L"BareExpand", REG_EXPAND_SZ, raw, 4 * sizeof(wchar_t)), ERROR_SUCCESS);
  ASSERT_EQ(m_key->setValue(L"", L"BareList", REG_MULTI_SZ, raw, 4 * sizeof(wchar_t)), ERROR_SUCCESS);

  std::wstring text;
  DWORD type = 0, size = 0;
  ASSERT_EQ(readString(L"Bare", 5 * sizeof(wchar_t), &text, &type, &size), zkcore::kOk);
  EXPECT_EQ(text, L"abcd");
  EXPECT_EQ(size, 5 * sizeof(wchar_t));
  // The value fits exactly but its terminator would not.
  EXPECT_EQ(readString(L"Bare", 4 * sizeof(wchar_t), &text, &type, &size), zkcore::kFail);

  ASSERT_EQ(readString(L"Odd", 6 * sizeof(wchar_t), &text, &type, &size), zkcore::kOk);
  EXPECT_EQ(text, L"abcd");
  // Nine bytes fit the value but leave no whole character for the
  // terminator.
  EXPECT_EQ(readString(L"Odd", 9, &text, &type, &size), zkcore::kFail);

  ASSERT_EQ(readString(L"BareExpand", 5 * sizeof(wchar_t), &text, &type, &size), zkcore::kOk);
  EXPECT_EQ(text, L"abcd");

  wchar_t list[8];
  std::wmemset(list, L'#', 8);
  size = 6 * sizeof(wchar_t);
  ASSERT_EQ(ZKCoreRegQueryValue(ZKREG_CLASSES_ROOT_64, kReadPath, L"BareList", &type, list, &size), zkcore::kOk);
  EXPECT_EQ(size, 6 * sizeof(wchar_t));
  EXPECT_EQ(std::memcmp(list, L"abcd\0\0", 6 * sizeof(wchar_t)), 0);
  EXPECT_EQ(list[6], L'#');
  size = 5 * sizeof(wchar_t);
  EXPECT_EQ(ZKCoreRegQueryValue(ZKREG_CLASSES_ROOT_64, kReadPath, L"BareList", &type, list, &size), zkcore::kFail);
}

TEST_F(RegistryReaderTest, SelectorsPickTheirRootAndView) {
  ASSERT_EQ(m_key->setString(L"", L"Name", L"classes"), ERROR_SUCCESS);
  const std::wstring machinePath = kClassesPath;

  // Selector 4 reaches the same key through HKEY_LOCAL_MACHINE.
  wchar_t buffer[32] = {};
  DWORD type = 0, size = sizeof(buffer);
  ASSERT_EQ(ZKCoreRegQueryValue(ZKREG_LOCAL_MACHINE_64, machinePath.c_str(), L"Name", &type, buffer, &size),
            zkcore::kOk);
  EXPECT_STREQ(buffer, L"classes");

  // A key written into the 32-bit view is seen by selector 1 and not by
  // selector 4.
  ScratchRegistryKey key32(HKEY_LOCAL_MACHINE, L"Software\\ZKTest.RegistryView", KEY_WOW64_32KEY);
  ASSERT_TRUE(key32.valid());
  ASSERT_EQ(key32.setString(L"", L"Name", L"thirty-two"), ERROR_SUCCESS);
  size = sizeof(buffer);
  ASSERT_EQ(
      ZKCoreRegQueryValue(ZKREG_LOCAL_MACHINE_32, L"Software\\ZKTest.RegistryView", L"Name", &type, buffer, &size),
      zkcore::kOk);
  EXPECT_STREQ(buffer, L"thirty-two");
  size = sizeof(buffer);
  EXPECT_EQ(
      ZKCoreRegQueryValue(ZKREG_LOCAL_MACHINE_64, L"Software\\ZKTest.RegistryView", L"Name", &type, buffer, &size),
      zkcore::kFileNotFound);

  // Selector 2 is the current user's hive.
  ScratchRegistryKey user(HKEY_CURRENT_USER, L"Software\\ZKTest.RegistryUser");
  ASSERT_TRUE(user.valid());
  ASSERT_EQ(user.setNumber(L"", L"Number", 7), ERROR_SUCCESS);
  DWORD number = 0;
  size = sizeof(number);
  ASSERT_EQ(ZKCoreRegQueryValue(ZKREG_CURRENT_USER, L"Software\\ZKTest.RegistryUser", L"Number", &type, &number, &size),
            zkcore::kOk);
  EXPECT_EQ(number, 7u);

  // Any other selector opens nothing.
  for (int selector : {-1, 5, 100}) {
    size = sizeof(buffer);
    EXPECT_EQ(ZKCoreRegQueryValue(selector, kReadPath, L"Name", &type, buffer, &size),
              static_cast<HRESULT>(0x80070006L))
        << selector;
  }
}

TEST(RegistryReader, RejectsMissingArguments) {
  DWORD size = 4;
  DWORD data = 0;
  EXPECT_EQ(ZKCoreRegQueryValue(ZKREG_CLASSES_ROOT_64, nullptr, L"", nullptr, &data, &size), zkcore::kInvalidArgument);
  EXPECT_EQ(ZKCoreRegQueryValue(ZKREG_CLASSES_ROOT_64, L"CLSID", L"", nullptr, &data, nullptr),
            zkcore::kInvalidArgument);
}

}  // namespace

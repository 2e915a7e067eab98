#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <utility>
#include <vector>
#include <string>

#include "charcodec/install_place.h"
#include "core/component.h"
#include "core/result.h"
#include "support/charset_support.h"
#include "support/child_process.h"
#include "support/codec_registrations.h"
#include "support/registry_key.h"
#include "support/throwaway_prefix.h"
#include "text/charset/code_pages.h"
#include "text/charset/codec_component.h"

namespace zk_test {
namespace {

using cs::ByteToCharConverter;

#if defined(_WIN64)
constexpr wchar_t kCodecDll[] = L"provsweep_codec64.dll";
#else
constexpr wchar_t kCodecDll[] = L"provsweep_codec32.dll";
#endif

using ServerFunction = HRESULT(STDAPICALLTYPE*)();

Bytes encoded(std::uint32_t codePage, const std::wstring& text) {
  const int size = static_cast<int>(text.size());
  const int length = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), size, &bytes[0], length, nullptr, nullptr);
  return asBytes(bytes);
}

std::wstring systemDecoded(std::uint32_t codePage, const Bytes& bytes) {
  const auto* narrow = reinterpret_cast<const char*>(bytes.data());
  const int size = static_cast<int>(bytes.size());
  std::wstring text(static_cast<std::size_t>(MultiByteToWideChar(codePage, 0, narrow, size, nullptr, 0)), L'\0');
  MultiByteToWideChar(codePage, 0, narrow, size, &text[0], static_cast<int>(text.size()));
  return text;
}

std::wstring modulePathOf(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  return std::wstring(path, length < MAX_PATH ? length : 0);
}

std::wstring folderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

// Owner and access list: administrators and SYSTEM may change it, users
// may read and run it.
constexpr wchar_t kAdminsOnly[] = L"O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

// Stand-ins for the access lists of files and folders, which Wine does not
// keep (charcodec/install_place.h); removed with the object.
class AccessLists {
 public:
  AccessLists() : m_key(HKEY_LOCAL_MACHINE, charcodec::kWineAccessListKey) {}
  bool set(const std::wstring& path, const std::wstring& sddl) {
    return m_key.valid() && m_key.setString(L"", path, sddl) == ERROR_SUCCESS;
  }
  // The loaded DLL's file and its folder.
  bool setModule(HMODULE module, const std::wstring& folderSddl, const std::wstring& fileSddl) {
    const std::wstring path = modulePathOf(module);
    return !path.empty() && set(folderOf(path), folderSddl) && set(path, fileSddl);
  }

 private:
  ScratchRegistryKey m_key;
};

// A copy of the shipped DLL in a folder of its own under the temporary
// folder, loaded; unloaded and deleted with the object.
class CodecCopy {
 public:
  CodecCopy() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    m_folder = temp + std::wstring(L"zkcodec-") + std::to_wstring(GetCurrentProcessId());
    m_path = m_folder + L"\\" + kCodecDll;
    if (CreateDirectoryW(m_folder.c_str(), nullptr) &&
        CopyFileW((testFolder() + kCodecDll).c_str(), m_path.c_str(), TRUE)) {
      m_dll = LoadLibraryW(m_path.c_str());
    }
  }
  ~CodecCopy() {
    if (m_dll != nullptr) FreeLibrary(m_dll);
    DeleteFileW(m_path.c_str());
    RemoveDirectoryW(m_folder.c_str());
  }
  CodecCopy(const CodecCopy&) = delete;
  CodecCopy& operator=(const CodecCopy&) = delete;

  HMODULE module() const { return m_dll; }
  HRESULT call(const char* name) const {
    return reinterpret_cast<ServerFunction>(reinterpret_cast<void (*)()>(GetProcAddress(m_dll, name)))();
  }

 private:
  std::wstring m_folder;
  std::wstring m_path;
  HMODULE m_dll = nullptr;
};

GUID classIdOfName(const std::wstring& name) {
  CLSID clsid = {};
  const HRESULT found = ZKCoreCLSIDFromProgID((kCharCodecProgIdPrefix + name).c_str(), &clsid);
  return found == S_OK ? clsid : GUID_NULL;
}

// How many of the table's canonical names and aliases have a program id.
int registeredNames() {
  int names = 0;
  for (const auto* row = cs::codePageTable(); row->name != nullptr; ++row) {
    names += IsEqualGUID(classIdOfName(row->name), GUID_NULL) ? 0 : 1;
  }
  for (const auto* row = cs::codePageAliasTable(); row->alias != nullptr; ++row) {
    names += IsEqualGUID(classIdOfName(row->alias), GUID_NULL) ? 0 : 1;
  }
  return names;
}

// The default value of HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32, or
// "(none)" when the key is not there.
std::wstring serverOf(const GUID& clsid) {
  wchar_t text[40] = {};
  StringFromGUID2(clsid, text, 40);
  wchar_t path[MAX_PATH] = {};
  DWORD bytes = sizeof(path);
  const std::wstring key = L"CLSID\\" + std::wstring(text) + L"\\InprocServer32";
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), L"", RRF_RT_REG_SZ, nullptr, path, &bytes) != ERROR_SUCCESS) {
    return L"(none)";
  }
  return path;
}

// The shipped codec DLL, registered by its own DllRegisterServer for each
// test and unregistered after it, with the codec library up.
class CodePageCodecTest : public CodecLibraryTest {
 protected:
  void SetUp() override {
    ZK_REQUIRE_THROWAWAY_PREFIX();
    removeCodecComponentRegistrations();
    m_dll = LoadLibraryW((testFolder() + kCodecDll).c_str());
    ASSERT_NE(m_dll, nullptr);
    m_lists.reset(new AccessLists());
    ASSERT_TRUE(m_lists->setModule(m_dll, kAdminsOnly, kAdminsOnly));
    ASSERT_EQ(server("DllRegisterServer")(), S_OK);
    CodecLibraryTest::SetUp();
    m_up = true;
  }
  void TearDown() override {
    if (m_up) CodecLibraryTest::TearDown();
    if (m_dll != nullptr) {
      EXPECT_EQ(server("DllUnregisterServer")(), S_OK);
      FreeLibrary(m_dll);
    }
    // Last: the library may have loaded the copy until it went down.
    m_copy.reset();
  }

  // A copy of the DLL for this test, kept until the library is down.
  const CodecCopy& copy() {
    if (!m_copy) m_copy.reset(new CodecCopy());
    return *m_copy;
  }

  ServerFunction server(const char* name) const {
    return reinterpret_cast<ServerFunction>(reinterpret_cast<void (*)()>(GetProcAddress(m_dll, name)));
  }

  HMODULE m_dll = nullptr;
  std::unique_ptr<AccessLists> m_lists;
  std::unique_ptr<CodecCopy> m_copy;
  bool m_up = false;
};

TEST_F(CodePageCodecTest, DecodesAsTheSystemDoesWhereverTheInputIsCut) {
  const struct {
    const wchar_t* name;
    std::uint32_t codePage;
    const wchar_t* canonical;
    std::wstring text;
  } cases[] = {
      {L"WINDOWS-31J", 932, L"CP932", L"日本語のテキスト ｶﾀｶﾅ abc"},
      {L"CP932", 932, L"CP932", L"表示～①"},
      {L"EUC-JP", 20932, L"EUCJP", L"日本語のテキスト ｶﾀｶﾅ abc"},
      {L"GB2312", 936, L"CP936", L"简体中文文本 abc"},
      {L"BIG5", 950, L"CP950", L"繁體中文文本 abc"},
      {L"KS_C_5601-1987", 949, L"CP949", L"한국어 텍스트 abc"},
      {L"CP1251", 1251, L"CP1251", L"Привет, мир"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.name));
    const Bytes bytes = encoded(c.codePage, c.text);
    const std::wstring expected = systemDecoded(c.codePage, bytes);
    ASSERT_EQ(expected, c.text);
    const auto end = static_cast<std::int32_t>(bytes.size());
    // Every cut, many in the middle of a character: the first call leaves
    // the cut character for the second.
    for (std::int32_t cut = 0; cut <= end; ++cut) {
      const Decoder decoder = ByteToCharConverter::getConverter(c.name);
      ASSERT_STREQ(decoder->getCharacterEncoding(), c.canonical);
      std::wstring out(expected.size() + 1, L'\0');
      std::int32_t inPos = 0;
      std::int32_t outPos = 0;
      const auto room = static_cast<std::int32_t>(out.size());
      decoder->convert(bytes.data(), inPos, cut, &out[0], outPos, room);
      EXPECT_LE(inPos, cut);
      decoder->convert(bytes.data(), inPos, end, &out[0], outPos, room);
      EXPECT_EQ(inPos, end) << "cut at " << cut;
      EXPECT_EQ(out.substr(0, static_cast<std::size_t>(outPos)), expected) << "cut at " << cut;
    }
  }
}

TEST_F(CodePageCodecTest, BadBytesBecomeOneSubstitutionEach) {
  const std::wstring fffd(1, L'\xFFFD');
  const struct {
    const wchar_t* name;
    const char* bytes;
    std::wstring units;
  } cases[] = {
      // A lead byte before a byte that cannot follow it is a bad character
      // of one byte; an unmapped pair is one bad character of two.
      {L"CP932", "82 20 42", fffd + L" B"},
      {L"CP932", "82 41 42", fffd + L"B"},
      {L"EUCJP", "A4 41", fffd + L"A"},
      // JIS X 0212 (0x8F and two bytes) without a mapping: one bad
      // character of three bytes.
      {L"EUCJP", "8F A2 A1 41", fffd + L"A"},
      // Undefined in the code page.
      {L"CP1253", "41 AA 42", L"A" + fffd + L"B"},
      {L"CP932", "41 A0", L"A" + fffd},
  };
  for (const auto& c : cases) {
    const Decoder decoder = ByteToCharConverter::getConverter(c.name);
    EXPECT_EQ(decodeAllOf(*decoder, hexBytes(c.bytes)).units, c.units) << c.bytes;
  }
}

TEST_F(CodePageCodecTest, EachPageTakesOnlyItsOwnTrailBytes) {
  const std::wstring fffd(1, L'\xFFFD');
  const struct {
    const wchar_t* name;
    std::vector<std::pair<const char*, std::wstring>> rows;
  } pages[] = {
      {L"CP932",
       {{"81 40 41", L"\u3000A"},
        {"88 9F 80", L"\u4E9C\u0080"},
        {"81 7F 41", fffd + L"\u007FA"},
        {"81 FD 41", fffd + fffd + L"A"},
        {"9F 3F", fffd + L"?"}}},
      {L"CP936",
       {{"81 40", L"\u4E02"},
        {"B0 A1 41", L"\u554AA"},
        {"81 7F 41", fffd + L"\u007FA"},
        {"81 FF 41", fffd + fffd + L"A"},
        {"FE 3F", fffd + L"?"}}},
      {L"CP949",
       {{"B0 A1", L"\uAC00"},
        {"81 41", L"\uAC02"},
        {"C6 41", L"\uD78D"},
        {"C6 5B 41", fffd + L"[A"},
        {"B0 5B 41", fffd + L"[A"},
        {"B0 7B 41", fffd + L"{A"},
        {"81 80 41", fffd + L"\u0080A"},
        {"C7 41 42", fffd + L"AB"},
        {"FE 61", fffd + L"a"}}},
      {L"CP950",
       {{"A4 40", L"\u4E00"},
        {"A4 80 41", fffd + L"\u0080A"},
        {"A4 7F 41", fffd + L"\u007FA"},
        {"F9 3F", fffd + L"?"}}},
      // JIS X 0212 through the system's two-byte form of it.
      {L"EUCJP",
       {{"8F B0 A1", L"\u4E02"},
        {"8F A2 AF 41", L"\u02D8A"},
        {"8F A2 2F", fffd + fffd + L"/"},
        {"8F 41", fffd + L"A"},
        {"8E B1 8E E0 41", L"\uFF71" + fffd + fffd + L"A"}}},
  };
  for (const auto& page : pages) {
    SCOPED_TRACE(testing::PrintToString(page.name));
    const Decoder decoder = ByteToCharConverter::getConverter(page.name);
    for (const auto& row : page.rows) {
      EXPECT_EQ(decodeAllOf(*decoder, hexBytes(row.first)).units, row.second) << row.first;
    }
  }
  // After every lead byte of each page, a byte that cannot follow it is a
  // character of its own.
  const struct {
    std::uint32_t codePage;
    const wchar_t* name;
    std::string ascii;
  } never[] = {{932, L"CP932", " ?\x7F"},
               {936, L"CP936", " ?\x7F"},
               {949, L"CP949", " ?@[\\]^_`{|}~\x7F"},
               {950, L"CP950", " ?\x7F"}};
  for (const auto& page : never) {
    const Decoder decoder = ByteToCharConverter::getConverter(page.name);
    int leads = 0;
    for (int lead = 0x80; lead <= 0xFF; ++lead) {
      if (!IsDBCSLeadByteEx(page.codePage, static_cast<BYTE>(lead))) continue;
      ++leads;
      for (const char next : page.ascii) {
        const Bytes bytes = {static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(next), 0x41};
        EXPECT_EQ(decodeAllOf(*decoder, bytes).units, fffd + static_cast<wchar_t>(next) + L"A")
            << page.codePage << " lead " << lead << " then " << static_cast<int>(next);
      }
    }
    EXPECT_GE(leads, 60) << page.codePage;
  }
}

TEST_F(CodePageCodecTest, TheDefaultDecoderIsTheComponentForTheAnsiCodePage) {
  if (GetACP() != 932) GTEST_SKIP() << "the test runner sets the ANSI code page 932";
  EXPECT_STREQ(ByteToCharConverter::getDefaultConverter()->getCharacterEncoding(), L"CP932");
  EXPECT_EQ(decodeAllOf(*ByteToCharConverter::getDefaultConverter(), encoded(932, L"設定")).units, L"設定");
}

// A decoder released after the library went down still runs code of the
// DLL: the library leaves the DLL mapped while the DLL says objects live.
TEST_F(CodePageCodecTest, ADecoderOutlivingTheLibraryKeepsItsDllMapped) {
  // The library's load is the only one left, as in a program that never
  // loads the DLL itself.
  FreeLibrary(m_dll);
  m_dll = nullptr;
  const auto canUnloadNow = [] {
    const FARPROC answer = GetProcAddress(GetModuleHandleW(kCodecDll), "DllCanUnloadNow");
    return answer != nullptr ? reinterpret_cast<ServerFunction>(reinterpret_cast<void (*)()>(answer))() : E_HANDLE;
  };
  {
    Decoder decoder = ByteToCharConverter::getConverter(L"CP932");
    m_up = false;
    CodecLibraryTest::TearDown();
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    EXPECT_EQ(decodeAllOf(*decoder, encoded(932, L"設定")).units, L"設定");
  }
  // The DLL counted the decoder, and nothing else of it is left alive.
  EXPECT_EQ(canUnloadNow(), S_OK);
  m_dll = LoadLibraryW((testFolder() + kCodecDll).c_str());
}

TEST_F(CodePageCodecTest, RegistrationCoversEveryNameAndUnregistrationRemovesIt) {
  const auto classIdOf = [](const wchar_t* name) {
    CLSID clsid = {};
    const HRESULT found = ZKCoreCLSIDFromProgID((kCharCodecProgIdPrefix + std::wstring(name)).c_str(), &clsid);
    return found == S_OK ? clsid : GUID_NULL;
  };
  // One class per code page, and each alias names its code page's class.
  std::set<std::wstring> classes;
  int names = 0;
  for (const auto* row = cs::codePageTable(); row->name != nullptr; ++row, ++names) {
    const GUID clsid = classIdOf(row->name);
    EXPECT_FALSE(IsEqualGUID(clsid, GUID_NULL)) << row->codePage;
    classes.insert(std::wstring(reinterpret_cast<const wchar_t*>(&clsid), sizeof(clsid) / sizeof(wchar_t)));
  }
  EXPECT_EQ(classes.size(), 23u);
  for (const auto* row = cs::codePageAliasTable(); row->alias != nullptr; ++row, ++names) {
    EXPECT_TRUE(IsEqualGUID(classIdOf(row->alias), classIdOf(row->canonicalName))) << row->alias;
  }
  EXPECT_EQ(names, 23 + 15);
  // Registering twice changes nothing; one unregistration removes it all.
  EXPECT_EQ(server("DllRegisterServer")(), S_OK);
  EXPECT_EQ(server("DllUnregisterServer")(), S_OK);
  for (const auto* row = cs::codePageTable(); row->name != nullptr; ++row) {
    EXPECT_TRUE(IsEqualGUID(classIdOf(row->name), GUID_NULL)) << row->codePage;
  }
  EXPECT_EQ(server("DllCanUnloadNow")(), S_OK);
}

TEST_F(CodePageCodecTest, UnregisteringOneCopyLeavesTheNamesAnotherCopyServes) {
  const CodecCopy& copy = this->copy();
  ASSERT_NE(copy.module(), nullptr);
  ASSERT_TRUE(m_lists->setModule(copy.module(), kAdminsOnly, kAdminsOnly));
  const GUID clsid = classIdOfName(L"CP949");
  ASSERT_EQ(_wcsicmp(serverOf(clsid).c_str(), modulePathOf(m_dll).c_str()), 0);
  ASSERT_EQ(copy.call("DllRegisterServer"), S_OK);
  EXPECT_EQ(server("DllUnregisterServer")(), S_OK);
  EXPECT_EQ(registeredNames(), 23 + 15);
  EXPECT_EQ(_wcsicmp(serverOf(clsid).c_str(), modulePathOf(copy.module()).c_str()), 0);
  EXPECT_EQ(decodeAllOf(*ByteToCharConverter::getConverter(L"KS_C_5601-1987"), hexBytes("B0 A1 41")).units, L"\uAC00A");
  // The copy that serves them takes them with it.
  EXPECT_EQ(copy.call("DllUnregisterServer"), S_OK);
  EXPECT_EQ(registeredNames(), 0);
  EXPECT_EQ(serverOf(clsid), L"(none)");
}

TEST_F(CodePageCodecTest, RegistersOnlyFromAPlaceOnlyAdministratorsCanChange) {
  const GUID clsid = classIdOfName(L"CP932");
  ASSERT_EQ(server("DllUnregisterServer")(), S_OK);
  const CodecCopy& copy = this->copy();
  ASSERT_NE(copy.module(), nullptr);
  const std::wstring admins = kAdminsOnly;
  const std::wstring trustedInstaller = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
  const struct {
    std::wstring folder;
    std::wstring file;
    HRESULT result;
  } cases[] = {
      {admins, admins, S_OK},
      // Owned by TrustedInstaller, as %ProgramFiles% is; entries for the
      // owner and entries only new children inherit.
      {L"O:" + trustedInstaller + L"D:PAI(A;;FA;;;" + trustedInstaller +
           L")(A;OICIIO;GA;;;CO)(A;OICIIO;FA;;;BU)(A;;0x1200a9;;;BU)(A;;FA;;;SY)",
       L"O:BAD:(A;;FA;;;BA)(A;;FA;;;OW)(D;;FA;;;BU)(A;;0x1200a9;;;WD)", S_OK},
      {admins + L"(A;OICI;0x1301bf;;;BU)", admins, E_ACCESSDENIED},
      {admins + L"(A;;0x2;;;BU)", admins, E_ACCESSDENIED},
      {admins + L"(A;;0x40;;;AU)", admins, E_ACCESSDENIED},
      {admins, admins + L"(A;;SD;;;WD)", E_ACCESSDENIED},
      {admins, admins + L"(A;;WD;;;AU)", E_ACCESSDENIED},
      {admins, admins + L"(A;;GW;;;BU)", E_ACCESSDENIED},
      {admins, L"O:BUD:PAI(A;;FA;;;BA)(A;;FA;;;SY)", E_ACCESSDENIED},
      // No access list at all.
      {L"O:BA", admins, E_ACCESSDENIED},
      {L"", admins, E_ACCESSDENIED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.folder) + " / " + testing::PrintToString(c.file));
    AccessLists lists;
    const std::wstring path = modulePathOf(copy.module());
    ASSERT_TRUE(lists.set(path, c.file));
    // No stand-in for the folder: nothing says who may change it.
    if (!c.folder.empty()) {
      ASSERT_TRUE(lists.set(folderOf(path), c.folder));
    }
    EXPECT_EQ(copy.call("DllRegisterServer"), c.result);
    if (c.result == S_OK) {
      EXPECT_EQ(registeredNames(), 23 + 15);
      EXPECT_EQ(copy.call("DllUnregisterServer"), S_OK);
    } else {
      EXPECT_EQ(registeredNames(), 0);
      EXPECT_EQ(serverOf(clsid), L"(none)");
    }
  }
}

}  // namespace
}  // namespace zk_test

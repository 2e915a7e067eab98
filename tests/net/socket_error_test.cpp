#include "net/socket_error.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace zk_test {
namespace {

constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005L);

HRESULT socketCode(std::uint32_t error) { return static_cast<HRESULT>(0x8BE30000u + error); }

// Every row of the text table: the error number and the short name its text
// starts with, in order of number.
struct Row {
  std::uint32_t error;
  std::wstring name;
};
std::vector<Row> tableRows() {
  std::wistringstream text(
      L"2008 EAI_MEMORY 10004 EINTR 10009 EBADF 10013 EACCES 10014 EFAULT 10022 EINVAL 10024 EMFILE "
      L"10035 EWOULDBLOCK 10036 EINPROGRESS 10037 EALREADY 10038 ENOTSOCK 10039 EDESTADDRREQ 10040 EMSGSIZE "
      L"10041 EPROTOTYPE 10042 ENOPROTOOPT 10043 EPROTONOSUPPORT 10044 ESOCKTNOSUPPORT 10045 EOPNOTSUPP "
      L"10046 EPFNOSUPPORT 10047 EAFNOSUPPORT 10048 EADDRINUSE 10049 EADDRNOTAVAIL 10050 ENETDOWN "
      L"10051 ENETUNREACH 10052 ENETRESET 10053 ECONNABORTED 10054 ECONNRESET 10055 ENOBUFS 10056 EISCONN "
      L"10057 ENOTCONN 10058 ESHUTDOWN 10059 ETOOMANYREFS 10060 ETIMEDOUT 10061 ECONNREFUSED 10062 ELOOP "
      L"10063 ENAMETOOLONG 10064 EHOSTDOWN 10065 EHOSTUNREACH 10066 ENOTEMPTY 10067 EPROCLIM 10068 EUSERS "
      L"10069 EDQUOT 10070 ESTALE 10071 EREMOTE 10091 SYSNOTREADY 10092 VERNOTSUPPORTED 10093 NOTINITIALISED "
      L"10101 EDISCON 10102 ENOMORE 10103 ECANCELLED 10104 EINVALIDPROCTABLE 10105 EINVALIDPROVIDER "
      L"10106 EPROVIDERFAILEDINIT 10107 SYSCALLFAILURE 10108 SERVICE_NOT_FOUND 10109 TYPE_NOT_FOUND "
      L"10110 _E_NO_MORE 10111 _E_CANCELLED 10112 EREFUSED 11001 HOST_NOT_FOUND 11002 TRY_AGAIN "
      L"11003 NO_RECOVERY 11004 NO_DATA 12022 EAI_BADFLAGS 12044 EAI_SOCKTYPE 12047 EAI_FAMILY "
      L"12109 EAI_SERVICE 13001 EAI_NONAME 13002 EAI_AGAIN 13003 EAI_FAIL 14001 EAI_NODATA");
  std::vector<Row> rows;
  for (Row row; text >> row.error >> row.name;) rows.push_back(row);
  return rows;
}
const std::vector<Row> kRows = tableRows();

// The numbers a socket call can report; the address-resolution rows (2008
// and 12000 upwards) are never made from an error number.
bool isKnownError(std::uint32_t error) { return error >= 10004 && error <= 11004; }

TEST(SocketErrorTextTest, QuotedRowsReadExactlyTrailingSpacesIncluded) {
  const struct {
    std::uint32_t error;
    const wchar_t* text;
  } quoted[] = {
      {10004, L"EINTR A blocking operation was interrupted by a call to WSACancelBlockingCall."},
      {10009, L"EBADF The file handle supplied is not valid."},
      {10035, L"EWOULDBLOCK A non-blocking socket operation could not be completed immediately. "},
      {10061, L"ECONNREFUSED No connection could be made because the target machine actively refused it. "},
      {11001, L"HOST_NOT_FOUND No such host is known. "},
      {11002,
       L"TRY_AGAIN This is usually a temporary error during hostname resolution and means that the local "
       L"server did not receive a response from an authoritative server."},
      {13001, L"EAI_NONAME NAME or SERVICE is unknown."},
      {10102, L"ENOMORE No more results can be returned by WSALookupServiceNext. "},
      {10110, L"_E_NO_MORE No more results can be returned by WSALookupServiceNext. "},
      {10103,
       L"ECANCELLED A call to WSALookupServiceEnd was made while this call was still processing. The call "
       L"has been canceled. "},
      {10111,
       L"_E_CANCELLED A call to WSALookupServiceEnd was made while this call was still processing. The "
       L"call has been canceled. "},
  };
  for (const auto& row : quoted) {
    EXPECT_EQ(std::wstring(ZKCLSocketErrorText(socketCode(row.error))), row.text) << row.error;
  }
  EXPECT_STREQ(ZKCLSocketErrorText(0), L"OK");
}

TEST(SocketErrorTextTest, EveryRowIsItsShortNameASpaceAndASentence) {
  for (const Row& row : kRows) {
    const std::wstring text = ZKCLSocketErrorText(socketCode(row.error));
    const std::wstring prefix = row.name + L" ";
    ASSERT_EQ(text.compare(0, prefix.size(), prefix), 0) << row.error << ": " << testing::PrintToString(text);
    const std::wstring description = text.substr(prefix.size());
    EXPECT_GT(description.size(), 10u) << row.error;
    EXPECT_NE(description[0], L' ') << row.error;
    const std::size_t stop = description.find_last_not_of(L' ');
    EXPECT_EQ(description[stop], L'.') << row.error;
    EXPECT_LE(description.size() - stop, 2u) << row.error << ": at most one space after the full stop";
  }
}

TEST(SocketErrorTextTest, OnlyTheRowsOfTheTableHaveATextOfTheirOwn) {
  std::set<std::uint32_t> rows;
  for (const Row& row : kRows) rows.insert(row.error);
  ASSERT_EQ(rows.size(), 71u);
  // Every code of the socket range, and the codes on either side of it.
  for (std::uint32_t error = 0; error <= 0x10000; ++error) {
    const std::wstring text = ZKCLSocketErrorText(socketCode(error));
    if (rows.count(error) != 0) {
      EXPECT_NE(text, L"FAIL") << error;
    } else {
      ASSERT_EQ(text, L"FAIL") << error;
    }
  }
  for (const HRESULT other :
       {kFail, static_cast<HRESULT>(0x8BE2FFFFu), static_cast<HRESULT>(1), static_cast<HRESULT>(10035),
        static_cast<HRESULT>(0x8007000EL), static_cast<HRESULT>(0xFFFFFFFFu)}) {
    EXPECT_STREQ(ZKCLSocketErrorText(other), L"FAIL") << other;
  }
}

TEST(SocketResultTest, KnownNumbersRoundTripAndOthersFail) {
  EXPECT_EQ(ZKCLSocketResultFromError(0), 0);
  EXPECT_EQ(static_cast<std::uint32_t>(ZKCLSocketResultFromError(10035)), 0x8BE32733u);
  int known = 0;
  for (const Row& row : kRows) {
    if (!isKnownError(row.error)) continue;
    ++known;
    const HRESULT result = ZKCLSocketResultFromError(static_cast<std::int32_t>(row.error));
    ASSERT_EQ(result, socketCode(row.error)) << row.error;
    EXPECT_EQ(std::wstring(ZKCLSocketErrorText(result)).rfind(row.name + L" ", 0), 0u) << row.error;
  }
  EXPECT_EQ(known, 62);

  std::set<std::int32_t> knownNumbers;
  for (const Row& row : kRows) {
    if (isKnownError(row.error)) knownNumbers.insert(static_cast<std::int32_t>(row.error));
  }
  for (std::int32_t error = -2; error <= 20000; ++error) {
    if (error == 0 || knownNumbers.count(error) != 0) continue;
    ASSERT_EQ(ZKCLSocketResultFromError(error), kFail) << error;
  }
  for (const std::int32_t error : {INT32_MIN, INT32_MAX, -10035, 0x10000 + 10035}) {
    EXPECT_EQ(ZKCLSocketResultFromError(error), kFail) << error;
  }
  EXPECT_STREQ(ZKCLSocketErrorText(ZKCLSocketResultFromError(10010)), L"FAIL");
}

}  // namespace
}  // namespace zk_test

#include "net/socket_error.h"

#include <algorithm>
#include <iterator>

#include "lang/result.h"

namespace {

struct KnownRange {
  std::int32_t first;
  std::int32_t last;
};

// The error numbers ZKCLSocketResultFromError passes through.
constexpr KnownRange kKnownErrors[] = {
    {10004, 10004}, {10009, 10009}, {10013, 10014}, {10022, 10022}, {10024, 10024},
    {10035, 10071}, {10091, 10093}, {10101, 10112}, {11001, 11004},
};

struct ErrorText {
  std::uint32_t error;
  const wchar_t* text;
};

// Sorted by error number. The descriptions are those the system gives for
// the errors. A few rows end with a space after the full stop: it is part of
// their text, which callers may compare exactly.
constexpr ErrorText kErrorTexts[] = {
    {2008, L"EAI_MEMORY Memory allocation failure."},
    {10004, L"EINTR A blocking operation was interrupted by a call to WSACancelBlockingCall."},
    {10009, L"EBADF The file handle supplied is not valid."},
    {10013, L"EACCES An attempt was made to access a socket in a way forbidden by its access permissions."},
    {10014,
     L"EFAULT The system detected an invalid pointer address in attempting to use a pointer argument in a "
     L"call."},
    {10022, L"EINVAL An invalid argument was supplied."},
    {10024, L"EMFILE Too many open sockets."},
    {10035, L"EWOULDBLOCK A non-blocking socket operation could not be completed immediately. "},
    {10036, L"EINPROGRESS A blocking operation is currently executing."},
    {10037,
     L"EALREADY An operation was attempted on a non-blocking socket that already had an operation in "
     L"progress."},
    {10038, L"ENOTSOCK An operation was attempted on something that is not a socket."},
    {10039, L"EDESTADDRREQ A required address was omitted from an operation on a socket."},
    {10040,
     L"EMSGSIZE A message sent on a datagram socket was larger than the internal message buffer or some "
     L"other network limit, or the buffer used to receive a datagram into was smaller than the datagram "
     L"itself."},
    {10041,
     L"EPROTOTYPE A protocol was specified in the socket function call that does not support the semantics "
     L"of the socket type requested."},
    {10042,
     L"ENOPROTOOPT An unknown, invalid, or unsupported option or level was specified in a getsockopt or "
     L"setsockopt call."},
    {10043,
     L"EPROTONOSUPPORT The requested protocol has not been configured into the system, or no "
     L"implementation for it exists."},
    {10044, L"ESOCKTNOSUPPORT The support for the specified socket type does not exist in this address family."},
    {10045, L"EOPNOTSUPP The attempted operation is not supported for the type of object referenced."},
    {10046,
     L"EPFNOSUPPORT The protocol family has not been configured into the system or no implementation for "
     L"it exists."},
    {10047, L"EAFNOSUPPORT An address incompatible with the requested protocol was used."},
    {10048,
     L"EADDRINUSE Only one usage of each socket address (protocol/network address/port) is normally "
     L"permitted."},
    {10049, L"EADDRNOTAVAIL The requested address is not valid in its context."},
    {10050, L"ENETDOWN A socket operation encountered a dead network."},
    {10051, L"ENETUNREACH A socket operation was attempted to an unreachable network."},
    {10052,
     L"ENETRESET The connection has been broken due to keep-alive activity detecting a failure while the "
     L"operation was in progress."},
    {10053, L"ECONNABORTED An established connection was aborted by the software in your host machine."},
    {10054, L"ECONNRESET An existing connection was forcibly closed by the remote host."},
    {10055,
     L"ENOBUFS An operation on a socket could not be performed because the system lacked sufficient buffer "
     L"space or because a queue was full."},
    {10056, L"EISCONN A connect request was made on an already connected socket."},
    {10057,
     L"ENOTCONN A request to send or receive data was disallowed because the socket is not connected and "
     L"(when sending on a datagram socket using a sendto call) no address was supplied."},
    {10058,
     L"ESHUTDOWN A request to send or receive data was disallowed because the socket had already been shut "
     L"down in that direction with a previous shutdown call."},
    {10059, L"ETOOMANYREFS Too many references to some kernel object."},
    {10060,
     L"ETIMEDOUT A connection attempt failed because the connected party did not properly respond after a "
     L"period of time, or established connection failed because connected host has failed to respond."},
    {10061, L"ECONNREFUSED No connection could be made because the target machine actively refused it. "},
    {10062, L"ELOOP Cannot translate name."},
    {10063, L"ENAMETOOLONG Name component or name was too long."},
    {10064, L"EHOSTDOWN A socket operation failed because the destination host was down."},
    {10065, L"EHOSTUNREACH A socket operation was attempted to an unreachable host."},
    {10066, L"ENOTEMPTY Cannot remove a directory that is not empty."},
    {10067,
     L"EPROCLIM A Windows Sockets implementation may have a limit on the number of applications that may "
     L"use it simultaneously."},
    {10068, L"EUSERS Ran out of quota."},
    {10069, L"EDQUOT Ran out of disk quota."},
    {10070, L"ESTALE File handle reference is no longer available."},
    {10071, L"EREMOTE Item is not available locally."},
    {10091,
     L"SYSNOTREADY WSAStartup cannot function at this time because the underlying system it uses to "
     L"provide network services is currently unavailable."},
    {10092, L"VERNOTSUPPORTED The Windows Sockets version requested is not supported."},
    {10093, L"NOTINITIALISED Either the application has not called WSAStartup, or WSAStartup failed."},
    {10101,
     L"EDISCON Returned by WSARecv or WSARecvFrom to indicate the remote party has initiated a graceful "
     L"shutdown sequence."},
    {10102, L"ENOMORE No more results can be returned by WSALookupServiceNext. "},
    {10103,
     L"ECANCELLED A call to WSALookupServiceEnd was made while this call was still processing. The call "
     L"has been canceled. "},
    {10104, L"EINVALIDPROCTABLE The procedure call table is invalid."},
    {10105, L"EINVALIDPROVIDER The requested service provider is invalid."},
    {10106, L"EPROVIDERFAILEDINIT The requested service provider could not be loaded or initialized."},
    {10107, L"SYSCALLFAILURE A system call has failed."},
    {10108,
     L"SERVICE_NOT_FOUND No such service is known. The service cannot be found in the specified name "
     L"space."},
    {10109, L"TYPE_NOT_FOUND The specified class was not found."},
    {10110, L"_E_NO_MORE No more results can be returned by WSALookupServiceNext. "},
    {10111,
     L"_E_CANCELLED A call to WSALookupServiceEnd was made while this call was still processing. The call "
     L"has been canceled. "},
    {10112, L"EREFUSED A database query failed because it was actively refused."},
    {11001, L"HOST_NOT_FOUND No such host is known. "},
    {11002,
     L"TRY_AGAIN This is usually a temporary error during hostname resolution and means that the local "
     L"server did not receive a response from an authoritative server."},
    {11003, L"NO_RECOVERY A non-recoverable error occurred during a database lookup."},
    {11004, L"NO_DATA The requested name is valid, but no data of the requested type was found."},
    {12022, L"EAI_BADFLAGS Invalid value for FLAGS."},
    {12044, L"EAI_SOCKTYPE SOCKTYPE is not supported."},
    {12047, L"EAI_FAMILY FAMILY is not supported."},
    {12109, L"EAI_SERVICE SERVICE is not supported for SOCKTYPE."},
    {13001, L"EAI_NONAME NAME or SERVICE is unknown."},
    {13002, L"EAI_AGAIN Temporary failure in name resolution."},
    {13003, L"EAI_FAIL Non-recoverable failure in name resolution."},
    {14001, L"EAI_NODATA No address associated with NAME."},
};
static_assert(std::size(kErrorTexts) == 71);

}  // namespace

HRESULT ZKCLSocketResultFromError(std::int32_t error) noexcept {
  if (error == 0) return zk::kOk;
  for (const KnownRange& range : kKnownErrors) {
    if (error >= range.first && error <= range.last) {
      return static_cast<HRESULT>(ZKCL_SOCKET_RESULT_BASE + static_cast<std::uint32_t>(error));
    }
  }
  return zk::kFail;
}

const wchar_t* ZKCLSocketErrorText(HRESULT result) noexcept {
  if (result == zk::kOk) return L"OK";
  // Wraps for codes below the base, which then find no row.
  const std::uint32_t error = static_cast<std::uint32_t>(result) - ZKCL_SOCKET_RESULT_BASE;
  const auto row = std::lower_bound(std::begin(kErrorTexts), std::end(kErrorTexts), error,
                                    [](const ErrorText& entry, std::uint32_t key) { return entry.error < key; });
  if (row != std::end(kErrorTexts) && row->error == error) return row->text;
  return L"FAIL";
}

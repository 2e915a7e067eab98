#include "library/class_table.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>
#include <typeinfo>

#include "collections/array_list.h"
#include "collections/collection.h"
#include "collections/comparator.h"
#include "collections/hash_map.h"
#include "collections/linked_list.h"
#include "collections/map.h"
#include "io/byte_array_output_stream.h"
#include "io/stdio_streams.h"
#include "io/streams.h"
#include "io/writer.h"
#include "lang/byte_buffer.h"
#include "lang/char_buffer.h"
#include "lang/exception.h"
#include "lang/string.h"
#include "math/big_decimal.h"
#include "math/big_integer.h"
#include "math/number.h"
#include "sync/atomic.h"
#include "sync/event.h"
#include "sync/fake_mutex.h"
#include "sync/gate.h"
#include "sync/locked_buffer.h"
#include "sync/mutex.h"
#include "sync/rw_lock.h"
#include "sync/semaphore.h"
#include "text/charset/converter.h"
#include "text/charset/converter_classes.h"
#include "text/charset/single_byte.h"

namespace zk {

namespace {

// Rows without a type name classes whose code is not part of the library
// yet; they are registered by name only until it is. The three integer
// exceptions appear twice: registration keeps their first rows, the ones
// with a creator. The converter rows follow these (see builtInClassTable).
const ClassTableRow kLibraryClasses[] = {
    {L"CZKAbstractByteBuffer", &typeid(zk::util::AbstractByteBuffer), nullptr},
    {L"CZKAbstractCharBuffer", &typeid(zk::util::AbstractCharBuffer), nullptr},
    {L"CZKAlphaNumInputStream", nullptr, nullptr},
    {L"CZKAlphaNumOutputStream", nullptr, nullptr},
    {L"CZKArrayList", &typeid(zk::collections::pcom::ArrayList), &zk::createInstance<zk::collections::pcom::ArrayList>},
    {L"CZKAtomic", &typeid(zk::sync::Atomic), nullptr},
    {L"CZKBigDecimal", &typeid(zk::math::BigDecimal), &zk::createInstance<zk::math::BigDecimal>},
    {L"CZKBigInteger", &typeid(zk::math::BigInteger), &zk::createInstance<zk::math::BigInteger>},
    {L"CZKBitInputStream", nullptr, nullptr},
    {L"CZKBitOutputStream", nullptr, nullptr},
    {L"CZKBTCSingleByte", &typeid(zk::text::charset::BTCSingleByte), nullptr},
    {L"CZKBTCSingleByteTable", &typeid(zk::text::charset::BTCSingleByteTable), nullptr},
    {L"CZKBufferedInputStream", nullptr, nullptr},
    {L"CZKBufferedOutputStream", nullptr, nullptr},
    {L"CZKBufferedReader", nullptr, nullptr},
    {L"CZKBufferedWriter", nullptr, nullptr},
    {L"CZKByteArrayInputStream", nullptr, nullptr},
    {L"CZKByteArrayOutputStream", &typeid(zk::io::ByteArrayOutputStream),
     &createInstance<zk::io::ByteArrayOutputStream>},
    {L"CZKByteToCharConverter", &typeid(zk::text::charset::ByteToCharConverter), nullptr},
    {L"CZKCharToByteConverter", &typeid(zk::text::charset::CharToByteConverter), nullptr},
    {L"zk::Class", &typeid(zk::Class), nullptr},
    {L"CZKCTBSingleByte", &typeid(zk::text::charset::CTBSingleByte), nullptr},
    {L"CZKCTBSingleByteTable", &typeid(zk::text::charset::CTBSingleByteTable), nullptr},
    {L"CZKCollection", &typeid(zk::collections::pcom::Collection), nullptr},
    {L"zk::pcom::ClassFactory", nullptr, nullptr},
    {L"CZKComDllModule", nullptr, nullptr},
    {L"CZKComObject", &typeid(zk::ComObject), nullptr},
    {L"CZKComparator", &typeid(zk::util::Comparator), nullptr},
    {L"CZKConstIterator", &typeid(zk::collections::pcom::ConstIterator), nullptr},
    {L"CZKConstListIterator", &typeid(zk::collections::pcom::ConstListIterator), nullptr},
    {L"CZKDataInputStream", nullptr, nullptr},
    {L"CZKDataOutputStream", nullptr, nullptr},
    {L"CZKDouble", nullptr, nullptr},
    {L"CZKEvent", &typeid(zk::sync::Event), &createInstance<zk::sync::Event>},
    {L"zk::sync::FakeAtomic", &typeid(zk::sync::FakeAtomic), nullptr},
    {L"CZKFakeMutex", &typeid(zk::sync::FakeMutex), &createInstance<zk::sync::FakeMutex>},
    {L"CZKFilePath", nullptr, nullptr},
    {L"CZKFilterInputStream", nullptr, nullptr},
    {L"CZKFilterOutputStream", nullptr, nullptr},
    {L"CZKFilterReader", nullptr, nullptr},
    {L"CZKFilterWriter", nullptr, nullptr},
    {L"CZKFloat", nullptr, nullptr},
    {L"CZKGate", &typeid(zk::sync::Gate), &createInstance<zk::sync::Gate>},
    {L"CZKGuid", nullptr, nullptr},
    {L"CZKHashMap", &typeid(zk::collections::pcom::HashMap), &zk::createInstance<zk::collections::pcom::HashMap>},
    {L"CZKInputStream", &typeid(zk::io::InputStream), nullptr},
    {L"CZKInputStreamReader", nullptr, nullptr},
    {L"CZKInteger16", nullptr, nullptr},
    {L"CZKInteger32", nullptr, nullptr},
    {L"CZKInteger64", nullptr, nullptr},
    {L"CZKInteger8", nullptr, nullptr},
    {L"CZKIterator", &typeid(zk::collections::pcom::Iterator), nullptr},
    {L"CZKLinkedList", &typeid(zk::collections::pcom::LinkedList),
     &zk::createInstance<zk::collections::pcom::LinkedList>},
    {L"CZKList", &typeid(zk::collections::pcom::List), nullptr},
    {L"CZKListIterator", &typeid(zk::collections::pcom::ListIterator), nullptr},
    {L"CZKLocale", nullptr, nullptr},
    {L"CZKLockObject", &typeid(zk::sync::LockObject), nullptr},
    {L"CZKMap", &typeid(zk::collections::pcom::Map), nullptr},
    {L"CZKMTByteBuffer", &typeid(zk::util::MTByteBuffer), &createInstance<zk::util::MTByteBuffer>},
    {L"CZKMTCharBuffer", &typeid(zk::util::MTCharBuffer), &createInstance<zk::util::MTCharBuffer>},
    {L"CZKMutex", &typeid(zk::sync::Mutex), &createInstance<zk::sync::Mutex>},
    {L"CZKNullOutputStream", &typeid(zk::io::NullOutputStream), &createInstance<zk::io::NullOutputStream>},
    {L"CZKNullWriter", &typeid(zk::io::NullWriter), &createInstance<zk::io::NullWriter>},
    {L"CZKNumber", &typeid(zk::Number), nullptr},
    {L"CZKObject", &typeid(zk::Object), &createInstance<zk::Object>},
    {L"CZKOutputStream", &typeid(zk::io::OutputStream), nullptr},
    {L"CZKOutputStreamWriter", nullptr, nullptr},
    {L"CZKPrintWriter", nullptr, nullptr},
    {L"CZKReader", nullptr, nullptr},
    {L"CZKResourceBundle", nullptr, nullptr},
    {L"CZKROByteBuffer", &typeid(zk::util::ROByteBuffer), &createInstance<zk::util::ROByteBuffer>},
    {L"CZKROCharBuffer", &typeid(zk::util::ROCharBuffer), &createInstance<zk::util::ROCharBuffer>},
    {L"CZKRunnable", nullptr, nullptr},
    {L"CZKRWByteBuffer", &typeid(zk::util::RWByteBuffer), &createInstance<zk::util::RWByteBuffer>},
    {L"CZKRWCharBuffer", &typeid(zk::util::RWCharBuffer), &createInstance<zk::util::RWCharBuffer>},
    {L"CZKRWLock", &typeid(zk::sync::ReaderWriterLock), &createInstance<zk::sync::ReaderWriterLock>},
    {L"CZKSemaphore", &typeid(zk::sync::Semaphore), &createInstance<zk::sync::Semaphore>},
    {L"CZKSet", &typeid(zk::collections::pcom::Set), nullptr},
    {L"CZKSignedInteger", nullptr, nullptr},
    {L"CZKStdioInputStream", &typeid(zk::io::StdioInputStream), &createInstance<zk::io::StdioInputStream>},
    {L"CZKStdioOutputStream", &typeid(zk::io::StdioOutputStream), &createInstance<zk::io::StdioOutputStream>},
    {L"CZKString", &typeid(zk::String), &zk::createInstance<zk::String>},
    {L"zk::i18n::StringMapBundle", nullptr, nullptr},
    {L"CZKStringWriter", &typeid(zk::io::StringWriter), &createInstance<zk::io::StringWriter>},
    {L"CZKSyncObject", &typeid(zk::sync::Object), nullptr},
    {L"zk::net::TcpServerSocket", nullptr, nullptr},
    {L"zk::net::TcpSocket", nullptr, nullptr},
    {L"CZKThread", nullptr, nullptr},
    {L"CZKUInteger16", nullptr, nullptr},
    {L"CZKUInteger32", nullptr, nullptr},
    {L"CZKUInteger64", nullptr, nullptr},
    {L"CZKUInteger8", nullptr, nullptr},
    {L"CZKUnsignedInteger", nullptr, nullptr},
    {L"CZKWriter", &typeid(zk::io::Writer), nullptr},
    {L"zk::Exception", &typeid(zk::Exception), &createInstance<zk::Exception>},
    {L"zk::CastFailedException", &typeid(zk::CastFailedException), &createInstance<zk::CastFailedException>},
    {L"zk::ClassNotFoundException", &typeid(zk::ClassNotFoundException), &createInstance<zk::ClassNotFoundException>},
    {L"zk::CloneNotSupportedException", &typeid(zk::CloneNotSupportedException),
     &createInstance<zk::CloneNotSupportedException>},
    {L"zk::IllegalAccessException", &typeid(zk::IllegalAccessException), &createInstance<zk::IllegalAccessException>},
    {L"zk::IllegalStateException", &typeid(zk::IllegalStateException), &createInstance<zk::IllegalStateException>},
    {L"zk::InvalidPathException", &typeid(zk::InvalidPathException), &createInstance<zk::InvalidPathException>},
    {L"zk::OutOfMemoryException", &typeid(zk::OutOfMemoryException), &createInstance<zk::OutOfMemoryException>},
    {L"zk::RangeErrorException", &typeid(zk::RangeErrorException), &createInstance<zk::RangeErrorException>},
    {L"zk::ReadOnlyException", &typeid(zk::ReadOnlyException), &createInstance<zk::ReadOnlyException>},
    {L"zk::UnsupportedOperationException", &typeid(zk::UnsupportedOperationException),
     &createInstance<zk::UnsupportedOperationException>},
    {L"zk::ExternalException", &typeid(zk::ExternalException), nullptr},
    {L"zk::IntErrorException", &typeid(zk::IntErrorException), &createInstance<zk::IntErrorException>},
    {L"zk::IntDivByZeroException", &typeid(zk::IntDivByZeroException), &createInstance<zk::IntDivByZeroException>},
    {L"zk::IntOverflowException", &typeid(zk::IntOverflowException), &createInstance<zk::IntOverflowException>},
    {L"zk::io::IoException", &typeid(zk::io::IoException), &createInstance<zk::io::IoException>},
    {L"zk::io::TimeoutException", &typeid(zk::io::TimeoutException), &createInstance<zk::io::TimeoutException>},
    {L"zk::io::UnexpectedEOFException", &typeid(zk::io::UnexpectedEOFException),
     &createInstance<zk::io::UnexpectedEOFException>},
    {L"zk::text::charset::InvalidCharacterException", &typeid(zk::text::charset::InvalidCharacterException),
     &createInstance<zk::text::charset::InvalidCharacterException>},
    {L"zk::text::charset::UnmappableCharacterException", &typeid(zk::text::charset::UnmappableCharacterException),
     &createInstance<zk::text::charset::UnmappableCharacterException>},
    {L"zk::text::charset::UnknownEncodingException", &typeid(zk::text::charset::UnknownEncodingException),
     &createInstance<zk::text::charset::UnknownEncodingException>},
    {L"zk::AccessViolationException", &typeid(zk::AccessViolationException), nullptr},
    {L"zk::ArrayBoundsException", &typeid(zk::ArrayBoundsException), nullptr},
    {L"zk::IllegalInstructionException", &typeid(zk::IllegalInstructionException), nullptr},
    {L"zk::MathDivByZeroException", &typeid(zk::MathDivByZeroException), nullptr},
    {L"zk::MathErrorException", &typeid(zk::MathErrorException), nullptr},
    {L"zk::MathInvalidOpException", &typeid(zk::MathInvalidOpException), nullptr},
    {L"zk::MathOverflowException", &typeid(zk::MathOverflowException), nullptr},
    {L"zk::MathUnderflowException", &typeid(zk::MathUnderflowException), nullptr},
    {L"zk::StackOverflowException", &typeid(zk::StackOverflowException), nullptr},
    {L"zk::UserAbortException", &typeid(zk::UserAbortException), nullptr},
    {L"zk::IntDivByZeroException", &typeid(zk::IntDivByZeroException), nullptr},
    {L"zk::IntErrorException", &typeid(zk::IntErrorException), nullptr},
    {L"zk::IntOverflowException", &typeid(zk::IntOverflowException), nullptr},
};

}  // namespace

// The library's rows, then the converter rows, which the character-set folder
// keeps in its own table so that its tests register exactly what the library
// does. Joined once, on first use; copying the rows cannot fail.
const ClassTableRow* builtInClassTable() noexcept {
  constexpr std::size_t kLibraryRows = std::size(kLibraryClasses);
  static const auto table = [] {
    std::array<ClassTableRow, kLibraryRows + text::charset::kConverterClassCount + 1> rows{};
    std::copy_n(kLibraryClasses, kLibraryRows, rows.begin());
    std::copy_n(text::charset::converterClassTable(), text::charset::kConverterClassCount + 1,
                rows.begin() + kLibraryRows);
    return rows;
  }();
  return table.data();
}

void registerBuiltInClasses() { registerClasses(builtInClassTable()); }

}  // namespace zk

#include "text/charset/converter_classes.h"

#include <iterator>
#include <typeinfo>

#include "text/charset/amp7.h"
#include "text/charset/single_byte.h"
#include "text/charset/utf.h"
#include "text/charset/utf8.h"

namespace zk::text::charset {

namespace {

// In the order the library's class table has always stored them.
const ClassTableRow kConverterClasses[] = {
    {L"zk::text::charset::CTBASCII", &typeid(CTBASCII), &createInstance<CTBASCII>},
    {L"zk::text::charset::BTCASCII", &typeid(BTCASCII), &createInstance<BTCASCII>},
    {L"zk::text::charset::CTBISO8859_1", &typeid(CTBISO8859_1), &createInstance<CTBISO8859_1>},
    {L"zk::text::charset::BTCISO8859_1", &typeid(BTCISO8859_1), &createInstance<BTCISO8859_1>},
    {L"zk::text::charset::CTBCP437", &typeid(CTBCP437), &createInstance<CTBCP437>},
    {L"zk::text::charset::BTCCP437", &typeid(BTCCP437), &createInstance<BTCCP437>},
    {L"zk::text::charset::CTBCP1252", &typeid(CTBCP1252), &createInstance<CTBCP1252>},
    {L"zk::text::charset::BTCCP1252", &typeid(BTCCP1252), &createInstance<BTCCP1252>},
    {L"zk::text::charset::BTCUTF8", &typeid(BTCUTF8), &createInstance<BTCUTF8>},
    {L"zk::text::charset::CTBUTF8", &typeid(CTBUTF8), &createInstance<CTBUTF8>},
    {L"zk::text::charset::CTBUTF16LE", &typeid(CTBUTF16LE), &createInstance<CTBUTF16LE>},
    {L"zk::text::charset::BTCUTF16LE", &typeid(BTCUTF16LE), &createInstance<BTCUTF16LE>},
    {L"zk::text::charset::CTBUTF16BE", &typeid(CTBUTF16BE), &createInstance<CTBUTF16BE>},
    {L"zk::text::charset::BTCUTF16BE", &typeid(BTCUTF16BE), &createInstance<BTCUTF16BE>},
    {L"zk::text::charset::CTBUTF32LE", &typeid(CTBUTF32LE), &createInstance<CTBUTF32LE>},
    {L"zk::text::charset::BTCUTF32LE", &typeid(BTCUTF32LE), &createInstance<BTCUTF32LE>},
    {L"zk::text::charset::CTBUTF32BE", &typeid(CTBUTF32BE), &createInstance<CTBUTF32BE>},
    {L"zk::text::charset::BTCUTF32BE", &typeid(BTCUTF32BE), &createInstance<BTCUTF32BE>},
    {L"zk::text::charset::BTCAMP7", &typeid(BTCAMP7), &createInstance<BTCAMP7>},
    {L"zk::text::charset::CTBAMP7", &typeid(CTBAMP7), &createInstance<CTBAMP7>},
    {nullptr, nullptr, nullptr},
};

static_assert(std::size(kConverterClasses) == kConverterClassCount + 1, "the count the class table makes room for");

}  // namespace

const ClassTableRow* converterClassTable() noexcept { return kConverterClasses; }

}  // namespace zk::text::charset

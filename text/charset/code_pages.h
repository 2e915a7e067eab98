// The Windows code pages that only a codec component can serve, and the
// aliases that lead to them. Plain data with no dependencies, so that the
// codec component DLL serves exactly the names the library looks up.
#pragma once

#include <cstdint>

namespace zk::text::charset {

struct CodePageRow {
  const wchar_t* name;
  std::uint32_t codePage;
};

struct CodePageAliasRow {
  const wchar_t* alias;
  const wchar_t* canonicalName;
};

// The tables in their fixed order, each ended by a row with a null name.
const CodePageRow* codePageTable() noexcept;
const CodePageAliasRow* codePageAliasTable() noexcept;

}  // namespace zk::text::charset

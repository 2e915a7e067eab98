// What the removal passes found in one file, as the detection mode reports
// it, and the old provider's records that no pass could remove.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zk::cleanup {

// How many records each pass removed: blank, 4.1 and 4.0 records.
struct PassCounts {
  std::size_t blank = 0;
  std::size_t old41 = 0;
  std::size_t old40 = 0;
};

// What one file comes to, for the detection mode's exit code.
enum class FileVerdict { kNoChange, kChange, kUnreadable };

// The detection mode's exit code for the verdicts so far and one more: 0
// when no file needs a change, 1 when one does, 2 once a file could not be
// opened or read (a check that is not complete outweighs a change found).
int combineExitCode(int soFar, FileVerdict verdict) noexcept;

// The one line /check prints for a file in place of the reopen and write:
// whether the file would be changed and how many records of each kind would
// go. Throws std::bad_alloc only.
std::wstring checkVerdictLine(const PassCounts& counts);

// True when text still holds a record of the old provider in a form the
// passes do not remove (other spacing, line ends or attribute order).
bool holdsOldProviderRecords(std::string_view text) noexcept;

// The warning printed after a file's lines when holdsOldProviderRecords.
extern const wchar_t* const kLeftoverWarning;

}  // namespace zk::cleanup

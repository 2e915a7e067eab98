// The in-memory removal of one record literal from a machine.config buffer.
#pragma once

#include <cstddef>
#include <string_view>

namespace zk::cleanup {

// What one removal pass left behind: the new length of the text and the
// number of occurrences it deleted.
struct RemovalResult {
  std::size_t length;
  std::size_t removed;
};

// Deletes occurrences of literal from text[0, length) in place, with exactly
// the result of the plain loop "search from the start for the first
// occurrence, delete it (the rest closes over the gap), repeat until none":
// a deletion that joins text into a new occurrence is followed by the deletion
// of that occurrence too. Returns the new length and how many deletions that
// loop makes. Bytes in text[new length, length) are left with no meaning.
//
// Runs in time linear in length + literal.size() and needs extra memory only
// in proportion to the literal, whatever the number of occurrences; any byte
// value (NUL included) is an ordinary byte in both text and literal. An empty
// literal deletes nothing. May be called from any thread on distinct buffers.
// Throws std::bad_alloc when the literal's match table cannot be allocated
// (text is untouched then) and std::invalid_argument for a null text with a
// non-zero length.
RemovalResult removeAllOccurrences(char* text, std::size_t length, std::string_view literal);

}  // namespace zk::cleanup

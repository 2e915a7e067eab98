#include "cleanup/record_scan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace zk::cleanup {
namespace {

// The first byte equal to wanted in bytes[0, count), or null. Eight bytes at
// a time: the run-time library's memchr is a plain byte loop on some systems,
// and this search carries the whole pass over text without candidates.
const char* findByte(const char* bytes, std::size_t count, unsigned char wanted) {
  const std::uint64_t ones = 0x0101010101010101ull;
  const std::uint64_t highs = 0x8080808080808080ull;
  const std::uint64_t pattern = ones * wanted;
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    word ^= pattern;
    // Some byte of word is zero exactly when this is non-zero.
    if (((word - ones) & ~word & highs) != 0) break;
  }
  for (; i < count; ++i) {
    if (static_cast<unsigned char>(bytes[i]) == wanted) return bytes + i;
  }
  return nullptr;
}

// How often a byte is expected in a configuration file, from 9 (every line
// has several) down to 1. Only the order matters: the pass looks for the
// literal's least common byte, so that candidates are far apart.
int expectedFrequency(unsigned char byte) {
  if (byte == '\t' || byte == '\r' || byte == '\n' || byte == ' ') return 9;
  if (byte == '<' || byte == '>' || byte == '=' || byte == '"' || byte == '.') return 8;
  if (std::strchr("etaoinsr", byte) != nullptr && byte != 0) return 7;
  if (byte >= 'a' && byte <= 'z') return 6;
  if (byte == '/' || (byte >= '0' && byte <= '9')) return 5;
  if (byte == ',' || byte == '-' || byte == '_' || byte == ':') return 4;
  if (byte >= 'A' && byte <= 'Z') return std::strchr("JKQXZ", byte) != nullptr ? 2 : 3;
  return 1;
}

// The position in literal of its least common byte (the last of equals).
std::size_t rareBytePosition(std::string_view literal) {
  std::size_t best = 0;
  for (std::size_t i = 1; i < literal.size(); ++i) {
    if (expectedFrequency(static_cast<unsigned char>(literal[i])) <=
        expectedFrequency(static_cast<unsigned char>(literal[best]))) {
      best = i;
    }
  }
  return best;
}

// Incremental matcher for one literal (Knuth-Morris-Pratt). Its state is the
// length of the longest suffix of the bytes fed so far that is a prefix of
// the literal; the state equals the literal's length exactly when the last
// byte completed an occurrence. Immutable after construction, so it may be
// shared by threads; construction throws std::bad_alloc and nothing else.
class LiteralMatcher {
 public:
  explicit LiteralMatcher(std::string_view literal) : m_literal(literal), m_fallback(literal.size(), 0) {
    // m_fallback[i]: length of the longest proper border of literal[0, i],
    // the state to fall back to when the byte after that prefix mismatches.
    std::size_t border = 0;
    for (std::size_t i = 1; i < literal.size(); ++i) {
      while (border > 0 && literal[i] != literal[border]) border = m_fallback[border - 1];
      if (literal[i] == literal[border]) ++border;
      m_fallback[i] = border;
    }
  }

  // The state after feeding byte in state (which must be below the length).
  std::size_t advance(std::size_t state, char byte) const {
    while (state > 0 && m_literal[state] != byte) state = m_fallback[state - 1];
    if (m_literal[state] == byte) ++state;
    return state;
  }

  // The state after feeding bytes[0, count) from the start state. In state 0
  // every byte other than the literal's first leaves the state at 0, so the
  // run jumps from one such byte to the next.
  std::size_t stateAfter(const char* bytes, std::size_t count) const {
    std::size_t state = 0;
    for (std::size_t i = 0; i < count; ++i) {
      if (state == 0) {
        const char* hit = findByte(bytes + i, count - i, static_cast<unsigned char>(m_literal[0]));
        if (hit == nullptr) return 0;
        i = static_cast<std::size_t>(hit - bytes);
      } else if (state == m_literal.size()) {
        // Callers pass occurrence-free text, so a full match cannot happen;
        // stepping back keeps the next look-up inside the literal regardless.
        state = m_fallback[state - 1];
      }
      state = advance(state, bytes[i]);
    }
    return state;
  }

 private:
  std::string_view m_literal;
  std::vector<std::size_t> m_fallback;
};

}  // namespace

// One left-to-right pass. The text is read at `next`; everything before it is
// the output, held in two pieces: text[0, kept), already in its final place,
// and text[pending, next), read but not yet moved down (moving lazily keeps
// the common case, no occurrence at all, free of copies). The output never
// contains an occurrence, and `state` is the matcher state of the output.
//
// Why this equals the restart-from-the-start loop: all occurrences of one
// literal have the same length, so the one that starts first also ends first.
// The pass stops at the first position where an occurrence ends, which is
// therefore the occurrence the loop deletes first, and deletes it. Before that
// position the pass copied the text unchanged, so its output and state after
// the deletion are exactly what it would have had after reading the same
// bytes of the shortened text; from then on it runs as the pass over the
// shortened text would. By induction on the length, pass and loop end with the
// same text and the same count.
//
// After a deletion the state is computed again from the output's last m - 1
// bytes (m being the literal's length): the longest suffix that is a proper
// prefix of the literal is never longer than that. There are at most
// length / m deletions, so this costs O(length) in all.
//
// While the state is 0 no partial match is open, and every occurrence still
// to come starts at `next` or later and has the literal's rarest byte (at
// offset r) r bytes after its start. The pass therefore looks for that byte
// from next + r on, finds it at q, and restarts the matcher in state 0 at
// q - r: nothing between `next` and q - r can start an occurrence. A search
// begins r bytes after the point where the matcher last fell back to 0, which
// lies beyond the previous search's end; a matcher run begins at q - r, no
// earlier than where the previous run ended. So no byte is searched twice or
// matched by two runs, and with the matcher's amortised bound the whole pass
// takes O(length + m).
RemovalResult removeAllOccurrences(char* text, std::size_t length, std::string_view literal) {
  if (text == nullptr && length != 0) throw std::invalid_argument("removeAllOccurrences: null text");
  const std::size_t m = literal.size();
  if (m == 0 || m > length) return {length, 0};

  const LiteralMatcher matcher(literal);
  const std::size_t rare = rareBytePosition(literal);
  const unsigned char rareByte = static_cast<unsigned char>(literal[rare]);
  std::size_t kept = 0;
  std::size_t pending = 0;
  std::size_t next = 0;
  std::size_t state = 0;
  std::size_t removed = 0;
  while (next < length) {
    if (state == 0) {
      if (length - next < m) break;
      const char* hit = findByte(text + next + rare, length - next - rare, rareByte);
      if (hit == nullptr) break;
      next = static_cast<std::size_t>(hit - text) - rare;
      // A whole occurrence here is the first one to end: none starts earlier.
      // Comparing it in one go spares the matcher a step per byte.
      if (length - next >= m && std::memcmp(text + next, literal.data(), m) == 0) {
        next += m;
        state = m;
      }
    }
    if (state != m) {
      state = matcher.advance(state, text[next]);
      ++next;
      if (state != m) continue;
    }

    // The occurrence is the last m bytes of the output. Either it lies inside
    // the pending piece, or it swallows that piece and the tail of the kept one.
    ++removed;
    const std::size_t held = next - pending;
    if (held >= m) {
      if (kept != pending) std::memmove(text + kept, text + pending, held - m);
      kept += held - m;
    } else {
      kept -= m - held;
    }
    pending = next;
    const std::size_t window = std::min(kept, m - 1);
    state = matcher.stateAfter(text + kept - window, window);
  }
  if (kept != pending) std::memmove(text + kept, text + pending, length - pending);
  kept += length - pending;
  return {kept, removed};
}

}  // namespace zk::cleanup

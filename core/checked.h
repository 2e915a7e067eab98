// The library's assertion for the checked build: a broken invariant of the
// caller's making ends the process on the spot instead of corrupting state
// that fails much later somewhere else.
#pragma once

#include <cstdlib>

// On where the standard library checks its own preconditions (the checked
// preset's _GLIBCXX_ASSERTIONS, MSVC's debug runtime) and in any build
// without NDEBUG; compiled out of the release programs, which must not pay
// for it. The condition must have no side effects.
#if defined(_GLIBCXX_ASSERTIONS) || defined(_DEBUG) || !defined(NDEBUG)
#define ZK_CHECKED_BUILD 1
#define ZK_CHECKED_ASSERT(condition) ((condition) ? static_cast<void>(0) : std::abort())
#else
#define ZK_CHECKED_BUILD 0
#define ZK_CHECKED_ASSERT(condition) static_cast<void>(0)
#endif

// Lock annotations for clang's thread-safety analysis (-Wthread-safety): they
// name which lock guards a field and which locks a function takes, gives back
// or needs, so that a field touched without its lock, or a lock left held on
// some path, fails the clang build. GCC and MSVC have no such analysis and see
// nothing.
//
//   class ZK_CAPABILITY("mutex") Lock { void acquire() ZK_ACQUIRE(); ... };
//   std::vector<int> m_items ZK_GUARDED_BY(m_lock);
//   void addLocked(int item) ZK_REQUIRES(m_lock);
//
// A function whose locking the analysis cannot follow (the lock primitives
// themselves, a hold handed from one call to another) is marked
// ZK_NO_THREAD_SAFETY_ANALYSIS with a comment saying why.
#pragma once

#if defined(__clang__)
#define ZK_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define ZK_THREAD_ANNOTATION(x)
#endif

// A type whose objects are locks; the name appears in the messages.
#define ZK_CAPABILITY(name) ZK_THREAD_ANNOTATION(capability(name))
// An RAII type that holds the locks its constructor takes until it is destroyed.
#define ZK_SCOPED_CAPABILITY ZK_THREAD_ANNOTATION(scoped_lockable)
// The field may be read only with the lock held shared or exclusive, and
// written only with it held exclusive.
#define ZK_GUARDED_BY(lock) ZK_THREAD_ANNOTATION(guarded_by(lock))
// The same for the object the pointer field points to.
#define ZK_PT_GUARDED_BY(lock) ZK_THREAD_ANNOTATION(pt_guarded_by(lock))
// The caller must hold the locks exclusive (shared) for the call.
#define ZK_REQUIRES(...) ZK_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ZK_REQUIRES_SHARED(...) ZK_THREAD_ANNOTATION(requires_shared_capability(__VA_ARGS__))
// The function takes the locks (the object itself when none is named) and
// returns holding them.
#define ZK_ACQUIRE(...) ZK_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define ZK_ACQUIRE_SHARED(...) ZK_THREAD_ANNOTATION(acquire_shared_capability(__VA_ARGS__))
// The function gives the locks back; the caller must hold them.
#define ZK_RELEASE(...) ZK_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define ZK_RELEASE_SHARED(...) ZK_THREAD_ANNOTATION(release_shared_capability(__VA_ARGS__))
// The function takes the locks when it returns the value given first (a
// bool or integer literal; a caller must test the result against a literal).
#define ZK_TRY_ACQUIRE(...) ZK_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define ZK_TRY_ACQUIRE_SHARED(...) ZK_THREAD_ANNOTATION(try_acquire_shared_capability(__VA_ARGS__))
// The caller must not hold the locks (the function takes them itself and
// they do not nest).
#define ZK_EXCLUDES(...) ZK_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// The function returns a handle to the given lock: a lock taken through the
// result counts as that lock.
#define ZK_RETURN_CAPABILITY(lock) ZK_THREAD_ANNOTATION(lock_returned(lock))
// The function's body is not analysed; its annotations still bind callers.
#define ZK_NO_THREAD_SAFETY_ANALYSIS ZK_THREAD_ANNOTATION(no_thread_safety_analysis)

// Annotations for clang's thread safety analysis (-Wthread-safety): which mutex guards a field,
// which a function takes, lets go or expects held. Other compilers see nothing of them.
#pragma once

#if defined(__clang__)
#define MONITOR_TSA(X) __attribute__((X))
#else
#define MONITOR_TSA(X)
#endif

// A type that is a lock (a mutex), and one that holds a lock for a scope.
#define MONITOR_CAPABILITY(X) MONITOR_TSA(capability(X))
#define MONITOR_SCOPED_CAPABILITY MONITOR_TSA(scoped_lockable)
// A field read or written only with the mutex held; for a pointer, what it points at.
#define MONITOR_GUARDED_BY(X) MONITOR_TSA(guarded_by(X))
#define MONITOR_PT_GUARDED_BY(X) MONITOR_TSA(pt_guarded_by(X))
// Mutexes always taken in this order.
#define MONITOR_ACQUIRED_BEFORE(...) MONITOR_TSA(acquired_before(__VA_ARGS__))
#define MONITOR_ACQUIRED_AFTER(...) MONITOR_TSA(acquired_after(__VA_ARGS__))
// A function called with the mutex held (and returning with it held), or without it.
#define MONITOR_REQUIRES(...) MONITOR_TSA(requires_capability(__VA_ARGS__))
#define MONITOR_REQUIRES_SHARED(...) MONITOR_TSA(requires_shared_capability(__VA_ARGS__))
#define MONITOR_EXCLUDES(...) MONITOR_TSA(locks_excluded(__VA_ARGS__))
// A function that takes the mutex, lets it go, or takes it when it returns the value given.
#define MONITOR_ACQUIRE(...) MONITOR_TSA(acquire_capability(__VA_ARGS__))
#define MONITOR_RELEASE(...) MONITOR_TSA(release_capability(__VA_ARGS__))
#define MONITOR_TRY_ACQUIRE(...) MONITOR_TSA(try_acquire_capability(__VA_ARGS__))
// A function that checks at run time that the mutex is held.
#define MONITOR_ASSERT_CAPABILITY(X) MONITOR_TSA(assert_capability(X))
// A function that returns the mutex given.
#define MONITOR_RETURN_CAPABILITY(X) MONITOR_TSA(lock_returned(X))
// The analysis stays out of this function: say why where it is used.
#define MONITOR_NO_THREAD_SAFETY_ANALYSIS MONITOR_TSA(no_thread_safety_analysis)

// Named mutexes of the session: how a program sees that another instance of it runs.
//
// Each method's comment says, where it applies and in this order: who calls it and on which
// thread; whether it blocks and on what; what failure looks like; who owns what it hands back.
#pragma once

#include <memory>
#include <string>

namespace platform {

// A named mutex of the session, held while this object lives; released and closed with it,
// on the thread that created it (the platform ties a mutex's ownership to a thread).
class INamedMutex {
public:
  virtual ~INamedMutex() = default;
};

// Names are compared with regard to case.
class INamedMutexes {
public:
  virtual ~INamedMutexes() = default;
  // Any thread; does not wait for the mutex: whether one exists (opened with full access, then
  // closed). One that exists but refuses this process counts as existing.
  virtual bool NamedMutexExists(const std::string& AName) = 0;
  // Any thread; does not wait for the mutex: creates one initially owned. A mutex that
  // already exists is opened instead, without ownership, and AAlreadyExisted says so
  // (another process created it between a check and this call).
  // Null on failure (AAlreadyExisted is also true when the existing one refused this process).
  // The caller owns the mutex; it must go on the thread that created it.
  virtual std::unique_ptr<INamedMutex> CreateNamedMutex(const std::string& AName,
                                                        bool& AAlreadyExisted) = 0;
};

} // namespace platform

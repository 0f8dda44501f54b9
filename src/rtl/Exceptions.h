// The exception family of the runtime kit. Platform failures that the system reports as
// exceptions (registry, file streams, range checks) carry these types and texts.
#pragma once

#include <stdexcept>
#include <string>

namespace rtl {

class Exception : public std::runtime_error {
public:
  explicit Exception(const std::string& AMessage) : std::runtime_error(AMessage) {}
};

// A value that must fit a narrower type or an index range did not.
class ERangeError : public Exception {
public:
  ERangeError() : Exception("Range check error") {}
};

class ERegistryException : public Exception {
public:
  using Exception::Exception;
};

class EStreamError : public Exception {
public:
  using Exception::Exception;
};

class EFOpenError : public EStreamError {
public:
  using EStreamError::EStreamError;
};

class EFCreateError : public EStreamError {
public:
  using EStreamError::EStreamError;
};

// A file or folder operation failed.
class EInOutError : public Exception {
public:
  using Exception::Exception;
};

// Replaces each "%s" of ATemplate, in order, by the next argument.
std::string FormatText(const std::string& ATemplate, std::initializer_list<std::string> AArgs);

} // namespace rtl

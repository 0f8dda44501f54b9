#include "rtl/Paths.h"

namespace rtl {

bool IsPathDelimiter(char AChar) {
#ifdef _WIN32
  return AChar == '\\' || AChar == '/';
#else
  return AChar == '/';
#endif
}

bool IsFolderBoundary(char AChar) {
#ifdef _WIN32
  return IsPathDelimiter(AChar) || AChar == ':';
#else
  return IsPathDelimiter(AChar);
#endif
}

std::string IncludeTrailingPathDelimiter(std::string_view APath) {
  std::string Result(APath);
  if (Result.empty() || !IsPathDelimiter(Result.back())) {
    Result += PathDelim;
  }
  return Result;
}

std::string ExcludeTrailingPathDelimiter(std::string_view APath) {
  std::string Result(APath);
  if (!Result.empty() && IsPathDelimiter(Result.back())) {
    Result.pop_back();
  }
  return Result;
}

namespace {
std::size_t FileNameStart(std::string_view APath) {
  std::size_t Index = APath.size();
  while (Index > 0 && !IsFolderBoundary(APath[Index - 1])) {
    --Index;
  }
  return Index;
}
} // namespace

std::string ExtractFilePath(std::string_view APath) {
  return std::string(APath.substr(0, FileNameStart(APath)));
}

std::string ExtractFileName(std::string_view APath) {
  return std::string(APath.substr(FileNameStart(APath)));
}

} // namespace rtl

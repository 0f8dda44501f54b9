// Path helpers. PathDelim is the platform's folder separator: a backslash on Windows, a
// slash elsewhere. Paths are UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace rtl {

#ifdef _WIN32
inline constexpr char PathDelim = '\\';
#else
inline constexpr char PathDelim = '/';
#endif

// True for the characters that end a folder part of a path on this platform (on Windows
// the slash and the drive colon count too, as the platform itself accepts them).
bool IsPathDelimiter(char AChar);
bool IsFolderBoundary(char AChar);

std::string IncludeTrailingPathDelimiter(std::string_view APath);
std::string ExcludeTrailingPathDelimiter(std::string_view APath);
// The folder part of a path with its trailing delimiter ("" when there is none).
std::string ExtractFilePath(std::string_view APath);
// The part after the last folder boundary.
std::string ExtractFileName(std::string_view APath);

} // namespace rtl

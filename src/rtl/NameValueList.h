// An ordered list of name=value pairs; names are compared without regard to ASCII case.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rtl {

class TNameValueList {
public:
  int Count() const { return static_cast<int>(FItems.size()); }
  const std::string& Names(int AIndex) const { return FItems.at(Index(AIndex)).first; }
  const std::string& ValueFromIndex(int AIndex) const { return FItems.at(Index(AIndex)).second; }
  // -1 when absent.
  int IndexOfName(std::string_view AName) const;
  // "" when absent.
  std::string Value(std::string_view AName) const;
  // Replaces the entry of that name, or appends one; an empty value removes the entry.
  void SetValue(std::string_view AName, std::string_view AValue);
  void Clear() { FItems.clear(); }

private:
  static std::size_t Index(int AIndex) { return static_cast<std::size_t>(AIndex); }
  std::vector<std::pair<std::string, std::string>> FItems;
};

} // namespace rtl

#include "rtl/Exceptions.h"

namespace rtl {

std::string FormatText(const std::string& ATemplate, std::initializer_list<std::string> AArgs) {
  std::string Result;
  auto Next = AArgs.begin();
  for (std::size_t I = 0; I < ATemplate.size(); ++I) {
    if (ATemplate[I] == '%' && I + 1 < ATemplate.size() && ATemplate[I + 1] == 's' &&
        Next != AArgs.end()) {
      Result += *Next++;
      ++I;
    } else {
      Result += ATemplate[I];
    }
  }
  return Result;
}

} // namespace rtl

#include "rtl/NameValueList.h"

#include "rtl/Component.h"

namespace rtl {

int TNameValueList::IndexOfName(std::string_view AName) const {
  for (std::size_t I = 0; I < FItems.size(); ++I) {
    if (SameText(FItems[I].first, AName)) {
      return static_cast<int>(I);
    }
  }
  return -1;
}

std::string TNameValueList::Value(std::string_view AName) const {
  const int Found = IndexOfName(AName);
  return Found < 0 ? std::string() : FItems[Index(Found)].second;
}

void TNameValueList::SetValue(std::string_view AName, std::string_view AValue) {
  const int Found = IndexOfName(AName);
  if (AValue.empty()) {
    if (Found >= 0) {
      FItems.erase(FItems.begin() + Found);
    }
  } else if (Found >= 0) {
    FItems[Index(Found)].second = std::string(AValue);
  } else {
    FItems.emplace_back(std::string(AName), std::string(AValue));
  }
}

} // namespace rtl

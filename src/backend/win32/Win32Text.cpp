#include "backend/win32/Win32Text.h"

#include "rtl/Utf.h"

namespace platform::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide text is UTF-16 on Windows");

std::wstring ToWide(std::string_view AText) {
  const std::u16string Units = rtl::Utf8ToUtf16(AText);
  return std::wstring(Units.begin(), Units.end());
}

std::string FromWide(std::wstring_view AText) {
  return rtl::Utf16ToUtf8(std::u16string(AText.begin(), AText.end()));
}

} // namespace platform::win32

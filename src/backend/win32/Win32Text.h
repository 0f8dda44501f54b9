// The Win32 backend's text boundary: the system speaks UTF-8, the wide APIs UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace platform::win32 {

std::wstring ToWide(std::string_view AText);
std::string FromWide(std::wstring_view AText);

} // namespace platform::win32

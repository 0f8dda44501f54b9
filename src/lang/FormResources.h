// The catalogue stored with the monitor's form ("ResourcesBin"), compiled into the program
// from resources/lang/MouseMonitor.lang.
#pragma once

#include <string_view>

namespace lang {

std::string_view MouseMonitorResourcesBin();

} // namespace lang

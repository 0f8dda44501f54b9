#include "lang/FormResources.h"

#include <cstddef>

extern const unsigned char MouseMonitorResourcesBin[];
extern const std::size_t MouseMonitorResourcesBinSize;

namespace lang {

std::string_view MouseMonitorResourcesBin() {
  return std::string_view(reinterpret_cast<const char*>(::MouseMonitorResourcesBin),
                          ::MouseMonitorResourcesBinSize);
}

} // namespace lang

#include "hid/UsageAndPage.h"

#include <atomic>

namespace hid {

namespace {
std::atomic<uint32_t> GDeviceUsageAndPage{0};
} // namespace

USAGE_AND_PAGE DeviceUsageAndPage() {
  return USAGE_AND_PAGE::FromValue(GDeviceUsageAndPage.load());
}

void SetDeviceUsageAndPage(USAGE_AND_PAGE AValue) {
  GDeviceUsageAndPage.store(AValue.Value());
}

} // namespace hid

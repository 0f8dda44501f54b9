#include <gtest/gtest.h>

#include "rtl/Crc32.h"

namespace {

TEST(Crc32, GivesTheCommonSumsAlsoInParts) {
  EXPECT_EQ(rtl::Crc32("123456789"), 0xCBF43926u);
  EXPECT_EQ(rtl::Crc32(""), 0u);
  EXPECT_EQ(rtl::Crc32("6789", rtl::Crc32("12345")), 0xCBF43926u);
}

} // namespace

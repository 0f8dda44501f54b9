#include <gtest/gtest.h>

#include "rtl/Exceptions.h"
#include "rtl/MemoryStream.h"
#include "rtl/NameValueList.h"

namespace {

TEST(MemoryStream, WritesGrowReadsStopAtTheEnd) {
  rtl::TMemoryStream Stream;
  const uint8_t Bytes[5] = {1, 2, 3, 4, 5};
  EXPECT_EQ(Stream.Write(Bytes, 5), 5);
  Stream.SetPosition(3);
  EXPECT_EQ(Stream.Write(Bytes, 4), 4);
  EXPECT_EQ(Stream.Bytes(), (std::vector<uint8_t>{1, 2, 3, 1, 2, 3, 4}));

  uint8_t Out[10] = {};
  Stream.SetPosition(5);
  EXPECT_EQ(Stream.Read(Out, 10), 2);
  EXPECT_EQ(Out[1], 4);
  EXPECT_EQ(Stream.Read(Out, 10), 0);
  EXPECT_EQ(Stream.Write(Bytes, 0), 0);
  EXPECT_EQ(Stream.Write(Bytes, -3), 0);
  EXPECT_EQ(Stream.Size(), 7);
}

TEST(MemoryStream, ResizingKeepsLeadingBytesAndRefusesNegativeSizes) {
  rtl::TMemoryStream Stream;
  Stream.Assign({9, 8, 7});
  Stream.SetPosition(3);
  Stream.SetSize(2);
  EXPECT_EQ(Stream.Position(), 2);
  Stream.SetSize(4);
  EXPECT_EQ(Stream.Bytes(), (std::vector<uint8_t>{9, 8, 0, 0}));
  EXPECT_THROW(Stream.SetSize(-1), rtl::EStreamError);
  EXPECT_EQ(Stream.Size(), 4);
  Stream.SetPosition(99);
  EXPECT_EQ(Stream.Position(), 4);
}

TEST(NameValueList, ReplacesByNameAndRemovesOnEmptyValue) {
  rtl::TNameValueList List;
  List.SetValue("en", "a.chm");
  List.SetValue("cn", "b.chm");
  List.SetValue("EN", "c.chm");
  ASSERT_EQ(List.Count(), 2);
  EXPECT_EQ(List.Names(0), "en");
  EXPECT_EQ(List.ValueFromIndex(0), "c.chm");
  List.SetValue("Cn", "");
  List.SetValue("missing", "");
  EXPECT_EQ(List.Count(), 1);
  EXPECT_EQ(List.IndexOfName("cn"), -1);
  EXPECT_EQ(List.Value("cn"), "");
}

} // namespace

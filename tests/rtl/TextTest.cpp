#include <gtest/gtest.h>

#include <cstring>

#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"
#include "rtl/Paths.h"
#include "rtl/RangeCheck.h"
#include "rtl/Utf.h"

namespace {

TEST(Utf, ConvertsEveryPlaneBothWays) {
  const std::string Text = "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x96\xB1"; // A é 中 U+1F5B1
  const std::u16string Units = rtl::Utf8ToUtf16(Text);
  EXPECT_EQ(Units, (std::u16string{u'A', 0x00E9, 0x4E2D, 0xD83D, 0xDDB1}));
  EXPECT_EQ(rtl::Utf16ToUtf8(Units), Text);
}

TEST(Utf, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(rtl::Utf8ToUtf16("a\xFF"
                             "b"),
            (std::u16string{u'a', 0xFFFD, u'b'}));
  EXPECT_EQ(rtl::Utf8ToUtf16("\xC3"), std::u16string{0xFFFD});                // cut short
  EXPECT_EQ(rtl::Utf8ToUtf16("\xC0\xAF"), (std::u16string{0xFFFD, 0xFFFD}));  // overlong
  EXPECT_EQ(rtl::Utf16ToUtf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx"); // lone surrogate
  EXPECT_EQ(rtl::SanitizeUtf8("ok\xE4\xB8"), "ok\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Utf, TextHandedOnInPiecesIsNeverCutInsideACharacter) {
  const std::string Text = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9D\x84\x9E"
                           "b";
  for (std::size_t Cut = 0; Cut <= Text.size(); ++Cut) {
    const std::size_t Kept = rtl::UnfinishedUtf8Tail(Text.substr(0, Cut));
    // What is handed on now and what comes after it convert as the whole text does.
    EXPECT_EQ(rtl::Utf8ToUtf16(Text.substr(0, Cut - Kept)) +
                  rtl::Utf8ToUtf16(Text.substr(Cut - Kept)),
              rtl::Utf8ToUtf16(Text))
        << Cut;
  }
  // Bytes that nothing can complete are handed on as they are.
  EXPECT_EQ(rtl::UnfinishedUtf8Tail("a\x80\x80\x80"), 0u);
  EXPECT_EQ(rtl::UnfinishedUtf8Tail("\xFF"), 0u);
}

TEST(FixedText, StoresCutTerminatedAndZeroFilled) {
  char16_t Field[6];
  std::memset(Field, 0xAB, sizeof(Field));
  rtl::StoreFixedText(Field, "ab");
  const char16_t Expected[6] = {u'a', u'b', 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(Field, Expected, sizeof(Field)), 0);

  rtl::StoreFixedText(Field, "abcdefgh");
  EXPECT_EQ(rtl::ReadFixedText(Field), "abcde");
  EXPECT_EQ(Field[5], 0);

  // A name of 21 or more characters keeps 20 and the terminator in a 21-unit field.
  char16_t FileName[21];
  rtl::StoreFixedText(FileName, "ABCDEFGHIJKLMNOPQRSTUVWXYZ.pfd");
  EXPECT_EQ(rtl::ReadFixedText(FileName), "ABCDEFGHIJKLMNOPQRST");
}

TEST(FixedText, NeverSplitsASurrogatePairAndReadsUnterminatedFields) {
  char16_t Field[4];
  rtl::StoreFixedText(Field, "ab\xF0\x9F\x96\xB1"); // the pair would need units 2 and 3
  EXPECT_EQ(rtl::ReadFixedText(Field), "ab");
  EXPECT_EQ(Field[2], 0);

  const char16_t Full[3] = {u'x', u'y', u'z'};
  EXPECT_EQ(rtl::ReadFixedText(Full), "xyz");
}

TEST(FixedText, TextHoldingANulStoresOnlyWhatAReadGivesBack) {
  char16_t Field[8];
  std::memset(Field, 0xAB, sizeof(Field));
  rtl::StoreFixedText(Field, std::string_view("ab\0cd", 5));
  const char16_t Expected[8] = {u'a', u'b', 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(Field, Expected, sizeof(Field)), 0);
  EXPECT_EQ(rtl::ReadFixedText(Field), "ab");
  // A leading NUL leaves an empty, all-zero field.
  rtl::StoreFixedText(Field, std::string_view("\0xyz", 4));
  const char16_t Empty[8] = {};
  EXPECT_EQ(std::memcmp(Field, Empty, sizeof(Field)), 0);
}

TEST(Paths, DelimiterHelpersFollowThePlatform) {
  const std::string D(1, rtl::PathDelim);
  EXPECT_EQ(rtl::IncludeTrailingPathDelimiter("a"), "a" + D);
  EXPECT_EQ(rtl::IncludeTrailingPathDelimiter("a" + D), "a" + D);
  EXPECT_EQ(rtl::IncludeTrailingPathDelimiter(""), D);
  EXPECT_EQ(rtl::ExcludeTrailingPathDelimiter("a" + D), "a");
  EXPECT_EQ(rtl::ExtractFilePath("x" + D + "y" + D + "f.pfd"), "x" + D + "y" + D);
  EXPECT_EQ(rtl::ExtractFileName("x" + D + "y" + D + "f.pfd"), "f.pfd");
  EXPECT_EQ(rtl::ExtractFilePath("f.pfd"), "");
  EXPECT_EQ(rtl::ExtractFileName("x" + D), "");
#ifdef _WIN32
  EXPECT_EQ(rtl::ExtractFilePath("C:f.pfd"), "C:");
  EXPECT_EQ(rtl::ExtractFileName("C:/a/f.pfd"), "f.pfd");
#endif
}

TEST(RangeCheck, SixteenBitValuesAndIndexRanges) {
  EXPECT_EQ(rtl::CheckWord(0), 0);
  EXPECT_EQ(rtl::CheckWord(65535), 65535);
  EXPECT_THROW(rtl::CheckWord(65536), rtl::ERangeError);
  EXPECT_THROW(rtl::CheckWord(-1), rtl::ERangeError);
  EXPECT_NO_THROW(rtl::CheckIndex(4, 0, 4));
  try {
    rtl::CheckIndex(5, 0, 4);
    FAIL() << "no range error";
  } catch (const rtl::ERangeError& E) {
    EXPECT_STREQ(E.what(), "Range check error");
  }
}

TEST(FormatText, FillsPlaceholdersInOrder) {
  EXPECT_EQ(rtl::FormatText("Cannot open file \"%s\". %s", {"a.pfd", "Access is denied."}),
            "Cannot open file \"a.pfd\". Access is denied.");
  EXPECT_EQ(rtl::FormatText("%s and %s", {"one"}), "one and %s");
}

TEST(DateTime, CountsDaysSinceTheEndOf1899) {
  EXPECT_DOUBLE_EQ(rtl::EncodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
  EXPECT_DOUBLE_EQ(rtl::EncodeDateTime({1900, 1, 1, 0, 0, 0, 0}), 2.0);
  EXPECT_DOUBLE_EQ(rtl::EncodeDateTime({2000, 1, 1, 12, 0, 0, 0}), 36526.5);
  EXPECT_DOUBLE_EQ(rtl::EncodeDateTime({2024, 2, 29, 6, 0, 0, 0}), 45351.25);
  EXPECT_DOUBLE_EQ(rtl::EncodeDateTime({1899, 12, 29, 6, 0, 0, 0}), -1.25);
}

} // namespace

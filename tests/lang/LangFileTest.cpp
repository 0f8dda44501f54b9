#include <gtest/gtest.h>

#include "lang/LangFile.h"

namespace {

using namespace lang;

// Little-endian integer and UTF-16LE text, written out by hand.
std::string Int(int32_t AValue) {
  const auto Value = static_cast<uint32_t>(AValue);
  return {static_cast<char>(Value & 0xFF), static_cast<char>((Value >> 8) & 0xFF),
          static_cast<char>((Value >> 16) & 0xFF), static_cast<char>(Value >> 24)};
}
std::string Units(std::u16string_view AText) {
  std::string Out;
  for (char16_t Unit : AText) {
    Out += static_cast<char>(Unit & 0xFF);
    Out += static_cast<char>(Unit >> 8);
  }
  return Out;
}
std::string Text(std::u16string_view AText) {
  return Int(static_cast<int32_t>(AText.size())) + Units(AText);
}

TEST(LangFile, EncodesTheLayoutExactly) {
  TCatalogueData Data;
  Data.Originals = {"About", "Exit"};
  Data.Languages = {{"CH", {"Exit=\xE9\x80\x80\xE5\x87\xBA"}}, {"US", {}}};
  const std::string Expected = Text(u"About\r\nExit\r\n") + Int(2) + Text(u"CH") +
                               Text(u"Exit=\u9000\u51FA\r\n") + Text(u"US") + Text(u"");
  EXPECT_EQ(EncodeCatalogue(Data), Expected);

  TCatalogueData Read;
  const TLangLoadResult Result = DecodeCatalogue(Expected, Read);
  EXPECT_TRUE(Result.Complete) << Result.Problem;
  EXPECT_EQ(Read.Originals, Data.Originals);
  ASSERT_EQ(Read.Languages.size(), 2u);
  EXPECT_EQ(Read.Languages[0].Lines, Data.Languages[0].Lines);
  EXPECT_TRUE(Read.Languages[1].Lines.empty());
  EXPECT_EQ(EncodeCatalogue(Read), Expected);
}

TEST(LangFile, LinesBreakAtEveryLineEnd) {
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd\ve\ff\xE2\x80\xA8g\xE2\x80\xA9h"),
            (std::vector<std::string>{"a", "b", "c", "d", "e", "f", "g", "h"}));
  EXPECT_EQ(SplitLines("a\r\n\r\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitLines("a\n\r"), (std::vector<std::string>{"a", ""}));
  EXPECT_TRUE(SplitLines("").empty());
  EXPECT_EQ(SplitLines("Basic=Basic \r\n"), std::vector<std::string>{"Basic=Basic "});
}

TEST(LangFile, AnEmptyCatalogueHasALanguageCountOfZero) {
  const std::string Bytes = EncodeCatalogue({});
  EXPECT_EQ(Bytes, Int(0) + Int(0));
  TCatalogueData Read;
  Read.Originals = {"stale"};
  EXPECT_TRUE(DecodeCatalogue(Bytes, Read).Complete);
  EXPECT_TRUE(Read.Originals.empty());
  EXPECT_TRUE(Read.Languages.empty());
}

TEST(LangFile, DamageKeepsWhatCameBeforeIt) {
  const std::string Good = Text(u"About\r\n") + Int(2) + Text(u"CH") + Text(u"About=x\r\n");
  struct TCase {
    const char* What;
    std::string Bytes;
    std::size_t Languages;
    bool Originals;
  };
  const TCase Cases[] = {
      {"empty", "", 0, false},
      {"truncated count", std::string("\x05\x00", 2), 0, false},
      {"count past the end", Int(1000) + Units(u"About"), 0, false},
      {"negative count", Int(-1), 0, false},
      {"text ending mid-unit", Int(1) + "A", 0, false},
      {"no language count", Text(u"About\r\n"), 0, true},
      {"negative language count", Text(u"About\r\n") + Int(-3), 0, true},
      {"huge language count", Text(u"About\r\n") + Int(0x7FFFFFFF) + Text(u"CH"), 0, true},
      {"second language missing", Good, 1, true},
      {"second table cut", Good + Text(u"US") + Int(4) + Units(u"ab"), 1, true},
      {"odd trailing byte", Text(u"About\r\n") + Int(1) + Text(u"CH") + Text(u"") + "x", 1, true},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.What);
    TCatalogueData Read;
    const TLangLoadResult Result = DecodeCatalogue(Case.Bytes, Read);
    EXPECT_FALSE(Result.Complete);
    EXPECT_FALSE(Result.Problem.empty());
    EXPECT_EQ(Read.Languages.size(), Case.Languages);
    EXPECT_EQ(!Read.Originals.empty(), Case.Originals);
  }
}

} // namespace

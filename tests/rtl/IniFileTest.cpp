#include <gtest/gtest.h>

#include "backend/sim/SimWorld.h"
#include "platform/ConfigFile.h"
#include "platform/SysError.h"
#include "rtl/IniFile.h"

namespace {

rtl::TIniFile ParseUtf8(std::string_view AText) {
  return rtl::TIniFile::Parse(AText, nullptr);
}

TEST(IniFile, NamesIgnoreCaseAndTheFirstOccurrenceWins) {
  const auto Ini = ParseUtf8("[Options]\nKey=first\nKEY=second\n[options]\nOther=x\n"
                             "[Devices]\nid1=a\n");
  EXPECT_EQ(Ini.ReadString("OPTIONS", "key", "d"), "first");
  // The repeated section adds nothing.
  EXPECT_EQ(Ini.ReadString("options", "Other", "d"), "d");
  EXPECT_TRUE(Ini.SectionExists("devices"));
  EXPECT_FALSE(Ini.SectionExists("missing"));
  EXPECT_TRUE(Ini.ValueExists("Devices", "ID1"));
}

TEST(IniFile, TrimsBlanksRemovesOneQuotePairAndSkipsComments) {
  const auto Ini = ParseUtf8("; leading comment\r\n  [ s ]  \r\n\t a \t=  spaced value  \r\n"
                             "q1=\"quoted\"\r\nq2='\"inner\"'\r\nq3=\"unbalanced'\r\n"
                             ";k=commented\r\nempty=\r\nnovalue\r\n");
  EXPECT_EQ(Ini.ReadString("s", "a", ""), "spaced value");
  EXPECT_EQ(Ini.ReadString("s", "q1", ""), "quoted");
  EXPECT_EQ(Ini.ReadString("s", "q2", ""), "\"inner\"");
  EXPECT_EQ(Ini.ReadString("s", "q3", ""), "\"unbalanced'");
  EXPECT_FALSE(Ini.ValueExists("s", ";k"));
  EXPECT_FALSE(Ini.ValueExists("s", "k"));
  EXPECT_EQ(Ini.ReadString("s", "empty", "default"), "");
  EXPECT_EQ(Ini.ReadString("s", "novalue", "default"), "default");
  EXPECT_EQ(Ini.ReadSection("s"), (std::vector<std::string>{"a", "q1", "q2", "q3", "empty"}));
}

TEST(IniFile, GarbageAndKeysOutsideSectionsAreIgnored) {
  std::string Text = "orphan=1\n\x01\x02garbage\n[s]\n[t=1\nk=v\n[]\norphan=bracketed\n";
  Text += std::string(200000, 'x') + "\n[u]\nlong=" + std::string(100000, 'y') + "\n";
  const auto Ini = ParseUtf8(Text);
  // Lines before the first header belong to no section; the empty name is that of "[]".
  EXPECT_EQ(Ini.ReadString("", "orphan", "none"), "bracketed");
  // A header without ']' is a key line of the section before it.
  EXPECT_EQ(Ini.ReadString("s", "k", ""), "v");
  EXPECT_EQ(Ini.ReadString("s", "[t", ""), "1");
  EXPECT_EQ(Ini.ReadString("u", "long", "").size(), 100000u);
  EXPECT_EQ(ParseUtf8("no sections at all\nkey=value").ReadString("", "key", "d"), "d");
}

TEST(IniFile, QueriedNamesAreTrimmedOfBlanks) {
  const auto Ini = ParseUtf8("[Options]\nKey=v\n");
  EXPECT_EQ(Ini.ReadString(" options\t", "\tKEY ", "d"), "v");
  EXPECT_TRUE(Ini.SectionExists("  Options "));
  EXPECT_TRUE(Ini.ValueExists(" options", "key "));
  EXPECT_EQ(Ini.ReadSection(" options "), std::vector<std::string>{"Key"});
  EXPECT_EQ(Ini.ReadString("opt ions", "Key", "d"), "d");
}

// A listing is what a caller of the platform's reader sees in its list of names: only lines
// with "=", each of them, and nothing after an empty name, which ends the list.
TEST(IniFile, KeyListingsHoldEveryKeyLineWithAnEqualsSignUpToAnEmptyName) {
  const auto Ini = ParseUtf8("[s]\na=1\nbare\nb=2\nA=3\n=nameless\nc=4\n");
  EXPECT_EQ(Ini.ReadSection("s"), (std::vector<std::string>{"a", "b", "A"}));
  EXPECT_EQ(Ini.ReadString("s", "a", "d"), "1");
  EXPECT_EQ(Ini.ReadString("s", "bare", "d"), "d");
  EXPECT_FALSE(Ini.ValueExists("s", "bare"));
  EXPECT_EQ(Ini.ReadString("s", "", "d"), "nameless");
  EXPECT_EQ(Ini.ReadString("s", "c", "d"), "4");
  EXPECT_EQ(ParseUtf8("[s]\n=first\nk=v\n").ReadSection("s"), std::vector<std::string>{});
}

TEST(IniFile, AValueEndsAtANulByte) {
  const char Text[] = "[s]\nk=ab\0cd\nq=\"x\0y\"\nnext=n\n";
  const auto Ini = ParseUtf8(std::string_view(Text, sizeof(Text) - 1));
  EXPECT_EQ(Ini.ReadString("s", "k", "d"), "ab");
  EXPECT_EQ(Ini.ReadString("s", "q", "d"), "\"x");
  EXPECT_EQ(Ini.ReadString("s", "next", "d"), "n");
}

TEST(IniFile, ByteOrderMarksSelectTheEncodingOtherwiseTheAnsiDecoderRuns) {
  const std::string Utf8Bom = "\xEF\xBB\xBF[s]\nname=caf\xC3\xA9\n";
  std::string Utf16 = "\xFF\xFE";
  for (char C : std::string("[s]\r\nname=caf")) {
    Utf16 += C;
    Utf16 += '\0';
  }
  Utf16 += "\xE9";
  Utf16 += '\0';
  int AnsiCalls = 0;
  const rtl::TAnsiDecoder Latin1 = [&](std::string_view AText) {
    ++AnsiCalls;
    std::string Out;
    for (char C : AText) {
      const auto Byte = static_cast<unsigned char>(C);
      Out += Byte < 0x80 ? std::string(1, C)
                         : std::string{static_cast<char>(0xC0 | (Byte >> 6)),
                                       static_cast<char>(0x80 | (Byte & 0x3F))};
    }
    return Out;
  };
  EXPECT_EQ(rtl::TIniFile::Parse(Utf8Bom, Latin1).ReadString("s", "name", ""), "caf\xC3\xA9");
  EXPECT_EQ(rtl::TIniFile::Parse(Utf16, Latin1).ReadString("s", "name", ""), "caf\xC3\xA9");
  EXPECT_EQ(AnsiCalls, 0);
  EXPECT_EQ(rtl::TIniFile::Parse("[s]\nname=caf\xE9\n", Latin1).ReadString("s", "name", ""),
            "caf\xC3\xA9");
  EXPECT_EQ(AnsiCalls, 1);
}

TEST(IniFile, IntegersAreDecimalOrHexadecimalAndAnythingElseGivesTheDefault) {
  const auto Ini = ParseUtf8("[n]\na=42\nb=-17\nc=0x1F\nd=$ff\ne=abc\nf=12abc\ng=\n"
                             "h=2147483648\ni=-2147483648\nj=0xFFFFFFFF\nk=0x1FFFFFFFF\nl=0x\n");
  EXPECT_EQ(Ini.ReadInteger("n", "a", 7), 42);
  EXPECT_EQ(Ini.ReadInteger("n", "b", 7), -17);
  EXPECT_EQ(Ini.ReadInteger("n", "c", 7), 31);
  EXPECT_EQ(Ini.ReadInteger("n", "d", 7), 255);
  for (const char* Bad : {"e", "f", "g", "h", "k", "l", "missing"}) {
    EXPECT_EQ(Ini.ReadInteger("n", Bad, 7), 7) << Bad;
  }
  EXPECT_EQ(Ini.ReadInteger("n", "i", 7), INT32_MIN);
  EXPECT_EQ(Ini.ReadInteger("n", "j", 7), -1);
}

TEST(IniFile, IdListsStopAtTheFirstMissingOrEmptyIdAndAt101) {
  EXPECT_EQ(ParseUtf8("[l]\nid1=a\nid2=b\nid4=d\n").ReadIdList("l"),
            (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(ParseUtf8("[l]\nid2=b\n").ReadIdList("l").empty());
  EXPECT_EQ(ParseUtf8("[l]\nid1=a\nid2=\nid3=c\n").ReadIdList("l").size(), 1u);
  std::string Long = "[l]\n";
  for (int I = 1; I <= 120; ++I) {
    Long += "id" + std::to_string(I) + "=v" + std::to_string(I) + "\n";
  }
  const auto Ids = ParseUtf8(Long).ReadIdList("l");
  ASSERT_EQ(Ids.size(), 101u);
  EXPECT_EQ(Ids.back(), "v101");
}

TEST(IniFile, LoadingNeverRaisesAndFailuresGiveAnEmptyFile) {
  platform::sim::TSimWorld World;
  const std::string Path = platform::ConfigFilePath(World.Environment);
  EXPECT_EQ(Path, World.Environment.ModuleFolder() + "config.ini");
  EXPECT_FALSE(platform::LoadConfigFile(World.Files, World.Environment).SectionExists("s"));

  const std::string Text = "[s]\nk=v\n";
  ASSERT_EQ(World.Files.ReplaceFileContent(Path, Text.data(), Text.size()), 0u);
  EXPECT_EQ(platform::LoadConfigFile(World.Files, World.Environment).ReadString("s", "k", ""), "v");

  World.Files.FailNext(platform::sim::TSimFileOp::Read, platform::SysError::AccessDenied);
  EXPECT_FALSE(platform::LoadConfigFile(World.Files, World.Environment).SectionExists("s"));

  std::string Huge = Text + std::string(platform::cMaxIniFileSize, ';');
  ASSERT_EQ(World.Files.ReplaceFileContent(Path, Huge.data(), Huge.size()), 0u);
  EXPECT_FALSE(platform::LoadConfigFile(World.Files, World.Environment).SectionExists("s"));
}

} // namespace

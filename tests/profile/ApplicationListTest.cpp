// The application lists of the game profiles: their stored form and what matches them.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "profile/ApplicationList.h"

namespace {

using namespace profile;

TEST(ApplicationListTest, EntriesMatchByPathFolderOrNameAndTheLowestProfileWins) {
  const std::pair<const char*, const char*> Matching[] = {
      {"C:\\Games\\Quake\\quake.exe", "c:/games/QUAKE/Quake.EXE"},
      {"D:\\Launchers\\", "D:\\Launchers\\Big Game\\bin\\game.exe"},
      {"quake.exe", "E:\\Elsewhere\\QUAKE.exe"},
      {"spiel.exe", "C:\\Spiele\\spiel.exe"}};
  for (const auto& [Entry, Program] : Matching) {
    EXPECT_TRUE(ApplicationMatches(Entry, Program)) << Entry << " / " << Program;
  }
  const std::pair<const char*, const char*> Different[] = {
      {"C:\\Games\\Quake\\quake.exe", "C:\\Games\\Quake2\\quake.exe"},
      {"D:\\Launchers\\", "D:\\Launchers"},           // the folder itself is no program
      {"D:\\Launchers\\", "D:\\LaunchersOld\\x.exe"}, // a folder is a whole name
      {"quake.exe", "C:\\Games\\notquake.exe"},
      {"quake.exe", ""}};
  for (const auto& [Entry, Program] : Different) {
    EXPECT_FALSE(ApplicationMatches(Entry, Program)) << Entry << " / " << Program;
  }
}

TEST(ApplicationListTest, EntriesAreStoredAsTextAndDamagedOnesMatchNothing) {
  auto Configs = std::make_unique<std::array<TMOUSECONFIGINFO, cGameProfileCount>>();
  std::memset(static_cast<void*>(Configs.get()), 0, sizeof(*Configs));
  TMOUSECONFIGINFO& Second = (*Configs)[1];
  TMOUSECONFIGINFO& Fourth = (*Configs)[3];
  TMOUSECONFIGINFO& Fifth = (*Configs)[4];
  const std::string Game = "C:\\Spiele\\\u00dcbung \u6e38\u620f\\quake.exe";
  ASSERT_TRUE(StoreApplicationEntry(Fourth, 9, Game));
  EXPECT_EQ(ApplicationEntry(Fourth, 9), Game);
  EXPECT_EQ(ApplicationEntry(Fourth, 0), "");
  EXPECT_TRUE(StoreApplicationEntry(Fourth, 0, std::string(cMaxApplicationUnits, 'a')));
  EXPECT_FALSE(StoreApplicationEntry(Fourth, 0, std::string(cMaxApplicationUnits + 1, 'a')));
  EXPECT_FALSE(StoreApplicationEntry(Fourth, 0, "a\tb"));
  EXPECT_EQ(ApplicationEntry(Fourth, 0)->size(), cMaxApplicationUnits);

  // No terminator within the entry's units; a lone surrogate.
  std::memset(Fifth.ApplicationList, 'x', cApplicationEntrySize);
  const char16_t Lone[] = {0xD800, u'a', 0};
  std::memcpy(Fifth.ApplicationList + cApplicationEntrySize, Lone, sizeof(Lone));
  EXPECT_EQ(ApplicationEntry(Fifth, 0), std::nullopt);
  EXPECT_EQ(ApplicationEntry(Fifth, 1), std::nullopt);
  ASSERT_TRUE(StoreApplicationEntry(Fifth, 2, "quake.exe"));
  ASSERT_TRUE(StoreApplicationEntry(Second, 0, "quake.exe")); // its switch stays off
  Fourth.AutoSwitchProfileWhenAppRun = 1;
  Fifth.AutoSwitchProfileWhenAppRun = 1;

  std::array<TApplicationSwitch, cGameProfileCount> Switches;
  for (std::size_t Index = 0; Index < Switches.size(); ++Index) {
    Switches[Index] = ApplicationSwitch((*Configs)[Index]);
  }
  EXPECT_EQ(Switches[4].Entries, std::vector<std::string>{"quake.exe"});
  EXPECT_EQ(ProfileForApplication(Switches, Game), 3);
  EXPECT_EQ(ProfileForApplication(Switches, "C:\\x\\quake.exe"), 4);
  EXPECT_EQ(ProfileForApplication(Switches, "C:\\x\\doom.exe"), std::nullopt);
}

} // namespace

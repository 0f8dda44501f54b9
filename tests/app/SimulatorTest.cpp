// The simulator: its scenario language, the shipped scenarios played against the real
// monitor, and a scenario whose expectation the monitor does not meet.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/sim/Cli.h"
#include "app/sim/Scenario.h"
#include "app/sim/Simulation.h"
#include "app/sim/Timeline.h"
#include "backend/sim/SimWorld.h"
#include "support/Process.h"
#include "support/TempFolder.h"
#include "support/Wait.h"

namespace {

using namespace simulator;
namespace fs = std::filesystem;

TEST(ScenarioTest, LinesAreReadWithTheirTimesAndBadOnesAreNamedByNumber) {
  const TScenario Good = ParseScenario("# a comment\n"
                                       "0 plug\n"
                                       "\n"
                                       "0 start   # from here on time runs\n"
                                       "1500 level 3\n"
                                       "+100 expect driver \"current level 3\"\n"
                                       "+0 expect no box\n"
                                       "2000 store language zh\n",
                                       "good");
  ASSERT_EQ(Good.Lines.size(), 6u);
  EXPECT_EQ(Good.Lines[1].Command, TCommand::Start);
  EXPECT_EQ(Good.Lines[2].Numbers, std::vector<uint32_t>{3});
  EXPECT_EQ(Good.Lines[3].TimeMs, 1600u);
  EXPECT_EQ(Good.Lines[3].LineNumber, 6);
  EXPECT_EQ(Good.Lines[3].Text, "current level 3");
  EXPECT_EQ(Good.Lines[4].Command, TCommand::ExpectNo);
  EXPECT_EQ(Good.Lines[5].Numbers, std::vector<uint32_t>{1});

  const std::pair<const char*, std::pair<int, const char*>> Bad[] = {
      {"0 start\n1 jump\n", {2, "\"jump\" is no command"}},
      {"0 start\n1 press 24\n", {2, "0 to 23"}},
      {"0 start\n1 press\n", {2, "takes 1 argument"}},
      {"0 start\n100 level 3\n50 level 2\n", {3, "goes back"}},
      {"0 start\n1 status 2 1\n", {2, "codes 6 and 7"}},
      {"0 start\n1 config send 7040\n", {2, "7035 or 7037"}},
      {"0 start\n1 store language fr\n", {2, "en, zh and tw"}},
      {"0 start\n1 expect nothing\n", {2, "no kind of event"}},
      {"0 start\n1 expect tray \"open\n", {2, "quote"}},
      {"level 3\n", {1, "a time and a command"}},
      {"0 plug\n10 start\n", {2, "starts at 0"}},
      {"0 expect tray\n0 start\n", {1, "follow \"start\""}},
      {"0 start\n0 start\n", {2, "starts once"}},
      {"0 start\n1 tray exit\n2 level 3\n", {3, "only expectations"}},
      {"0 plug\n", {1, "never starts"}},
      {"0 start\n1 config start\n2 config stop\n3 config send 7035\n", {4, "not running"}},
      {"0 start\n1 ctl cpi 1 level 3 1e3\n", {2, "profile tool refuses it: the resolution"}},
      {"0 start\n1 ctl export backup\n", {2, "not in a scenario"}},
  };
  for (const auto& [Text, Error] : Bad) {
    try {
      ParseScenario(Text, "bad");
      ADD_FAILURE() << "accepted: " << Text;
    } catch (const EScenarioError& AError) {
      EXPECT_EQ(AError.Line(), Error.first) << Text;
      EXPECT_NE(std::string(AError.what()).find(Error.second), std::string::npos) << AError.what();
      EXPECT_EQ(std::string(AError.what()).rfind("bad:" + std::to_string(Error.first) + ": ", 0),
                0u);
    }
  }
}

// Plays a scenario; the timeline's text is kept for the failure message.
TVerdict Play(const TScenario& AScenario, std::string& ATimeline) {
  std::ostringstream Out;
  TTextTimeline Timeline(Out);
  TSimulation Simulation(Timeline);
  TScenarioSource Source(AScenario);
  const TVerdict Verdict = Simulation.Run(Source, AScenario.Name);
  ATimeline = Out.str();
  return Verdict;
}

class ShippedScenarioTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ShippedScenarioTest, Passes) {
  std::ifstream File(fs::path(MONITOR_SCENARIO_DIR) / (GetParam() + ".scn"));
  ASSERT_TRUE(File) << GetParam();
  std::ostringstream Text;
  Text << File.rdbuf();
  std::string Timeline;
  const TVerdict Verdict = Play(ParseScenario(Text.str(), GetParam()), Timeline);
  EXPECT_TRUE(Verdict.Passed()) << Timeline;
  EXPECT_GT(Verdict.Expectations, 0);
  EXPECT_EQ(Verdict.ExitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, ShippedScenarioTest,
                         ::testing::Values("default", "not-plugged-at-start", "no-microphone",
                                           "no-config-program", "application-in-front",
                                           "level-on-screen"),
                         [](const auto& AInfo) {
                           std::string Name = AInfo.param;
                           std::replace(Name.begin(), Name.end(), '-', '_');
                           return Name;
                         });

TEST(SimulatorTest, AnExpectationTheMonitorDoesNotMeetFailsTheRun) {
  // The mouse is plugged in, so the check at 3000 starts a reader: the first expectation
  // holds, the second cannot.
  const TScenario Scenario = ParseScenario("0 plug\n"
                                           "0 start\n"
                                           "3000 expect reader \"reading\"\n"
                                           "3000 expect no driver \"resolution table\"\n"
                                           "3100 level 2\n"
                                           "+100 expect driver \"current level 2\"\n",
                                           "broken");
  std::string Timeline;
  const TVerdict Verdict = Play(Scenario, Timeline);
  EXPECT_FALSE(Verdict.Passed());
  EXPECT_EQ(Verdict.Expectations, 3);
  EXPECT_EQ(Verdict.Failed, 1);
  EXPECT_NE(Timeline.find("FAIL  expect no driver \"resolution table\"   <- not so (line 4)"),
            std::string::npos)
      << Timeline;
  EXPECT_NE(Timeline.find("FAIL broken: 1 of 3 expectations not met (line 4)"), std::string::npos)
      << Timeline;
  // The monitor ran on after it and was closed at the end of the lines.
  EXPECT_EQ(Verdict.ExitCode, 0);
}

// The command line as scripts and editors use it: options in any order, unknown ones and
// loose numbers refused by name, files named as given, a BOM and standard input read, bytes
// that are not text shown escaped, and JSON alone on standard output.
TEST(SimulatorCliTest, OptionsNumbersAndFilesAreTakenStrictlyAndNamedAsGiven) {
  static std::istringstream In; // the prompt's reader may outlive a run
  const auto Cli = [](std::vector<std::string> AArgs, std::string AInput = "") {
    In.clear();
    In.str(std::move(AInput));
    std::ostringstream Out;
    std::ostringstream Err;
    const int Code = RunSimulatorCli(AArgs, {In, Out, Err});
    return std::tuple{Code, Out.str(), Err.str()};
  };
  EXPECT_EQ(std::get<1>(Cli({"--version"})).rfind("tarnsim 1.", 0), 0u);
  EXPECT_NE(std::get<2>(Cli({"--frobnicate"})).find("unknown option \"--frobnicate\""),
            std::string::npos);
  for (const char* Rate : {"4294967297", "1e3", "10abc", "0", "8001"}) {
    const auto [Code, Out, Err] = Cli({"--load", Rate});
    EXPECT_EQ(Code, 2);
    EXPECT_NE(
        Err.find("the rate \"" + std::string(Rate) + "\" is not a whole number from 1 to 8000"),
        std::string::npos);
  }
  EXPECT_EQ(std::get<0>(Cli({"--interactive", "--load"})), 2);

  const test::TTempFolder Folder("tarnsim-cli-test-");
  const std::string Typo = (Folder / "typo.scn").string();
  constexpr char cTypo[] = "\xEF\xBB\xBF"
                           "0 plug\n0 start\n1 ju\0mp\n";
  std::ofstream(Typo, std::ios::binary) << std::string(cTypo, sizeof(cTypo) - 1);
  const auto [Code, Out, Err] = Cli({Typo, "--json"});
  EXPECT_EQ(Code, 2);
  EXPECT_EQ(Err.rfind(Typo + ":3: \"ju\\x00mp\" is no command", 0), 0u) << Err;
  EXPECT_TRUE(Out.empty());
  EXPECT_NE(std::get<2>(Cli({Folder.Path().string()})).find(": is a folder"), std::string::npos);
  const std::string Huge = (Folder / "huge.scn").string();
  std::ofstream{Huge};
  fs::resize_file(Huge, cMaxScenarioBytes + 1);
  EXPECT_NE(std::get<2>(Cli({Huge})).find("larger than the 64 MiB"), std::string::npos);

  // A scenario on standard input, in JSON: every line of standard output is a JSON object,
  // also where a text is not valid UTF-8.
  const auto [Played, Json, Human] = Cli(
      {"--json", "-"}, "0 plug\n0 start\n3000 expect reader\n3000 expect no tray \"\xff\xfe\"\n");
  EXPECT_EQ(Played, 0) << Human;
  std::istringstream Lines(Json);
  int Objects = 0;
  for (std::string Line; std::getline(Lines, Line); ++Objects) {
    EXPECT_TRUE(nlohmann::json::parse(Line, nullptr, false).is_object()) << Line;
  }
  EXPECT_GT(Objects, 3);
  // What the mouse cannot do while unplugged is narrated as nothing.
  const auto [Unplugged, Timeline, Said] = Cli({"-"}, "0 start\n100 level 3\n200 unplug\n");
  EXPECT_EQ(Unplugged, 0) << Said;
  EXPECT_EQ(Timeline.find("status report"), std::string::npos) << Timeline;
  EXPECT_NE(Timeline.find("unplug                nothing: the mouse is not plugged in"),
            std::string::npos)
      << Timeline;
  // At the prompt, time that runs keeps the expectations' window open, and a command after the
  // end is refused there like any mistake (this reads its input to the end: the last run).
  const auto [Prompted, Answers, Prompts] =
      Cli({"--interactive"}, "plug\nstart\nrun 3100\nlevel 3\nrun 500\nexpect driver \"level 3\"\n"
                             "tray exit\nlevel 2\nexpect monitor ended\n");
  EXPECT_EQ(Prompted, 0) << Answers;
  EXPECT_NE(Answers.find("the monitor has ended: only expectations follow"), std::string::npos);
}

// No simulated world's folder outlives its process: a Ctrl-C takes them with it, and what a
// killed process left is removed by the next one (but not what a living one uses).
TEST(SimulatorCliTest, NoWorldFolderOutlivesItsProcess) {
  const auto Folders = [](pid_t AOwner) {
    int Count = 0;
    for (const auto& Entry : fs::directory_iterator(fs::temp_directory_path())) {
      const std::string Name = Entry.path().filename().string();
      Count += Name.rfind("monitor-sim-", 0) == 0 &&
               Name.find("-" + std::to_string(AOwner) + "-") != std::string::npos;
    }
    return Count;
  };
  test::TProcessOptions Waiting;
  Waiting.HoldInput = true;
  test::TProcess Simulator(MONITOR_TARNSIM, {"--interactive"}, Waiting);
  ASSERT_TRUE(Simulator.Started());
  const auto Child = static_cast<pid_t>(Simulator.Id());
  // The positive control: it has one while it runs.
  EXPECT_TRUE(test::WaitUntil([&] { return Folders(Child) > 0; }, std::chrono::seconds(20)));
  Simulator.Signal(SIGINT);
  EXPECT_EQ(Simulator.End(std::chrono::seconds(20)), 128u + SIGINT);
  EXPECT_EQ(Folders(Child), 0);

  // The ended child's number names a leftover; this process's own folder stays.
  const fs::path Leftover =
      fs::temp_directory_path() / ("monitor-sim-x-" + std::to_string(Child) + "-1");
  const std::string Prefix = "monitor-sim-\xC3\xA9\xE4\xB8\xAD-";
  const fs::path Dead = fs::temp_directory_path() / (Prefix + std::to_string(Child) + "-1");
  const fs::path Alive = fs::temp_directory_path() / (Prefix + std::to_string(getpid()) + "-1");
  for (const fs::path& Folder : {Leftover, Dead, Alive}) {
    fs::create_directories(Folder / "app");
  }
  platform::sim::RemoveLeftoverWorldFolders();
  EXPECT_FALSE(fs::exists(Dead));
  EXPECT_TRUE(fs::exists(Alive));
  EXPECT_TRUE(fs::exists(Leftover)); // not one of ours by its name
  fs::remove_all(Alive);
  fs::remove_all(Leftover);
}

} // namespace

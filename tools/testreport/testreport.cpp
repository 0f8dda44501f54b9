// Merges the reports of a test run into one JUnit XML file and prints one summary line,
// "N passed, N failed, N skipped". run-tests.cmd of the test bundle calls it after every
// program has run; it works the same anywhere, so it only uses the standard library.
//
//   testreport REPORT_FOLDER OUTPUT_XML [--plain] PROGRAM...
//
// It writes the summary line into summary.txt beside OUTPUT_XML too. For each PROGRAM,
// REPORT_FOLDER holds PROGRAM.code (its exit code, as text) and, for a
// GoogleTest program, PROGRAM.xml (its --gtest_output=xml report). A program marked --plain
// writes no report: its exit code is its one result (0 passed, 2 did not apply here, anything
// else failed). A GoogleTest program without a readable report, or one that ended with an
// error after its report said all was well, counts as a failure of its own: a crash must never
// read as a pass. Exit code: 0 when nothing failed, 1 when something did, 2 on wrong use.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct TCounts {
  int Passed = 0;
  int Failed = 0;
  int Skipped = 0;
};

std::string ReadFile(const std::string& APath, bool& AFound) {
  std::ifstream Stream(APath, std::ios::binary);
  AFound = static_cast<bool>(Stream);
  return {std::istreambuf_iterator<char>(Stream), std::istreambuf_iterator<char>()};
}

std::string Escaped(const std::string& AText) {
  std::string Out;
  for (const char C : AText) {
    switch (C) {
    case '&':
      Out += "&amp;";
      break;
    case '<':
      Out += "&lt;";
      break;
    case '>':
      Out += "&gt;";
      break;
    case '"':
      Out += "&quot;";
      break;
    default:
      Out += C;
    }
  }
  return Out;
}

// The value of an attribute in a start tag, or empty.
std::string Attribute(const std::string& ATag, const std::string& AName) {
  const std::string Key = " " + AName + "=\"";
  const std::size_t At = ATag.find(Key);
  if (At == std::string::npos) {
    return {};
  }
  const std::size_t From = At + Key.size();
  return ATag.substr(From, ATag.find('"', From) - From);
}

// Undoes the escapes GoogleTest writes into attributes, for the console only.
std::string Unescaped(std::string AText) {
  const std::pair<const char*, const char*> Entities[] = {{"&lt;", "<"},    {"&gt;", ">"},
                                                          {"&quot;", "\""}, {"&apos;", "'"},
                                                          {"&#x0A;", "\n"}, {"&amp;", "&"}};
  for (const auto& [Entity, Text] : Entities) {
    for (std::size_t At = AText.find(Entity); At != std::string::npos;
         At = AText.find(Entity, At + 1)) {
      AText.replace(At, std::string(Entity).size(), Text);
    }
  }
  return AText;
}

// The next occurrence of ANeedle at or after AFrom outside CDATA sections (a failure's text
// may hold anything).
std::size_t FindMarkup(const std::string& AText, const std::string& ANeedle, std::size_t AFrom) {
  for (std::size_t At = AFrom; At < AText.size();) {
    const std::size_t Hit = AText.find(ANeedle, At);
    const std::size_t Data = AText.find("<![CDATA[", At);
    if (Hit == std::string::npos || Data == std::string::npos || Hit < Data) {
      return Hit;
    }
    const std::size_t DataEnd = AText.find("]]>", Data);
    if (DataEnd == std::string::npos) {
      return std::string::npos;
    }
    At = DataEnd + 3;
  }
  return std::string::npos;
}

// One program's results, merged into the output and the counts; false when its report is not
// a complete GoogleTest report.
bool MergeGoogleTestReport(const std::string& AProgram, const std::string& AXml, std::string& AOut,
                           TCounts& ACounts) {
  const std::size_t Root = FindMarkup(AXml, "<testsuites", 0);
  const std::size_t Body = Root == std::string::npos ? Root : FindMarkup(AXml, ">", Root);
  const std::size_t End = FindMarkup(AXml, "</testsuites>", 0);
  if (Body == std::string::npos || End == std::string::npos || End < Body) {
    return false;
  }
  std::string Content = AXml.substr(Body + 1, End - Body - 1);
  // Suites of the same name come from more than one program: each is named after its program.
  for (std::size_t At = FindMarkup(Content, "<testsuite ", 0); At != std::string::npos;
       At = FindMarkup(Content, "<testsuite ", At + 1)) {
    const std::size_t Name = Content.find(" name=\"", At);
    if (Name != std::string::npos) {
      Content.insert(Name + 7, AProgram + ": ");
    }
  }
  for (std::size_t At = FindMarkup(Content, "<testcase ", 0); At != std::string::npos;
       At = FindMarkup(Content, "<testcase ", At + 1)) {
    const std::size_t TagEnd = FindMarkup(Content, ">", At);
    if (TagEnd == std::string::npos) {
      return false;
    }
    const std::string Tag = Content.substr(At, TagEnd - At);
    std::string Inner;
    if (Content[TagEnd - 1] != '/') {
      const std::size_t Close = FindMarkup(Content, "</testcase>", TagEnd);
      if (Close == std::string::npos) {
        return false;
      }
      Inner = Content.substr(TagEnd, Close - TagEnd);
    }
    const std::string Test = Attribute(Tag, "classname") + "." + Attribute(Tag, "name");
    if (FindMarkup(Inner, "<failure", 0) != std::string::npos) {
      ++ACounts.Failed;
      std::printf("FAILED   %s: %s\n", AProgram.c_str(), Test.c_str());
    } else if (Attribute(Tag, "result") == "skipped" || Attribute(Tag, "status") == "notrun" ||
               FindMarkup(Inner, "<skipped", 0) != std::string::npos) {
      ++ACounts.Skipped;
      const std::size_t Skip = FindMarkup(Inner, "<skipped", 0);
      const std::string Why = Skip == std::string::npos
                                  ? std::string("disabled")
                                  : Unescaped(Attribute(Inner.substr(Skip), "message"));
      std::string OneLine = Why;
      for (char& C : OneLine) {
        C = C == '\n' ? ' ' : C;
      }
      std::printf("SKIPPED  %s: %s: %s\n", AProgram.c_str(), Test.c_str(), OneLine.c_str());
    } else {
      ++ACounts.Passed;
    }
  }
  AOut += Content;
  return true;
}

// A result of the program as a whole, where it has no report of its own to say it.
void ProgramCase(const std::string& AProgram, const char* AKind, const std::string& AMessage,
                 std::string& AOut, TCounts& ACounts) {
  AOut += "  <testsuite name=\"" + Escaped(AProgram) + "\" tests=\"1\">\n";
  AOut +=
      "    <testcase name=\"" + Escaped(AProgram) + "\" classname=\"" + Escaped(AProgram) + "\"";
  if (AKind == nullptr) {
    AOut += " />\n";
    ++ACounts.Passed;
  } else {
    AOut += ">\n      <" + std::string(AKind) + " message=\"" + Escaped(AMessage) + "\" />\n";
    AOut += "    </testcase>\n";
    std::printf("%-8s %s: %s\n", std::string(AKind) == "failure" ? "FAILED" : "SKIPPED",
                AProgram.c_str(), AMessage.c_str());
    ++(std::string(AKind) == "failure" ? ACounts.Failed : ACounts.Skipped);
  }
  AOut += "  </testsuite>\n";
}

} // namespace

int main(int AArgc, char** AArgv) {
  if (AArgc < 4) {
    std::fprintf(stderr, "usage: testreport REPORT_FOLDER OUTPUT_XML [--plain] PROGRAM...\n");
    return 2;
  }
  const std::string Folder = std::string(AArgv[1]) + "/";
  std::string Suites;
  TCounts Counts;
  for (int I = 3; I < AArgc; ++I) {
    const bool Plain = std::string(AArgv[I]) == "--plain";
    if (Plain && ++I == AArgc) {
      std::fprintf(stderr, "testreport: --plain names no program\n");
      return 2;
    }
    const std::string Program = AArgv[I];
    bool HasCode = false;
    const std::string CodeText = ReadFile(Folder + Program + ".code", HasCode);
    long Code = -1;
    std::istringstream(CodeText) >> Code;
    const std::string Ended =
        HasCode ? "it ended with exit code " + std::to_string(Code) : "it did not run";
    if (Plain) {
      if (HasCode && Code == 0) {
        ProgramCase(Program, nullptr, "", Suites, Counts);
      } else if (HasCode && Code == 2) {
        ProgramCase(Program, "skipped", "it does not apply on this machine (exit code 2)", Suites,
                    Counts);
      } else {
        ProgramCase(Program, "failure", Ended, Suites, Counts);
      }
      continue;
    }
    bool HasReport = false;
    const std::string Xml = ReadFile(Folder + Program + ".xml", HasReport);
    const int FailedBefore = Counts.Failed;
    if (!HasReport || !MergeGoogleTestReport(Program, Xml, Suites, Counts)) {
      ProgramCase(Program, "failure", "no complete report: " + Ended, Suites, Counts);
    } else if (Code != 0 && Counts.Failed == FailedBefore) {
      ProgramCase(Program + ".exit", "failure", "its tests passed but " + Ended, Suites, Counts);
    }
  }
  const int Total = Counts.Passed + Counts.Failed + Counts.Skipped;
  std::ofstream Out(AArgv[2], std::ios::binary);
  Out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<testsuites name=\"TarnMon-tests\" tests=\"" << Total << "\" failures=\"" << Counts.Failed
      << "\" errors=\"0\" skipped=\"" << Counts.Skipped << "\">\n"
      << Suites << "</testsuites>\n";
  Out.close();
  if (!Out) {
    std::fprintf(stderr, "testreport: cannot write %s\n", AArgv[2]);
    return 2;
  }
  const std::string Summary = std::to_string(Counts.Passed) + " passed, " +
                              std::to_string(Counts.Failed) + " failed, " +
                              std::to_string(Counts.Skipped) + " skipped";
  const std::string Output = AArgv[2];
  const std::size_t Slash = Output.find_last_of("/\\");
  std::ofstream(Output.substr(0, Slash == std::string::npos ? 0 : Slash + 1) + "summary.txt",
                std::ios::binary)
      << Summary << "\r\n";
  std::printf("%s\n", Summary.c_str());
  return Counts.Failed == 0 ? 0 : 1;
}

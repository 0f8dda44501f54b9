// Checks the sources' layering: check_layers <source folder> reads <source folder>/layers.txt
// (each folder, the folders its files may include, and "os" where an operating system header
// is allowed) and every .h and .cpp below the folder. It prints one line per fault and exits 1
// when there is one, 0 when there is none, 2 when it cannot read what it needs.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct TFolderRule {
  std::set<std::string> MayInclude;
  bool OsHeaders = false;
};

struct TInclude {
  int Line = 0;
  std::string Path;
  bool Angled = false;
};

// Headers of an operating system rather than of the language or a portable library.
bool IsOsHeader(const std::string& APath) {
  static const std::regex cOsHeader(
      R"((windows|win\w*|\w*api|\w*sdi|hidpi|dbt|cfgmgr32|setupapi|shlobj|aclapi|mmsystem|)"
      R"(objbase|combaseapi|commctrl|psapi|tlhelp32|unistd|signal|pthread|dlfcn|fcntl|)"
      R"(sys/.*|linux/.*)\.h)",
      std::regex::icase);
  return std::regex_match(APath, cOsHeader);
}

std::map<std::string, TFolderRule> ReadRules(const fs::path& AFile, std::ostream& AErrors) {
  std::map<std::string, TFolderRule> Rules;
  std::ifstream In(AFile);
  if (!In) {
    AErrors << AFile.string() << ": cannot be read\n";
    return Rules;
  }
  std::string Line;
  while (std::getline(In, Line)) {
    Line = Line.substr(0, Line.find('#'));
    const auto Colon = Line.find(':');
    if (Colon == std::string::npos) {
      continue;
    }
    std::istringstream Words(Line.substr(0, Colon) + " " + Line.substr(Colon + 1));
    std::string Folder;
    Words >> Folder;
    TFolderRule& Rule = Rules[Folder];
    for (std::string Word; Words >> Word;) {
      if (Word == "os") {
        Rule.OsHeaders = true;
      } else {
        Rule.MayInclude.insert(Word);
      }
    }
  }
  return Rules;
}

std::vector<TInclude> ReadIncludes(const fs::path& AFile) {
  static const std::regex cInclude(R"(^\s*#\s*include\s*([<"])([^">]+)[">])");
  std::vector<TInclude> Includes;
  std::ifstream In(AFile);
  std::string Line;
  for (int Number = 1; std::getline(In, Line); ++Number) {
    std::smatch Match;
    if (std::regex_search(Line, Match, cInclude)) {
      Includes.push_back({Number, Match[2].str(), Match[1].str() == "<"});
    }
  }
  return Includes;
}

// The longest listed folder that holds ARelative (a path with forward slashes).
std::string FolderOf(const std::string& ARelative,
                     const std::map<std::string, TFolderRule>& ARules) {
  std::string Best;
  for (const auto& [Folder, Rule] : ARules) {
    if (ARelative.starts_with(Folder + "/") && Folder.size() > Best.size()) {
      Best = Folder;
    }
  }
  return Best;
}

class TLoopFinder {
public:
  explicit TLoopFinder(const std::map<std::string, std::vector<std::string>>& AEdges)
      : FEdges(AEdges) {}

  // One line per loop, each named by the files on it.
  std::vector<std::string> Loops() {
    for (const auto& [File, Targets] : FEdges) {
      Visit(File);
    }
    return FLoops;
  }

private:
  void Visit(const std::string& AFile) {
    if (FDone.contains(AFile)) {
      return;
    }
    if (const auto On = std::find(FPath.begin(), FPath.end(), AFile); On != FPath.end()) {
      std::string Loop;
      for (auto It = On; It != FPath.end(); ++It) {
        Loop += *It + " -> ";
      }
      FLoops.push_back(Loop + AFile);
      return;
    }
    FPath.push_back(AFile);
    if (const auto Found = FEdges.find(AFile); Found != FEdges.end()) {
      for (const std::string& Target : Found->second) {
        Visit(Target);
      }
    }
    FPath.pop_back();
    FDone.insert(AFile);
  }

  const std::map<std::string, std::vector<std::string>>& FEdges;
  std::vector<std::string> FPath;
  std::set<std::string> FDone;
  std::vector<std::string> FLoops;
};

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: check_layers SOURCE-FOLDER\n";
    return 2;
  }
  const fs::path Root = argv[1];
  const auto Rules = ReadRules(Root / "layers.txt", std::cerr);
  if (Rules.empty()) {
    return 2;
  }
  std::vector<std::string> Faults;
  for (const auto& [Folder, Rule] : Rules) {
    for (const std::string& Other : Rule.MayInclude) {
      if (!Rules.contains(Other)) {
        Faults.push_back("layers.txt: " + Folder + " may include " + Other +
                         ", which is not listed");
      }
    }
  }
  std::map<std::string, std::vector<std::string>> Edges;
  std::map<std::string, std::vector<std::string>> FolderEdges;
  for (const auto& Entry : fs::recursive_directory_iterator(Root)) {
    const auto Extension = Entry.path().extension();
    if (!Entry.is_regular_file() || (Extension != ".h" && Extension != ".cpp")) {
      continue;
    }
    const std::string File = fs::relative(Entry.path(), Root).generic_string();
    const std::string Folder = FolderOf(File, Rules);
    if (Folder.empty()) {
      Faults.push_back(File + ": its folder is not in layers.txt");
      continue;
    }
    const TFolderRule& Rule = Rules.at(Folder);
    for (const TInclude& Include : ReadIncludes(Entry.path())) {
      const std::string Where = File + ":" + std::to_string(Include.Line) + ": ";
      if (Include.Angled) {
        if (IsOsHeader(Include.Path) && !Rule.OsHeaders) {
          Faults.push_back(Where + "<" + Include.Path + "> is an operating system header; " +
                           Folder + " must not include one");
        }
        continue;
      }
      // A name without a folder is the build's own (a generated header beside the file).
      if (Include.Path.find('/') == std::string::npos) {
        continue;
      }
      if (!fs::is_regular_file(Root / Include.Path)) {
        Faults.push_back(Where + "\"" + Include.Path + "\" names no file below " +
                         Root.generic_string() + " (includes are written from there)");
        continue;
      }
      Edges[File].push_back(Include.Path);
      const std::string Target = FolderOf(Include.Path, Rules);
      if (Target != Folder && !Rule.MayInclude.contains(Target)) {
        Faults.push_back(Where + Folder + " must not include " + Target + " (\"" + Include.Path +
                         "\")");
      }
    }
  }
  for (const std::string& Loop : TLoopFinder(Edges).Loops()) {
    Faults.push_back("includes form a loop: " + Loop);
  }
  for (const auto& [Folder, Rule] : Rules) {
    FolderEdges[Folder].assign(Rule.MayInclude.begin(), Rule.MayInclude.end());
  }
  for (const std::string& Loop : TLoopFinder(FolderEdges).Loops()) {
    Faults.push_back("layers.txt: the folders form a loop: " + Loop);
  }
  std::sort(Faults.begin(), Faults.end());
  for (const std::string& Fault : Faults) {
    std::cout << Fault << "\n";
  }
  if (!Faults.empty()) {
    std::cout << Faults.size() << " fault(s) in the layering of " << Root.generic_string() << "\n";
    return 1;
  }
  std::cout << "every include of " << Root.generic_string() << " points down its layering\n";
  return 0;
}

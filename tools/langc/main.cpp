// langc: compiles a language catalogue source into the ".local" format.
//
// Source (UTF-8): "@originals" starts the list of original texts, "@language ID" a language's
// table of "original=translation" lines; "#" starts a comment line; empty lines are skipped;
// a line that must begin with "@", "#" or "\" is written with a leading "\".
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "lang/LangFile.h"

namespace {

bool Compile(std::istream& AInput, lang::TCatalogueData& AData, std::string& AError) {
  std::string Line;
  int Number = 0;
  enum class TSection { None, Originals, Language } Section = TSection::None;
  while (std::getline(AInput, Line)) {
    ++Number;
    if (!Line.empty() && Line.back() == '\r') {
      Line.pop_back();
    }
    if (Line.empty() || Line[0] == '#') {
      continue;
    }
    if (Line.rfind("@originals", 0) == 0) {
      Section = TSection::Originals;
    } else if (Line.rfind("@language ", 0) == 0) {
      Section = TSection::Language;
      AData.Languages.push_back({Line.substr(10), {}});
    } else if (Line[0] == '@') {
      AError = "line " + std::to_string(Number) + ": unknown heading " + Line;
      return false;
    } else {
      if (Line[0] == '\\') {
        Line.erase(0, 1);
      }
      if (Section == TSection::Originals) {
        AData.Originals.push_back(Line);
      } else if (Section == TSection::Language) {
        AData.Languages.back().Lines.push_back(Line);
      } else {
        AError = "line " + std::to_string(Number) + ": text before any heading";
        return false;
      }
    }
  }
  return true;
}

} // namespace

int main(int ArgCount, char** Args) {
  if (ArgCount != 3) {
    std::cerr << "usage: langc SOURCE OUTPUT\n";
    return 2;
  }
  std::ifstream Input(Args[1], std::ios::binary);
  if (!Input) {
    std::cerr << "langc: cannot read " << Args[1] << "\n";
    return 1;
  }
  lang::TCatalogueData Data;
  std::string Error;
  if (!Compile(Input, Data, Error)) {
    std::cerr << "langc: " << Args[1] << ": " << Error << "\n";
    return 1;
  }
  const std::string Bytes = lang::EncodeCatalogue(Data);
  std::ofstream Output(Args[2], std::ios::binary | std::ios::trunc);
  Output.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
  if (!Output) {
    std::cerr << "langc: cannot write " << Args[2] << "\n";
    return 1;
  }
  return 0;
}

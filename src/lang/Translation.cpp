#include "lang/Translation.h"

#include <algorithm>
#include <memory>

#include "lang/Scene.h"

namespace lang {

namespace {

struct TTranslationState {
  std::unique_ptr<std::vector<std::string>> Table;
  bool Reverting = false;
};

TTranslationState& State() {
  static TTranslationState Instance;
  return Instance;
}

constexpr char cSeparator = '=';

std::string_view NamePart(std::string_view ALine) {
  return ALine.substr(0, ALine.find(cSeparator));
}

std::string_view ValuePart(std::string_view ALine) {
  const std::size_t Separator = ALine.find(cSeparator);
  return Separator == std::string_view::npos ? std::string_view() : ALine.substr(Separator + 1);
}

std::string_view Lookup(const std::vector<std::string>& ATable, std::string_view ASource,
                        bool AReverting) {
  if (AReverting) {
    for (const std::string& Line : ATable) {
      if (Line.find(cSeparator) != std::string::npos && ValuePart(Line) == ASource) {
        return NamePart(Line);
      }
    }
    return {};
  }
  // Every line whose name is ASource starts with ASource + "=", so in the sorted table they
  // stand together from the first line not below that prefix.
  if (ASource.find(cSeparator) != std::string_view::npos) {
    return {};
  }
  std::string Prefix(ASource);
  Prefix += cSeparator;
  const auto Found = std::lower_bound(ATable.begin(), ATable.end(), Prefix);
  if (Found == ATable.end() || Found->compare(0, Prefix.size(), Prefix) != 0) {
    return {};
  }
  return ValuePart(*Found);
}

} // namespace

std::string TranslateText(std::string_view ASource) {
  if (ASource.empty()) {
    return std::string();
  }
  const TTranslationState& Current = State();
  if (!Current.Table) {
    return std::string(ASource);
  }
  const std::string_view Result = Lookup(*Current.Table, ASource, Current.Reverting);
  return std::string(Result.empty() ? ASource : Result);
}

void RemoveTranslationTable() {
  TTranslationState& Current = State();
  if (!Current.Table) {
    return;
  }
  Current.Reverting = true;
  RefreshScenes();
  Current.Reverting = false;
  Current.Table.reset();
}

void ActivateTranslationTable(const std::vector<std::string>& ALines) {
  RemoveTranslationTable();
  auto Table = std::make_unique<std::vector<std::string>>(ALines);
  std::sort(Table->begin(), Table->end());
  State().Table = std::move(Table);
  RefreshScenes();
}

bool HasActiveTranslationTable() {
  return static_cast<bool>(State().Table);
}
bool TranslationReverting() {
  return State().Reverting;
}

} // namespace lang

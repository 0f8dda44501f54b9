#include "lang/LangFile.h"

#include "rtl/Utf.h"

namespace lang {

namespace {

constexpr char16_t cCR = 0x0D;
constexpr char16_t cLF = 0x0A;

bool IsLineBreak(char16_t AUnit) {
  return AUnit == cCR || AUnit == cLF || AUnit == 0x0B || AUnit == 0x0C || AUnit == 0x2028 ||
         AUnit == 0x2029;
}

class TReader {
public:
  explicit TReader(std::string_view ABytes) : FBytes(ABytes) {}

  std::size_t Remaining() const { return FBytes.size() - FPosition; }

  bool ReadInteger(int32_t& AValue) {
    if (Remaining() < 4) {
      return false;
    }
    uint32_t Value = 0;
    for (int I = 3; I >= 0; --I) {
      Value = (Value << 8) | static_cast<uint8_t>(FBytes[FPosition + static_cast<std::size_t>(I)]);
    }
    FPosition += 4;
    AValue = static_cast<int32_t>(Value);
    return true;
  }

  // A text: its count must be non-negative and its units present in full.
  bool ReadText(std::u16string& AText, std::string& AProblem) {
    int32_t Count = 0;
    if (!ReadInteger(Count)) {
      AProblem = "the data ends before a text's length";
      return false;
    }
    if (Count < 0 || static_cast<uint64_t>(Count) * 2 > Remaining()) {
      AProblem = "a text's length (" + std::to_string(Count) + ") does not fit the " +
                 std::to_string(Remaining()) + " bytes left";
      return false;
    }
    AText.resize(static_cast<std::size_t>(Count));
    for (std::size_t I = 0; I < AText.size(); ++I) {
      const auto Low = static_cast<uint8_t>(FBytes[FPosition + 2 * I]);
      const auto High = static_cast<uint8_t>(FBytes[FPosition + 2 * I + 1]);
      AText[I] = static_cast<char16_t>(Low | (High << 8));
    }
    FPosition += AText.size() * 2;
    return true;
  }

private:
  std::string_view FBytes;
  std::size_t FPosition = 0;
};

void WriteInteger(std::string& AOut, int32_t AValue) {
  const auto Value = static_cast<uint32_t>(AValue);
  for (int I = 0; I < 4; ++I) {
    AOut += static_cast<char>((Value >> (8 * I)) & 0xFF);
  }
}

void WriteText(std::string& AOut, const std::u16string& AText) {
  WriteInteger(AOut, static_cast<int32_t>(AText.size()));
  for (char16_t Unit : AText) {
    AOut += static_cast<char>(Unit & 0xFF);
    AOut += static_cast<char>(Unit >> 8);
  }
}

std::u16string JoinLines(const std::vector<std::string>& ALines) {
  std::u16string Text;
  for (const std::string& Line : ALines) {
    Text += rtl::Utf8ToUtf16(Line);
    Text += cCR;
    Text += cLF;
  }
  return Text;
}

std::vector<std::string> SplitUnits(const std::u16string& AText) {
  std::vector<std::string> Lines;
  std::size_t Start = 0;
  std::size_t Index = 0;
  while (Index < AText.size()) {
    if (!IsLineBreak(AText[Index])) {
      ++Index;
      continue;
    }
    Lines.push_back(rtl::Utf16ToUtf8(std::u16string_view(AText).substr(Start, Index - Start)));
    Index += (AText[Index] == cCR && Index + 1 < AText.size() && AText[Index + 1] == cLF) ? 2 : 1;
    Start = Index;
  }
  if (Start < AText.size()) {
    Lines.push_back(rtl::Utf16ToUtf8(std::u16string_view(AText).substr(Start)));
  }
  return Lines;
}

} // namespace

std::vector<std::string> SplitLines(std::string_view AText) {
  return SplitUnits(rtl::Utf8ToUtf16(AText));
}

TLangLoadResult DecodeCatalogue(std::string_view ABytes, TCatalogueData& AData) {
  TLangLoadResult Result;
  const auto Fail = [&Result](std::string AProblem) {
    Result.Complete = false;
    Result.Problem = std::move(AProblem);
    return Result;
  };
  TReader Reader(ABytes);
  std::u16string Text;
  std::string Problem;
  if (!Reader.ReadText(Text, Problem)) {
    return Fail("originals: " + Problem);
  }
  AData.Originals = SplitUnits(Text);
  int32_t Count = 0;
  if (!Reader.ReadInteger(Count)) {
    return Fail("the data ends before the language count");
  }
  // Each language takes at least its two text lengths.
  if (Count < 0 || static_cast<uint64_t>(Count) * 8 > Reader.Remaining()) {
    return Fail("a language count of " + std::to_string(Count) + " does not fit the " +
                std::to_string(Reader.Remaining()) + " bytes left");
  }
  for (int32_t Index = 0; Index < Count; ++Index) {
    TLanguageData Language;
    std::u16string Table;
    if (!Reader.ReadText(Text, Problem) || !Reader.ReadText(Table, Problem)) {
      return Fail("language " + std::to_string(Index) + ": " + Problem);
    }
    Language.ShortID = rtl::Utf16ToUtf8(Text);
    Language.Lines = SplitUnits(Table);
    AData.Languages.push_back(std::move(Language));
  }
  if (Reader.Remaining() != 0) {
    return Fail(std::to_string(Reader.Remaining()) + " bytes after the last language");
  }
  return Result;
}

std::string EncodeCatalogue(const TCatalogueData& AData) {
  std::string Out;
  WriteText(Out, JoinLines(AData.Originals));
  WriteInteger(Out, static_cast<int32_t>(AData.Languages.size()));
  for (const TLanguageData& Language : AData.Languages) {
    WriteText(Out, rtl::Utf8ToUtf16(Language.ShortID));
    WriteText(Out, JoinLines(Language.Lines));
  }
  return Out;
}

} // namespace lang

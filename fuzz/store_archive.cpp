// Any bytes as a profile store export. The reader may refuse only with EStoreArchive (anything
// else escaping is a fault), and what it accepts must write back to the same bytes, but for
// CR LF line ends in the text part, which it reads as LF and the writer writes as LF.
//
// The sums make a mutated file that reads rare, so the same bytes are also taken as an archive
// to write (texts, names and records of any content): whatever the writer takes must read back
// as it was.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FuzzInput.h"
#include "profile/StoreArchive.h"

namespace {

using namespace profile;

std::string WithLfLineEnds(std::string_view AText) {
  std::string Result;
  for (std::size_t I = 0; I < AText.size(); ++I) {
    if (!(AText[I] == '\r' && I + 1 < AText.size() && AText[I + 1] == '\n')) {
      Result += AText[I];
    }
  }
  return Result;
}

std::string Text(fuzz::TFuzzInput& AInput) {
  const std::vector<uint8_t> Bytes = AInput.Bytes(AInput.Byte());
  return std::string(Bytes.begin(), Bytes.end());
}

// Mostly a valid name, so that the writer takes most archives.
std::string Name(fuzz::TFuzzInput& AInput) {
  static constexpr std::string_view cChars = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string Result = Text(AInput);
  for (char& Char : Result) {
    const auto Byte = static_cast<uint8_t>(Char);
    Char = Byte == 0xFF ? Char : cChars[Byte % cChars.size()];
  }
  return Result;
}

TStoreArchive ArchiveFrom(fuzz::TFuzzInput& AInput) {
  TStoreArchive Archive;
  Archive.Producer = Text(AInput);
  Archive.Created = Text(AInput);
  for (int Count = AInput.Byte() % 4; Count > 0; --Count) {
    Archive.Summary.push_back(Text(AInput));
  }
  for (int Count = AInput.Byte() % 10; Count > 0; --Count) {
    TArchiveRecord Record{Name(AInput), Text(AInput), {}};
    Record.Bytes = AInput.Bytes(AInput.Word() % 512);
    Archive.Records.push_back(std::move(Record));
  }
  return Archive;
}

[[noreturn]] void Fault(const char* AWhat) {
  std::fprintf(stderr, "store_archive: %s\n", AWhat);
  std::abort();
}

void WrittenReadsBack(const TStoreArchive& AArchive) {
  std::string File;
  try {
    File = WriteStoreArchive(AArchive);
  } catch (const std::invalid_argument&) {
    return;
  }
  if (ReadStoreArchive(File) != AArchive) {
    Fault("a written archive reads back otherwise");
  }
}

void ReadWritesBack(const uint8_t* AData, std::size_t ASize) {
  const std::string_view File(reinterpret_cast<const char*>(AData), ASize);
  TStoreArchive Archive;
  try {
    Archive = ReadStoreArchive(File);
  } catch (const EStoreArchive&) {
    return;
  }
  // The records and the trailer follow the text part unchanged.
  std::size_t Tail = cStoreArchiveTrailerSize;
  for (const TArchiveRecord& Record : Archive.Records) {
    Tail += Record.Bytes.size();
  }
  const std::string Written = WriteStoreArchive(Archive);
  if (Written.size() < Tail || File.size() < Tail) {
    Fault("an accepted file is shorter than its records and trailer");
  }
  const std::size_t TextSize = File.size() - Tail;
  const std::size_t WrittenText = Written.size() - Tail;
  if (File.substr(TextSize) != std::string_view(Written).substr(WrittenText)) {
    Fault("an accepted file's records or trailer do not write back the same");
  }
  if (WithLfLineEnds(File.substr(0, TextSize)) !=
      std::string_view(Written).substr(0, WrittenText)) {
    Fault("an accepted file's text part does not write back the same");
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, std::size_t ASize) {
  ReadWritesBack(AData, ASize);
  fuzz::TFuzzInput Input(AData, ASize);
  WrittenReadsBack(ArchiveFrom(Input));
  return 0;
}

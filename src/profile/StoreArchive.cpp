#include "profile/StoreArchive.h"

#include <algorithm>
#include <optional>

#include "profile/uiProfile.h"
#include "rtl/Crc32.h"
#include "rtl/Hex.h"
#include "rtl/Utf.h"

namespace profile {

static_assert(cMaxStoreArchiveRecordSize == static_cast<std::size_t>(cMaxStreamImageSize));

namespace {

constexpr std::string_view cKindLine = "TARNCTL profile store export";
constexpr std::string_view cFormatPrefix = "format: ";
constexpr std::string_view cProducerPrefix = "producer: ";
constexpr std::string_view cCreatedPrefix = "created: ";
constexpr std::string_view cSummaryPrefix = "summary: ";
constexpr std::string_view cRecordPrefix = "record ";
constexpr std::string_view cRecordSizeSeparator = ": ";
constexpr std::string_view cRecordCrcSeparator = " bytes, crc32 ";
constexpr std::string_view cRecordLocationSeparator = ", from ";
constexpr std::string_view cEndOfTextLine =
    "end of text: the records' raw bytes follow in the order above, then the file's CRC-32";
constexpr std::string_view cTrailerPrefix = "\nfile crc32 ";
constexpr std::size_t cCrcDigits = 8;
// Enough for any 32-bit value; longer digit runs are refused before they could overflow.
constexpr std::size_t cMaxDecimalDigits = 10;

static_assert(cTrailerPrefix.size() + cCrcDigits + 1 == cStoreArchiveTrailerSize);

// A text that stays on its line and reads the same in any editor.
bool IsOneLineText(std::string_view AText) {
  const bool HasControl = std::any_of(AText.begin(), AText.end(), [](char AChar) {
    const auto Byte = static_cast<uint8_t>(AChar);
    return Byte < 0x20 || Byte == 0x7F;
  });
  return !HasControl && rtl::SanitizeUtf8(AText) == AText;
}

bool IsRecordName(std::string_view AName) {
  return !AName.empty() && AName.size() <= cMaxStoreArchiveNameLength &&
         std::all_of(AName.begin(), AName.end(), [](char AChar) {
           return (AChar >= 'a' && AChar <= 'z') || (AChar >= '0' && AChar <= '9');
         });
}

std::string CrcText(uint32_t ACrc) {
  static constexpr char cDigits[] = "0123456789abcdef";
  std::string Text(cCrcDigits, '0');
  for (std::size_t I = cCrcDigits; I-- > 0; ACrc >>= 4) {
    Text[I] = cDigits[ACrc & 0xF];
  }
  return Text;
}

// Exactly the digits CrcText writes, so that what is read writes back the same.
std::optional<uint32_t> ParseCrc(std::string_view AText) {
  if (AText.size() != cCrcDigits) {
    return std::nullopt;
  }
  uint32_t Value = 0;
  for (const char Char : AText) {
    const int Digit = rtl::HexDigitValue(Char);
    if (Digit < 0 || (Char >= 'A' && Char <= 'F')) {
      return std::nullopt;
    }
    Value = Value << 4 | static_cast<uint32_t>(Digit);
  }
  return Value;
}

// Digits only, without sign, blank or leading zero.
std::optional<uint64_t> ParseDecimal(std::string_view AText) {
  if (AText.empty() || AText.size() > cMaxDecimalDigits || (AText.size() > 1 && AText[0] == '0')) {
    return std::nullopt;
  }
  uint64_t Value = 0;
  for (const char Char : AText) {
    if (Char < '0' || Char > '9') {
      return std::nullopt;
    }
    Value = Value * 10 + static_cast<uint64_t>(Char - '0');
  }
  return Value;
}

std::string Quoted(std::string_view AText) {
  return "\"" + std::string(AText) + "\"";
}

void Require(bool ACondition, const std::string& AWhat) {
  if (!ACondition) {
    throw std::invalid_argument("profile store export: " + AWhat);
  }
}

void RequireOneLine(std::string_view AText, const std::string& AWhat) {
  Require(IsOneLineText(AText),
          AWhat + " holds a line break, another control character or malformed UTF-8");
}

// A line taken apart from left to right.
class TLineCursor {
public:
  explicit TLineCursor(std::string_view ALine) : FRest(ALine) {}

  bool Skip(std::string_view ALiteral) {
    if (!FRest.starts_with(ALiteral)) {
      return false;
    }
    FRest.remove_prefix(ALiteral.size());
    return true;
  }
  // Up to AStop (not included), or the rest of the line.
  std::string_view Until(char AStop) { return Take(std::min(FRest.find(AStop), FRest.size())); }
  std::string_view Take(std::size_t ACount) {
    const std::string_view Part = FRest.substr(0, ACount);
    FRest.remove_prefix(Part.size());
    return Part;
  }
  std::string_view Rest() { return Take(FRest.size()); }

private:
  std::string_view FRest;
};

struct TListedRecord {
  std::size_t Size = 0;
  uint32_t Crc = 0;
};

class TArchiveReader {
public:
  explicit TArchiveReader(std::string_view AFile) : FFile(AFile) {}

  TStoreArchive Read() {
    if (FFile.size() > cMaxStoreArchiveSize) {
      Refuse("The file is " + std::to_string(FFile.size()) +
             " bytes, more than a profile store export can be (" +
             std::to_string(cMaxStoreArchiveSize) + "): it is not one.");
    }
    if (FFile.empty()) {
      Refuse("The file is empty: it is not a profile store export.");
    }
    const std::string_view AfterKind = FFile.substr(std::min(cKindLine.size(), FFile.size()));
    if (!FFile.starts_with(cKindLine) ||
        !(AfterKind.starts_with("\n") || AfterKind.starts_with("\r\n"))) {
      Refuse("This is not a profile store export: its first line is not " + Quoted(cKindLine) +
             ".");
    }
    NextLine();
    ReadFormat();

    TStoreArchive Archive;
    Archive.Producer = Field(NextLine(), cProducerPrefix, "the producer");
    Archive.Created = Field(NextLine(), cCreatedPrefix, "the creation time");
    std::string_view Line = NextLine();
    while (Line.starts_with(cSummaryPrefix)) {
      Archive.Summary.emplace_back(Line.substr(cSummaryPrefix.size()));
      Line = NextLine();
    }
    std::vector<TListedRecord> Listed;
    while (Line.starts_with(cRecordPrefix)) {
      if (Archive.Records.size() == cMaxStoreArchiveRecords) {
        Refuse("The profile store export lists more than " +
               std::to_string(cMaxStoreArchiveRecords) + " records: it is damaged.");
      }
      Listed.push_back(ReadRecordLine(Line, Archive.Records));
      Line = NextLine();
    }
    if (Line != cEndOfTextLine) {
      Damaged("is not a summary, a record or the end of the text where one of them belongs");
    }

    const std::size_t Payload = FPosition;
    for (std::size_t I = 0; I < Listed.size(); ++I) {
      const std::string_view Bytes = FFile.substr(FPosition, Listed[I].Size);
      if (Bytes.size() < Listed[I].Size) {
        Refuse("The file is cut short: record " + Quoted(Archive.Records[I].Name) + " has " +
               std::to_string(Bytes.size()) + " of its " + std::to_string(Listed[I].Size) +
               " bytes.");
      }
      Archive.Records[I].Bytes.assign(Bytes.begin(), Bytes.end());
      FPosition += Bytes.size();
    }
    const uint32_t ContentCrc = rtl::Crc32(FFile.substr(Payload, FPosition - Payload), FCrc);
    const uint32_t FileCrc = ReadTrailer();

    // A damaged record is named before the file's sum, which any damage breaks.
    for (std::size_t I = 0; I < Listed.size(); ++I) {
      const auto& Bytes = Archive.Records[I].Bytes;
      const uint32_t Crc = rtl::Crc32(Bytes.data(), Bytes.size());
      if (Crc != Listed[I].Crc) {
        Refuse("Record " + Quoted(Archive.Records[I].Name) +
               " is damaged: its bytes do not match its CRC-32 (listed " + CrcText(Listed[I].Crc) +
               ", found " + CrcText(Crc) + ").");
      }
    }
    if (ContentCrc != FileCrc) {
      Refuse("The profile store export is damaged: the file's CRC-32 does not match (the "
             "trailer says " +
             CrcText(FileCrc) + ", the content gives " + CrcText(ContentCrc) + ").");
    }
    return Archive;
  }

private:
  [[noreturn]] static void Refuse(const std::string& AMessage) { throw EStoreArchive(AMessage); }

  [[noreturn]] void Damaged(const std::string& AWhat) const {
    Refuse("The profile store export's text is damaged: line " + std::to_string(FLine) + " " +
           AWhat + ".");
  }

  // The next line of the text part without its line end (LF or CR LF); its text as written
  // (with LF) joins the file's CRC-32.
  std::string_view NextLine() {
    ++FLine;
    const std::size_t End = FFile.find('\n', FPosition);
    if (End == std::string_view::npos) {
      Refuse("The file is cut short in its text, at line " + std::to_string(FLine) + ".");
    }
    std::string_view Line = FFile.substr(FPosition, End - FPosition);
    FPosition = End + 1;
    if (Line.ends_with('\r')) {
      Line.remove_suffix(1);
    }
    if (!IsOneLineText(Line)) {
      Damaged("holds a control character or malformed UTF-8");
    }
    FCrc = rtl::Crc32("\n", rtl::Crc32(Line, FCrc));
    return Line;
  }

  std::string Field(std::string_view ALine, std::string_view APrefix, const std::string& AWhat) {
    if (!ALine.starts_with(APrefix)) {
      Damaged("should hold " + AWhat + " after " + Quoted(APrefix));
    }
    return std::string(ALine.substr(APrefix.size()));
  }

  void ReadFormat() {
    const std::string Text = Field(NextLine(), cFormatPrefix, "the format version");
    const std::optional<uint64_t> Version = ParseDecimal(Text);
    if (!Version || *Version == 0 || *Version > UINT32_MAX) {
      Damaged("has the format version " + Quoted(Text) + ", which is not a version number");
    }
    if (*Version > cStoreArchiveFormat) {
      Refuse("The profile store export is of format version " + Text +
             ", newer than this program reads (format version " +
             std::to_string(cStoreArchiveFormat) + "): a newer version of the program reads it.");
    }
  }

  TListedRecord ReadRecordLine(std::string_view ALine, std::vector<TArchiveRecord>& ARecords) {
    TLineCursor Cursor(ALine);
    Cursor.Skip(cRecordPrefix);
    TArchiveRecord Record;
    Record.Name = Cursor.Until(':');
    const std::string_view SizeText =
        Cursor.Skip(cRecordSizeSeparator) ? Cursor.Until(' ') : std::string_view();
    const std::string_view CrcDigits =
        Cursor.Skip(cRecordCrcSeparator) ? Cursor.Until(',') : std::string_view();
    if (!Cursor.Skip(cRecordLocationSeparator)) {
      Damaged("is not a record line " + Quoted("record <name>: <size> bytes, crc32 <crc>, from "
                                               "<location>"));
    }
    Record.Location = Cursor.Rest();
    if (!IsRecordName(Record.Name)) {
      Damaged("names a record " + Quoted(Record.Name) + ", not 1 to " +
              std::to_string(cMaxStoreArchiveNameLength) + " lower-case letters and digits");
    }
    const std::optional<uint64_t> Size = ParseDecimal(SizeText);
    if (!Size) {
      Damaged("gives record " + Quoted(Record.Name) + " the size " + Quoted(SizeText) +
              ", which is not a number");
    }
    const std::optional<uint32_t> Crc = ParseCrc(CrcDigits);
    if (!Crc) {
      Damaged("gives record " + Quoted(Record.Name) + " the CRC-32 " + Quoted(CrcDigits) +
              ", which is not 8 lower-case hexadecimal digits");
    }
    if (*Size > cMaxStoreArchiveRecordSize) {
      Refuse("Record " + Quoted(Record.Name) + " is " + std::to_string(*Size) +
             " bytes, more than the " + std::to_string(cMaxStoreArchiveRecordSize) +
             " a record may have: the file is damaged.");
    }
    const bool Repeated = std::any_of(ARecords.begin(), ARecords.end(), [&](const auto& AOther) {
      return AOther.Name == Record.Name;
    });
    if (Repeated) {
      Refuse("Record " + Quoted(Record.Name) + " is listed twice: the file is damaged.");
    }
    ARecords.push_back(std::move(Record));
    return {static_cast<std::size_t>(*Size), *Crc};
  }

  // The file's CRC-32 from the trailer, which must end the file.
  uint32_t ReadTrailer() {
    const std::string_view Rest = FFile.substr(FPosition);
    if (Rest.size() < cStoreArchiveTrailerSize) {
      Refuse("The file is cut short: the file's CRC-32 at its end is missing or incomplete.");
    }
    TLineCursor Cursor(Rest);
    const bool Prefixed = Cursor.Skip(cTrailerPrefix);
    const std::optional<uint32_t> Crc = ParseCrc(Cursor.Take(cCrcDigits));
    if (!Prefixed || !Crc || !Cursor.Skip("\n")) {
      Refuse("The profile store export is damaged: the file's CRC-32 after the records is "
             "not there.");
    }
    if (Rest.size() > cStoreArchiveTrailerSize) {
      Refuse("The file holds data after the end of the profile store export: " +
             std::to_string(Rest.size() - cStoreArchiveTrailerSize) + " extra byte(s).");
    }
    return *Crc;
  }

  std::string_view FFile;
  std::size_t FPosition = 0;
  int FLine = 0;
  uint32_t FCrc = 0;
};

} // namespace

std::string WriteStoreArchive(const TStoreArchive& AArchive) {
  RequireOneLine(AArchive.Producer, "the producer");
  RequireOneLine(AArchive.Created, "the creation time");
  for (const std::string& Line : AArchive.Summary) {
    RequireOneLine(Line, "a summary line");
  }
  Require(AArchive.Records.size() <= cMaxStoreArchiveRecords,
          "more than " + std::to_string(cMaxStoreArchiveRecords) + " records");

  std::string File;
  File.append(cKindLine).append("\n");
  File.append(cFormatPrefix).append(std::to_string(cStoreArchiveFormat)).append("\n");
  File.append(cProducerPrefix).append(AArchive.Producer).append("\n");
  File.append(cCreatedPrefix).append(AArchive.Created).append("\n");
  for (const std::string& Line : AArchive.Summary) {
    File.append(cSummaryPrefix).append(Line).append("\n");
  }
  std::size_t Payload = 0;
  for (auto Record = AArchive.Records.begin(); Record != AArchive.Records.end(); ++Record) {
    Require(IsRecordName(Record->Name),
            "the record name " + Quoted(Record->Name) + " is not 1 to " +
                std::to_string(cMaxStoreArchiveNameLength) + " lower-case letters and digits");
    Require(std::none_of(AArchive.Records.begin(), Record,
                         [&](const auto& AOther) { return AOther.Name == Record->Name; }),
            "record " + Quoted(Record->Name) + " is there twice");
    RequireOneLine(Record->Location, "the location of record " + Quoted(Record->Name));
    Require(Record->Bytes.size() <= cMaxStoreArchiveRecordSize,
            "record " + Quoted(Record->Name) + " is larger than " +
                std::to_string(cMaxStoreArchiveRecordSize) + " bytes");
    File.append(cRecordPrefix).append(Record->Name).append(cRecordSizeSeparator);
    File.append(std::to_string(Record->Bytes.size())).append(cRecordCrcSeparator);
    File.append(CrcText(rtl::Crc32(Record->Bytes.data(), Record->Bytes.size())));
    File.append(cRecordLocationSeparator).append(Record->Location).append("\n");
    Payload += Record->Bytes.size();
  }
  File.append(cEndOfTextLine).append("\n");
  Require(File.size() + Payload + cStoreArchiveTrailerSize <= cMaxStoreArchiveSize,
          "the file would be larger than " + std::to_string(cMaxStoreArchiveSize) + " bytes");

  File.reserve(File.size() + Payload + cStoreArchiveTrailerSize);
  for (const TArchiveRecord& Record : AArchive.Records) {
    File.append(Record.Bytes.begin(), Record.Bytes.end());
  }
  const uint32_t FileCrc = rtl::Crc32(File);
  File.append(cTrailerPrefix).append(CrcText(FileCrc)).append("\n");
  return File;
}

TStoreArchive ReadStoreArchive(std::string_view AFile) {
  return TArchiveReader(AFile).Read();
}

} // namespace profile

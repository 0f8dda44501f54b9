#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "profile/StoreArchive.h"

namespace {

using namespace profile;

// Texts that look like the layout's own lines and separators, which must stay plain text.
TStoreArchive Sample() {
  return {
      "TARNCTL 0.9.0",
      "2026-12-10 10:30:00",
      {"Group 1 active, game profile 2 in use", "record x: 1 bytes, crc32 00000000, from nowhere"},
      {{"allsettings", "HKCU\\Software\\Gaming Mouse\\AllSettings", {0x00, 0x0A, 0x0D, 0x0A, 0xFF}},
       {"game1",
        "C:\\Users\\J\xC3\xB6rg\\Documents\\\xE6\xB8\xB8\xE6\x88\x8F 1, from here.pfd",
        {}}}};
}

// The sample's file, with its sums from an implementation of CRC-32 other than ours.
const std::string cText =
    "TARNCTL profile store export\n"
    "format: 1\n"
    "producer: TARNCTL 0.9.0\n"
    "created: 2026-12-10 10:30:00\n"
    "summary: Group 1 active, game profile 2 in use\n"
    "summary: record x: 1 bytes, crc32 00000000, from nowhere\n"
    "record allsettings: 5 bytes, crc32 76aa832d, from HKCU\\Software\\Gaming Mouse\\AllSettings\n"
    "record game1: 0 bytes, crc32 00000000, from "
    "C:\\Users\\J\xC3\xB6rg\\Documents\\\xE6\xB8\xB8\xE6\x88\x8F 1, from here.pfd\n"
    "end of text: the records' raw bytes follow in the order above, then the file's CRC-32\n";
const std::string cFile =
    cText + std::string("\x00\x0A\x0D\x0A\xFF", 5) + "\nfile crc32 2851d0b3\n";

std::string Replaced(std::string AFile, const std::string& AFrom, const std::string& ATo) {
  const std::size_t At = AFile.find(AFrom);
  EXPECT_NE(At, std::string::npos) << AFrom;
  return At == std::string::npos ? AFile : AFile.replace(At, AFrom.size(), ATo);
}

TEST(StoreArchive, WritesTheLayoutAndReadsItBackByteForByte) {
  EXPECT_EQ(WriteStoreArchive(Sample()), cFile);

  const TStoreArchive Read = ReadStoreArchive(cFile);
  EXPECT_TRUE(Read == Sample());
  EXPECT_EQ(WriteStoreArchive(Read), cFile);
}

TEST(StoreArchive, RefusesEachDamageNamingIt) {
  // 63 more records of no bytes make 65.
  std::string ManyRecords;
  for (int I = 0; I < 63; ++I) {
    ManyRecords += "record r" + std::to_string(I) + ": 0 bytes, crc32 00000000, from x\n";
  }
  const std::size_t RecordStart = cText.size();
  const std::string GameLine = "record game1: 0 bytes, crc32 00000000, from x\n";
  const struct {
    std::string File;
    std::string Named;
  } Cases[] = {
      {"", "empty"},
      {"PK\x03\x04 a zip file\n", "not a profile store export"},
      {std::string(cMaxStoreArchiveSize + 1, 'T'), "more than a profile store export can be"},
      {Replaced(cFile, "format: 1", "format: 2"), "format version 2, newer than this program "
                                                  "reads (format version 1)"},
      {cFile.substr(0, 60), "cut short in its text, at line 3"},
      {cFile.substr(0, RecordStart), "record \"allsettings\" has 0 of its 5 bytes"},
      {cFile.substr(0, RecordStart + 4), "record \"allsettings\" has 4 of its 5 bytes"},
      {cFile.substr(0, cFile.size() - 1), "CRC-32 at its end is missing"},
      {Replaced(cFile, "\x0D\x0A\xFF", "\x0D\x0A\xFE"), "Record \"allsettings\" is damaged"},
      {Replaced(cFile, "Gaming Mouse", "Gaming Moose"), "the file's CRC-32 does not match"},
      {Replaced(cFile, "\nfile crc32 2851d0b3", "\nfile crc32 2851D0B3"), "CRC-32 after the "
                                                                          "records is not there"},
      {cFile + "x", "1 extra byte"},
      {Replaced(cFile, "5 bytes", "05 bytes"), "line 7 gives record \"allsettings\" the size "
                                               "\"05\", which is not a number"},
      {Replaced(cFile, "5 bytes", "2000000 bytes"), "\"allsettings\" is 2000000 bytes, more than"},
      {Replaced(cFile, "crc32 76aa832d", "crc32 76aa832"), "line 7 gives record \"allsettings\" "
                                                           "the CRC-32"},
      {Replaced(cFile, "summary: Group", "Summary: Group"), "line 5 is not a summary, a record"},
      {Replaced(cFile, "\nend of text", "\n" + ManyRecords + "end of text"), "more than 64"},
      {Replaced(cFile, "\nend of text", "\n" + GameLine + "end of text"), "\"game1\" is listed "
                                                                          "twice"},
      {Replaced(cFile, "Gaming Mouse", "Gaming\rMouse"), "line 7 holds a control character"},
  };
  for (const auto& Case : Cases) {
    try {
      ReadStoreArchive(Case.File);
      ADD_FAILURE() << "read: " << Case.Named;
    } catch (const EStoreArchive& E) {
      EXPECT_NE(std::string(E.what()).find(Case.Named), std::string::npos)
          << E.what() << "\nexpected: " << Case.Named;
    }
  }

  // The positive control: CR LF in the text part, as an editor leaves it, still reads.
  std::string Crlf;
  for (const char Char : cText) {
    Crlf += Char == '\n' ? std::string("\r\n") : std::string(1, Char);
  }
  EXPECT_EQ(WriteStoreArchive(ReadStoreArchive(Crlf + cFile.substr(cText.size()))), cFile);
}

TEST(StoreArchive, WriterRefusesWhatTheLayoutCannotHold) {
  const auto Refused = [](auto AChange) {
    TStoreArchive Archive = Sample();
    AChange(Archive);
    EXPECT_THROW(WriteStoreArchive(Archive), std::invalid_argument);
  };
  Refused([](TStoreArchive& A) { A.Records[1].Location += "\nrecord game2: 0 bytes"; });
  Refused([](TStoreArchive& A) { A.Summary.push_back("two\r"); });
  Refused([](TStoreArchive& A) { A.Producer = "TARNCTL\xFF"; });
  Refused([](TStoreArchive& A) { A.Records[1].Name = "allsettings"; });
  Refused([](TStoreArchive& A) { A.Records[1].Name = "Game1"; });
  Refused([](TStoreArchive& A) { A.Records[0].Bytes.resize(cMaxStoreArchiveRecordSize + 1); });
}

} // namespace

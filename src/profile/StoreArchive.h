// The profile store in one file: the export that TARNCTL writes and imports back. This module
// knows the file's layout and its integrity only; what the records mean (their sizes against
// the record types, the indexes inside them) is checked by whoever restores them.
//
// The layout, format 1. A text part in UTF-8 that a person can read in any editor, then the
// records' raw bytes, then a trailer:
//
//   TARNCTL profile store export
//   format: 1
//   producer: <Producer>
//   created: <Created>
//   summary: <a line of Summary>                                  (one per line, in order)
//   record <Name>: <size> bytes, crc32 <crc>, from <Location>     (one per record, in order)
//   end of text: the records' raw bytes follow in the order above, then the file's CRC-32
//   <the bytes of every record, back to back, in the order of the record lines>
//   <LF>file crc32 <crc><LF>
//
// - Every line of the text part ends with LF; a reader also takes CR LF there, since an
//   editor or a mail program may have changed them. The first two lines are the same in
//   every format version, so that any reader can tell a file it is too old for.
// - <size> is decimal: digits only, no sign, blank or leading zero. <crc> is the CRC-32
//   (rtl::Crc32) in exactly 8 lower-case hexadecimal digits.
// - <Name> is 1 to 32 lower-case ASCII letters and digits, each name once. A record holds at
//   most cMaxStoreArchiveRecordSize bytes; a file lists at most cMaxStoreArchiveRecords.
// - Producer, Created, Summary lines and Location are valid UTF-8 without control characters
//   (so without CR or LF); each runs to the end of its line, so whatever they hold cannot be
//   taken for a field or a line of the layout. Location may be empty.
// - The trailer's CRC-32 covers everything before it with the text part's line ends counted
//   as LF, as written. Nothing follows the trailer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace profile {

inline constexpr uint32_t cStoreArchiveFormat = 1;
// Far above a whole store (eight records, the largest 163560 bytes), so a bigger file is not
// an export at all and is refused before any of it is read.
inline constexpr std::size_t cMaxStoreArchiveSize = std::size_t{8} * 1024 * 1024;
// The bound a stored image is read with (cMaxStreamImageSize): a larger record could never be
// restored.
inline constexpr std::size_t cMaxStoreArchiveRecordSize = std::size_t{1024} * 1024;
inline constexpr std::size_t cMaxStoreArchiveRecords = 64;
inline constexpr std::size_t cMaxStoreArchiveNameLength = 32;
// "\nfile crc32 " and 8 hexadecimal digits and "\n".
inline constexpr std::size_t cStoreArchiveTrailerSize = 21;

struct TArchiveRecord {
  std::string Name;     // stable id, e.g. "allsettings", "groups", "game1".."game5"
  std::string Location; // where it was stored, for people
  std::vector<uint8_t> Bytes;

  bool operator==(const TArchiveRecord&) const = default;
};

struct TStoreArchive {
  std::string Producer;             // e.g. "TARNCTL 0.9.0"
  std::string Created;              // local time as text, e.g. "2026-12-10 10:30:00"
  std::vector<std::string> Summary; // readable lines about the store, for people
  std::vector<TArchiveRecord> Records;

  bool operator==(const TStoreArchive&) const = default;
};

// Thrown by ReadStoreArchive with a message for the user that names what is wrong.
class EStoreArchive : public std::runtime_error {
public:
  using runtime_error::runtime_error;
};

// The file's bytes. Throws std::invalid_argument for an archive that the layout cannot hold
// (a text with a line break, control character or malformed UTF-8, a bad or repeated name, a
// record or a file too large, too many records): whatever this writes, ReadStoreArchive reads
// back as it was.
std::string WriteStoreArchive(const TStoreArchive& AArchive);

// Reads a file written by WriteStoreArchive, checking its size, kind, version, layout,
// every record's CRC-32 and the file's; throws EStoreArchive for anything else.
TStoreArchive ReadStoreArchive(std::string_view AFile);

} // namespace profile

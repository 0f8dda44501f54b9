#include "app/ctl/StagedStore.h"

#include <algorithm>
#include <cstdio>

#include "platform/SysError.h"
#include "profile/StoreArchive.h"
#include "rtl/Crc32.h"
#include "rtl/Paths.h"

namespace ctl {

namespace {

using platform::TKeyAccess;
namespace SysError = platform::SysError;

// Registry names and Windows paths compare without case.
std::string Folded(std::string_view AText) {
  std::string Text(AText);
  std::transform(Text.begin(), Text.end(), Text.begin(),
                 [](char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C + 32) : C; });
  return Text;
}

// A folder or file path as the file system compares it: without case, with one delimiter
// where several stand in a row, and without a trailing one.
std::string PathKey(std::string_view APath) {
  std::string Key;
  for (const char C : Folded(APath)) {
    const bool Delimiter = C == '\\' || C == '/';
    if (Delimiter && !Key.empty() && Key.back() == '/') {
      continue;
    }
    Key += Delimiter ? '/' : C;
  }
  if (Key.size() > 1 && Key.back() == '/') {
    Key.pop_back();
  }
  return Key;
}

std::string KeyId(uint32_t ARoot, const std::string& APath) {
  return std::to_string(ARoot) + ":" + Folded(APath);
}

std::string RootName(uint32_t ARoot) {
  return ARoot == platform::RegRoot::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

class TStagedKey : public platform::IRegistryKey {
public:
  TStagedKey(TStagedRegistry& ARegistry, uint32_t ARoot, std::string APath,
             std::unique_ptr<platform::IRegistryKey> AReal)
      : FRegistry(ARegistry), FRoot(ARoot), FPath(std::move(APath)), FReal(std::move(AReal)) {}

  uint32_t QueryValueInfo(const std::string& AName, uint32_t& AType, uint64_t& ASize) override {
    if (const TStagedRegistry::TValue* Value = Staged(AName)) {
      if (!Value->Bytes) {
        return SysError::FileNotFound;
      }
      AType = Value->Type;
      ASize = Value->Bytes->size();
      return SysError::Success;
    }
    return FReal ? FReal->QueryValueInfo(AName, AType, ASize) : SysError::FileNotFound;
  }

  uint32_t QueryValue(const std::string& AName, uint32_t& AType, std::vector<uint8_t>& AData,
                      uint64_t AMaxSize) override {
    if (const TStagedRegistry::TValue* Value = Staged(AName)) {
      if (!Value->Bytes) {
        return SysError::FileNotFound;
      }
      if (Value->Bytes->size() > AMaxSize) {
        return SysError::MoreData;
      }
      AType = Value->Type;
      AData = *Value->Bytes;
      return SysError::Success;
    }
    return FReal ? FReal->QueryValue(AName, AType, AData, AMaxSize) : SysError::FileNotFound;
  }

  uint32_t SetValue(const std::string& AName, uint32_t AType, const void* AData,
                    std::size_t ASize) override {
    TStagedRegistry::TKey* Key = FRegistry.Staged(FRoot, FPath, true);
    auto& Entry = Key->Values[Folded(AName)];
    if (Entry.first.empty()) {
      Entry.first = AName;
    }
    const auto* Bytes = static_cast<const uint8_t*>(AData);
    Entry.second = {AType, std::vector<uint8_t>(Bytes, Bytes + ASize)};
    return SysError::Success;
  }

  uint32_t DeleteValue(const std::string& AName) override {
    uint32_t Type = 0;
    uint64_t Size = 0;
    if (QueryValueInfo(AName, Type, Size) != SysError::Success) {
      return SysError::FileNotFound;
    }
    auto& Entry = FRegistry.Staged(FRoot, FPath, true)->Values[Folded(AName)];
    if (Entry.first.empty()) {
      Entry.first = AName;
    }
    Entry.second = {Type, std::nullopt};
    return SysError::Success;
  }

private:
  const TStagedRegistry::TValue* Staged(const std::string& AName) {
    const TStagedRegistry::TKey* Key = FRegistry.Staged(FRoot, FPath, false);
    if (Key == nullptr) {
      return nullptr;
    }
    const auto Value = Key->Values.find(Folded(AName));
    return Value == Key->Values.end() ? nullptr : &Value->second.second;
  }

  TStagedRegistry& FRegistry;
  uint32_t FRoot;
  std::string FPath;
  std::unique_ptr<platform::IRegistryKey> FReal;
};

// What the real store holds for a change's target now; none when nothing is there.
std::optional<std::vector<uint8_t>> StoredBytes(platform::IRegistry& ARegistry,
                                                platform::IFileSystem& AFiles,
                                                const TStagedChange& AChange) {
  std::vector<uint8_t> Bytes;
  if (AChange.Kind == TStagedChange::TKind::File) {
    if (!AFiles.FileExists(AChange.Path)) {
      return std::nullopt;
    }
    const uint32_t Error = AFiles.ReadWholeFile(AChange.Path, Bytes, profile::cMaxStoreArchiveSize);
    if (Error != SysError::Success) {
      throw ECommit("cannot read " + AChange.Where() + ": " + AFiles.ErrorText(Error), false);
    }
    return Bytes;
  }
  uint32_t Error = SysError::Success;
  const auto Key = ARegistry.OpenKey(AChange.Root, AChange.Path, TKeyAccess::Read, Error);
  if (!Key) {
    return std::nullopt;
  }
  uint32_t Type = 0;
  Error = Key->QueryValue(AChange.Name, Type, Bytes, profile::cMaxStoreArchiveSize);
  if (Error == SysError::FileNotFound) {
    return std::nullopt;
  }
  if (Error != SysError::Success) {
    throw ECommit("cannot read " + AChange.Where() + " (error " + std::to_string(Error) + ")",
                  false);
  }
  return Bytes;
}

// Makes the target hold ABytes (none: removes it); the system's error code.
uint32_t Write(platform::IRegistry& ARegistry, platform::IFileSystem& AFiles,
               const TStagedChange& AChange, const std::optional<std::vector<uint8_t>>& ABytes) {
  if (AChange.Kind == TStagedChange::TKind::File) {
    if (!ABytes) {
      return AFiles.FileExists(AChange.Path) ? AFiles.RemoveFile(AChange.Path) : SysError::Success;
    }
    return AFiles.ReplaceFileContent(AChange.Path, ABytes->data(), ABytes->size());
  }
  uint32_t Error = SysError::Success;
  const auto Key = ARegistry.OpenKey(AChange.Root, AChange.Path,
                                     ABytes ? TKeyAccess::Create : TKeyAccess::ReadWrite, Error);
  if (!Key) {
    return !ABytes && Error == SysError::FileNotFound ? SysError::Success : Error;
  }
  if (!ABytes) {
    Error = Key->DeleteValue(AChange.Name);
    return Error == SysError::FileNotFound ? SysError::Success : Error;
  }
  return Key->SetValue(AChange.Name, AChange.Type, ABytes->data(), ABytes->size());
}

std::string Crc(const std::optional<std::vector<uint8_t>>& ABytes) {
  if (!ABytes) {
    return "none";
  }
  char Text[12];
  std::snprintf(Text, sizeof(Text), "%08X", rtl::Crc32(ABytes->data(), ABytes->size()));
  return Text;
}

// A journal entry's target and checks, one line: kind, root, type, the stored bytes' and the
// new bytes' checksums, then the path (and the value name after the last delimiter).
std::string JournalLocation(const TStagedChange& AChange) {
  char Head[64];
  std::snprintf(Head, sizeof(Head), "%s %08X %u ",
                AChange.Kind == TStagedChange::TKind::File ? "file" : "registry", AChange.Root,
                AChange.Type);
  const std::string Target = AChange.Kind == TStagedChange::TKind::File
                                 ? AChange.Path
                                 : AChange.Path + "\\" + AChange.Name;
  return Head + Crc(AChange.Before) + " " + Crc(AChange.Bytes) + " " + Target;
}

struct TJournalEntry {
  TStagedChange Change;
  // The checksum of the bytes stored before the change ("none": nothing was there).
  std::string BeforeCrc;
};

TJournalEntry EntryFromJournal(const profile::TArchiveRecord& ARecord) {
  TJournalEntry Entry;
  TStagedChange& Change = Entry.Change;
  char Kind[16] = {};
  char Before[16] = {};
  char After[16] = {};
  unsigned Root = 0;
  unsigned Type = 0;
  int Used = 0;
  if (std::sscanf(ARecord.Location.c_str(), "%15s %8X %u %15s %15s %n", Kind, &Root, &Type, Before,
                  After, &Used) != 5 ||
      Used <= 0 || static_cast<std::size_t>(Used) >= ARecord.Location.size()) {
    throw ECommit("the journal's entry \"" + ARecord.Name + "\" cannot be read", true);
  }
  Change.Kind = std::string(Kind) == "file" ? TStagedChange::TKind::File
                                            : TStagedChange::TKind::RegistryValue;
  Change.Root = Root;
  Change.Type = Type;
  const std::string Target = ARecord.Location.substr(static_cast<std::size_t>(Used));
  if (Change.Kind == TStagedChange::TKind::File) {
    Change.Path = Target;
  } else {
    const std::size_t Delimiter = Target.rfind('\\');
    if (Delimiter == std::string::npos) {
      throw ECommit("the journal's entry \"" + ARecord.Name + "\" names no value", true);
    }
    Change.Path = Target.substr(0, Delimiter);
    Change.Name = Target.substr(Delimiter + 1);
  }
  if (std::string(After) != "none") {
    Change.Bytes = ARecord.Bytes;
  }
  Entry.BeforeCrc = Before;
  return Entry;
}

// Removes the journal: "" once it is gone, otherwise why it stays (held open by a scanner, say),
// for a message that does not claim it gone.
std::string RemoveJournal(platform::IFileSystem& AFiles, const std::string& AJournal) {
  const uint32_t Error = AFiles.RemoveFile(AJournal);
  if (Error == SysError::Success || !AFiles.FileExists(AJournal)) {
    return "";
  }
  return "the journal " + AJournal + " cannot be removed (" + AFiles.ErrorText(Error) + ")";
}

} // namespace

std::string TStagedChange::Where() const {
  return Kind == TKind::File ? "file " + Path
                             : "registry value " + RootName(Root) + "\\" + Path + "\\" + Name;
}

// ---- the registry ----

TStagedRegistry::TKey* TStagedRegistry::Staged(uint32_t ARoot, const std::string& APath,
                                               bool ACreate) {
  const std::string Id = KeyId(ARoot, APath);
  auto Key = FKeys.find(Id);
  if (Key == FKeys.end()) {
    if (!ACreate) {
      return nullptr;
    }
    Key = FKeys.emplace(Id, TKey{ARoot, APath, false, {}}).first;
  }
  return &Key->second;
}

std::unique_ptr<platform::IRegistryKey> TStagedRegistry::OpenKey(uint32_t ARoot,
                                                                 const std::string& APath,
                                                                 TKeyAccess AAccess,
                                                                 uint32_t& AError) {
  uint32_t RealError = SysError::Success;
  auto Real = FReal.OpenKey(ARoot, APath, TKeyAccess::Read, RealError);
  TKey* Key = Staged(ARoot, APath, false);
  if (!Real && Key == nullptr) {
    if (AAccess != TKeyAccess::Create || RealError != SysError::FileNotFound) {
      AError = RealError;
      return nullptr;
    }
    Key = Staged(ARoot, APath, true);
    Key->Created = true;
  }
  AError = SysError::Success;
  return std::make_unique<TStagedKey>(*this, ARoot, APath, std::move(Real));
}

uint32_t TStagedRegistry::DeleteKeyTree(uint32_t, const std::string&) {
  return SysError::AccessDenied;
}

// ---- the files ----

bool TStagedFiles::FileExists(const std::string& APath) {
  const auto File = FFiles.find(PathKey(APath));
  return File != FFiles.end() ? File->second.second.has_value() : FReal.FileExists(APath);
}

bool TStagedFiles::DirectoryExists(const std::string& APath) {
  const std::string Folder = PathKey(APath);
  return std::any_of(FFolders.begin(), FFolders.end(),
                     [&](const std::string& AMade) { return PathKey(AMade) == Folder; }) ||
         FReal.DirectoryExists(APath);
}

uint32_t TStagedFiles::MakeDirectory(const std::string& APath) {
  if (DirectoryExists(APath)) {
    return SysError::AlreadyExists;
  }
  // Only the last level is made, as the real call does: its parent must be there.
  const std::string Folder = rtl::ExcludeTrailingPathDelimiter(APath);
  const std::size_t Delimiter = Folder.find_last_of("\\/");
  if (Delimiter == std::string::npos || !DirectoryExists(Folder.substr(0, Delimiter + 1))) {
    return SysError::PathNotFound;
  }
  if (!platform::PathFitsLimits(Folder)) {
    return SysError::PathNotFound;
  }
  FFolders.push_back(Folder);
  return SysError::Success;
}

uint32_t TStagedFiles::ReadWholeFile(const std::string& APath, std::vector<uint8_t>& AData,
                                     uint64_t AMaxSize) {
  const auto File = FFiles.find(PathKey(APath));
  if (File == FFiles.end()) {
    return FReal.ReadWholeFile(APath, AData, AMaxSize);
  }
  if (!File->second.second) {
    return SysError::FileNotFound;
  }
  if (File->second.second->size() > AMaxSize) {
    return SysError::FileTooLarge;
  }
  AData = *File->second.second;
  return SysError::Success;
}

uint32_t TStagedFiles::ReplaceFileContent(const std::string& APath, const void* AData,
                                          std::size_t ASize) {
  const std::size_t Delimiter = APath.find_last_of("\\/");
  if (!platform::PathFitsLimits(APath)) {
    return SysError::PathNotFound;
  }
  if (Delimiter == std::string::npos || !DirectoryExists(APath.substr(0, Delimiter + 1))) {
    return SysError::PathNotFound;
  }
  const auto* Bytes = static_cast<const uint8_t*>(AData);
  auto& Entry = FFiles[PathKey(APath)];
  Entry = {APath, std::vector<uint8_t>(Bytes, Bytes + ASize)};
  return SysError::Success;
}

uint32_t TStagedFiles::RemoveFile(const std::string& APath) {
  if (!FileExists(APath)) {
    return SysError::FileNotFound;
  }
  FFiles[PathKey(APath)] = {APath, std::nullopt};
  return SysError::Success;
}

uint32_t TStagedFiles::DuplicateFile(const std::string& ASource, const std::string& ATarget) {
  std::vector<uint8_t> Bytes;
  const uint32_t Error = ReadWholeFile(ASource, Bytes, profile::cMaxStoreArchiveSize);
  return Error != SysError::Success ? Error
                                    : ReplaceFileContent(ATarget, Bytes.data(), Bytes.size());
}

// ---- changes and their commit ----

std::vector<TStagedChange> StagedChanges(TStagedRegistry& ARegistry, TStagedFiles& AFiles) {
  std::vector<TStagedChange> Changes;
  const auto Keep = [&](TStagedChange AChange) {
    AChange.Before = StoredBytes(ARegistry.Real(), AFiles.Real(), AChange);
    if (AChange.Before != AChange.Bytes) {
      Changes.push_back(std::move(AChange));
    }
  };
  for (const auto& [Id, Key] : ARegistry.Keys()) {
    for (const auto& [Folded, Value] : Key.Values) {
      TStagedChange Change;
      Change.Root = Key.Root;
      Change.Path = Key.Path;
      Change.Name = Value.first;
      Change.Type = Value.second.Type;
      Change.Bytes = Value.second.Bytes;
      Keep(std::move(Change));
    }
  }
  for (const auto& [Folded, File] : AFiles.Files()) {
    TStagedChange Change;
    Change.Kind = TStagedChange::TKind::File;
    Change.Path = File.first;
    Change.Bytes = File.second;
    Keep(std::move(Change));
  }
  return Changes;
}

std::string JournalPath(const std::string& AProfileFolder) {
  return rtl::IncludeTrailingPathDelimiter(AProfileFolder) + "TARNCTL.journal";
}

std::string Commit(const std::vector<TStagedChange>& AChanges, TStagedRegistry& ARegistry,
                   TStagedFiles& AFiles, const std::string& AJournal,
                   const std::string& AProducer) {
  platform::IRegistry& Registry = ARegistry.Real();
  platform::IFileSystem& Files = AFiles.Real();
  for (const std::string& Folder : AFiles.Folders()) {
    const uint32_t Error = Files.MakeDirectory(Folder);
    if (Error != SysError::Success && !Files.DirectoryExists(Folder)) {
      throw ECommit("cannot create the folder " + Folder + ": " + Files.ErrorText(Error), false);
    }
  }
  if (AChanges.empty()) {
    return "";
  }
  profile::TStoreArchive Journal;
  Journal.Producer = AProducer;
  Journal.Summary.push_back("An unfinished change of the profile store; the next command of "
                            "the profile tool finishes it.");
  for (std::size_t I = 0; I < AChanges.size(); ++I) {
    const TStagedChange& Change = AChanges[I];
    if (Change.Kind == TStagedChange::TKind::RegistryValue &&
        Change.Name.find('\\') != std::string::npos) {
      throw ECommit("cannot write " + Change.Where() + ": its name holds a backslash", false);
    }
    Journal.Records.push_back({"c" + std::to_string(I + 1), JournalLocation(Change),
                               Change.Bytes.value_or(std::vector<uint8_t>())});
  }
  const std::string JournalBytes = profile::WriteStoreArchive(Journal);
  uint32_t Error = Files.ReplaceFileContent(AJournal, JournalBytes.data(), JournalBytes.size());
  if (Error != SysError::Success) {
    throw ECommit("nothing was changed: cannot write the journal " + AJournal + ": " +
                      Files.ErrorText(Error),
                  false);
  }
  std::size_t Done = 0;
  for (; Done < AChanges.size(); ++Done) {
    Error = Write(Registry, Files, AChanges[Done], AChanges[Done].Bytes);
    if (Error != SysError::Success) {
      break;
    }
  }
  if (Done == AChanges.size()) {
    const std::string Stays = RemoveJournal(Files, AJournal);
    return Stays.empty() ? ""
                         : Stays + ": the next command of the profile tool writes this change "
                                   "again from it and removes it";
  }
  const std::string Failure =
      "cannot write " + AChanges[Done].Where() + ": " + Files.ErrorText(Error);
  // Put back what was written, newest first.
  bool PutBack = true;
  for (std::size_t I = Done; I-- > 0;) {
    PutBack =
        Write(Registry, Files, AChanges[I], AChanges[I].Before) == SysError::Success && PutBack;
  }
  if (PutBack) {
    // A journal left behind would make the next command finish the change: then it was not
    // "nothing".
    const std::string Stays = RemoveJournal(Files, AJournal);
    if (Stays.empty()) {
      throw ECommit(Failure + "; nothing was changed", false);
    }
    throw ECommit(Failure + "; what was written was put back, but " + Stays +
                      ": the next command of the profile tool finishes the change from it",
                  true);
  }
  throw ECommit(Failure +
                    "; what was written could not all be put back: the next command of "
                    "the profile tool finishes the change from its journal " +
                    AJournal,
                true);
}

std::string FinishInterruptedCommit(platform::IRegistry& ARegistry, platform::IFileSystem& AFiles,
                                    const std::string& AJournal) {
  if (!AFiles.FileExists(AJournal)) {
    return "";
  }
  std::vector<uint8_t> Bytes;
  uint32_t Error = AFiles.ReadWholeFile(AJournal, Bytes, profile::cMaxStoreArchiveSize);
  if (Error != SysError::Success) {
    throw ECommit("cannot read the journal " + AJournal + ": " + AFiles.ErrorText(Error), true);
  }
  profile::TStoreArchive Journal;
  try {
    Journal = profile::ReadStoreArchive(
        std::string_view(reinterpret_cast<const char*>(Bytes.data()), Bytes.size()));
  } catch (const profile::EStoreArchive& AError) {
    // A journal is written whole or not at all: a damaged one was never the plan of a commit.
    AFiles.RemoveFile(AJournal);
    return "removed a damaged journal " + AJournal + " (" + AError.what() + ")";
  }
  std::vector<TJournalEntry> Entries;
  for (const profile::TArchiveRecord& Record : Journal.Records) {
    Entries.push_back(EntryFromJournal(Record));
  }
  // Every target must still hold its old or its new bytes; otherwise the store was changed
  // since, and writing the journal would undo that.
  for (const TJournalEntry& Entry : Entries) {
    const std::string Now = Crc(StoredBytes(ARegistry, AFiles, Entry.Change));
    if (Now != Entry.BeforeCrc && Now != Crc(Entry.Change.Bytes)) {
      const std::string Aside = AJournal + ".superseded";
      AFiles.DuplicateFile(AJournal, Aside);
      AFiles.RemoveFile(AJournal);
      return "did not finish an unfinished change of the profile store: " + Entry.Change.Where() +
             " was changed since (its journal is kept as " + Aside + ")";
    }
  }
  for (const TJournalEntry& Entry : Entries) {
    Error = Write(ARegistry, AFiles, Entry.Change, Entry.Change.Bytes);
    if (Error != SysError::Success) {
      throw ECommit("cannot finish the unfinished change of the journal " + AJournal +
                        ": cannot write " + Entry.Change.Where() + ": " + AFiles.ErrorText(Error),
                    true);
    }
  }
  const std::string Stays = RemoveJournal(AFiles, AJournal);
  return "finished an unfinished change of the profile store (" + std::to_string(Entries.size()) +
         (Entries.size() == 1 ? " record" : " records") + ") from its journal " + AJournal +
         (Stays.empty() ? "" : ", but " + Stays + ": the next command finishes it again");
}

} // namespace ctl

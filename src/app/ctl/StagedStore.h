// The profile store seen through a stage: the data module runs over a registry and a file
// system that read the real ones but keep every write in memory. Nothing reaches the store
// until Commit, which writes all staged changes as one: first a journal of them beside the
// profiles, then the changes, then the journal goes. A commit that a kill or a power cut
// interrupts is finished by the next FinishInterruptedCommit; one that fails half way (a full
// disk, a value that cannot be written) puts back what it had written, so the store is the old
// one or the new one, never a mixture.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Registry.h"

namespace ctl {

// One change the stage holds: a registry value or a file, its new bytes (or its removal).
struct TStagedChange {
  enum class TKind { RegistryValue, File };
  TKind Kind = TKind::RegistryValue;
  uint32_t Root = 0;
  // The key path and the value name, or the file's path in Path.
  std::string Path;
  std::string Name;
  uint32_t Type = 0;
  std::optional<std::vector<uint8_t>> Bytes; // none: removed
  // What the store holds now (none: nothing there).
  std::optional<std::vector<uint8_t>> Before;
  // For people: "registry value HKEY_CURRENT_USER\...\x.pfd" or "file C:\...".
  std::string Where() const;
};

class TStagedRegistry : public platform::IRegistry {
public:
  explicit TStagedRegistry(platform::IRegistry& AReal) : FReal(AReal) {}
  std::unique_ptr<platform::IRegistryKey> OpenKey(uint32_t ARoot, const std::string& APath,
                                                  platform::TKeyAccess AAccess,
                                                  uint32_t& AError) override;
  // The store's keys are never removed here.
  uint32_t DeleteKeyTree(uint32_t, const std::string&) override;

  struct TValue {
    uint32_t Type = 0;
    std::optional<std::vector<uint8_t>> Bytes;
  };
  struct TKey {
    uint32_t Root = 0;
    std::string Path;
    bool Created = false;
    // By folded name; the name as first written beside it.
    std::map<std::string, std::pair<std::string, TValue>> Values;
  };
  platform::IRegistry& Real() { return FReal; }
  TKey* Staged(uint32_t ARoot, const std::string& APath, bool ACreate);
  const std::map<std::string, TKey>& Keys() const { return FKeys; }

private:
  platform::IRegistry& FReal;
  std::map<std::string, TKey> FKeys;
};

class TStagedFiles : public platform::IFileSystem {
public:
  explicit TStagedFiles(platform::IFileSystem& AReal) : FReal(AReal) {}
  bool FileExists(const std::string& APath) override;
  bool DirectoryExists(const std::string& APath) override;
  uint32_t MakeDirectory(const std::string& APath) override;
  uint32_t ReadWholeFile(const std::string& APath, std::vector<uint8_t>& AData,
                         uint64_t AMaxSize) override;
  uint32_t ReplaceFileContent(const std::string& APath, const void* AData,
                              std::size_t ASize) override;
  uint32_t RemoveFile(const std::string& APath) override;
  uint32_t DuplicateFile(const std::string& ASource, const std::string& ATarget) override;
  std::string ErrorText(uint32_t ACode) override { return FReal.ErrorText(ACode); }

  platform::IFileSystem& Real() { return FReal; }
  // By folded path: the path as written and its bytes (none: removed).
  const std::map<std::string, std::pair<std::string, std::optional<std::vector<uint8_t>>>>&
  Files() const {
    return FFiles;
  }
  // Folders the stage made, in the order made.
  const std::vector<std::string>& Folders() const { return FFolders; }

private:
  platform::IFileSystem& FReal;
  std::map<std::string, std::pair<std::string, std::optional<std::vector<uint8_t>>>> FFiles;
  std::vector<std::string> FFolders;
};

// What the two stages would change in the store: only values and files whose bytes differ
// from what is stored now, registry values first, each in path order.
std::vector<TStagedChange> StagedChanges(TStagedRegistry& ARegistry, TStagedFiles& AFiles);

// A commit that failed: the store is as it was, or (JournalKept) the journal stays for the
// next command to finish.
class ECommit : public std::runtime_error {
public:
  ECommit(const std::string& AMessage, bool AJournalKept)
      : std::runtime_error(AMessage), FJournalKept(AJournalKept) {}
  bool JournalKept() const { return FJournalKept; }

private:
  bool FJournalKept;
};

// Where the journal of a commit lives: the profile folder, with a trailing delimiter.
std::string JournalPath(const std::string& AProfileFolder);

// Makes the stage's folders, then writes AChanges as one (see the top of this file). Returns a
// warning for people when the change is written but its journal stays ("" otherwise).
std::string Commit(const std::vector<TStagedChange>& AChanges, TStagedRegistry& ARegistry,
                   TStagedFiles& AFiles, const std::string& AJournal, const std::string& AProducer);

// Finishes a commit whose journal is still there: writes what it holds where the store still
// holds the old or the new bytes, and removes it. Returns what it did for people ("" when
// there was no journal); a journal overtaken by later changes of the store is set aside.
std::string FinishInterruptedCommit(platform::IRegistry& ARegistry, platform::IFileSystem& AFiles,
                                    const std::string& AJournal);

} // namespace ctl

// The simulated hook library: the real library's core behind the four exports, into which a
// test injects low-level mouse and keyboard events and sees the blocked flag come back. It
// lies in the program's folder and is found only by that full path, never by a bare name or
// from another folder; it can be missing, or present with an export missing. Also the
// simulated keyboard state.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "platform/Libraries.h"

namespace platform::sim {

class TSimHookLibrary : public ILibraries, public IKeyboardState {
public:
  // AModuleFolder: the simulated program's folder, with its trailing delimiter.
  explicit TSimHookLibrary(std::string AModuleFolder);
  ~TSimHookLibrary() override;
  std::unique_ptr<ILoadedLibrary> Load(const std::string& AFullPath) override;
  int16_t KeyState(int32_t AVirtualKey) override;

  void SetMissing(bool AMissing) { FMissing = AMissing; }
  void SetMissingExport(const std::string& AName) { FMissingExport = AName; }
  int LoadAttempts() const { return FLoadAttempts; }
  bool Loaded() const { return FLoadedCount > 0; }

  // Delivers one event to the installed hook; true when it was swallowed.
  bool InjectMouse(uint32_t AMessage, int32_t AX, int32_t AY, uint32_t AMouseData, uint32_t AFlags,
                   uint32_t ATime);
  bool InjectKeyboard(uint32_t AVirtualKey, uint32_t AScanCode, uint32_t AFlags, uint32_t ATime);
  bool MouseHookInstalled() const;
  bool KeyboardHookInstalled() const;
  int MouseEnables() const { return FMouseEnables; }

  void SetKeyDown(int32_t AVirtualKey, bool ADown);

  // The library's own state; its exports reach the instance that is current.
  struct TState;
  void LibraryReleased();

private:
  std::string FModuleFolder;
  bool FMissing = false;
  std::string FMissingExport;
  int FLoadAttempts = 0;
  int FLoadedCount = 0;
  int FMouseEnables = 0;
  std::set<int32_t> FKeysDown;
  mutable std::mutex FLock;
  friend struct TSimHookExports;
};

} // namespace platform::sim

// A simulated tray icon: its state as the notification area shows it, and a hidden window of
// its own that takes the shell's callbacks and the "TaskbarCreated" broadcast.
#pragma once

#include <string>
#include <vector>

#include "backend/sim/SimSession.h"
#include "platform/Desktop.h"

namespace platform::sim {

class TSimTrayIcon : public ITrayIcon {
public:
  TSimTrayIcon(TSimDesktop& ADesktop, TWindowHandle AOwner, TTrayEvents AEvents);
  ~TSimTrayIcon() override;
  TSimTrayIcon(const TSimTrayIcon&) = delete;
  TSimTrayIcon& operator=(const TSimTrayIcon&) = delete;

  bool LoadIconFile(const std::string& APath) override;
  void SetHint(const std::string& AHint) override;
  void SetMenu(const std::vector<TTrayMenuItem>& AItems) override;
  void SetMenuCaption(uint32_t AId, const std::string& ACaption) override;
  bool Show() override;

private:
  friend class TSimSession;
  bool HandleMessage(TWindowMessage& AMessage);

  TSimDesktop& FDesktop;
  TSimSession& FSession;
  TTrayEvents FEvents;
  TWindowHandle FWindow = 0;
  uint32_t FTaskbarCreated = 0;
  bool FWanted = false; // shown, so added again when the shell restarts
  // Guarded by the session's lock: the area reads it.
  TSimTrayIconState FState;
};

} // namespace platform::sim

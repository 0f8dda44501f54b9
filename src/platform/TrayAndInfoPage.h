// What the program shows of itself on the desktop: its tray icon and its information page.
//
// Each method's comment says, where it applies and in this order: who calls it and on which
// thread; whether it blocks and on what; what failure looks like; who owns what it hands back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Window.h"

namespace platform {

// The tray icon: an icon, a hint, a popup menu. Created hidden; Show adds it to the
// notification area (and the backend adds it again whenever the shell restarts). The icon
// leaves the notification area when this object goes. Menu item identifiers are 1 to
// cMaxMenuItemId (the platform reports a chosen item in 16 bits and uses 0 for none).
inline constexpr uint32_t cMaxMenuItemId = 0xFFFF;
// The hint is cut to this many UTF-16 units, never inside a surrogate pair.
inline constexpr std::size_t cMaxTrayHintUnits = 127;

struct TTrayMenuItem {
  uint32_t Id = 0;
  std::string Caption;
  bool Visible = true; // an invisible item is kept but left out of the menu
};

struct TTrayEvents {
  // A click on the icon (the primary button).
  std::function<void()> OnClick;
  // A visible menu item chosen; the menu opens on the secondary button.
  std::function<void(uint32_t AId)> OnMenuItem;
};

// Every method on the main thread.
class ITrayIcon {
public:
  virtual ~ITrayIcon() = default;
  // Loads the icon from an icon file; false (the icon unchanged: at first the program's
  // built-in icon) when the file is missing or not an icon.
  virtual bool LoadIconFile(const std::string& APath) = 0;
  virtual void SetHint(const std::string& AHint) = 0;
  // Throws std::invalid_argument for an identifier outside 1 to cMaxMenuItemId.
  virtual void SetMenu(const std::vector<TTrayMenuItem>& AItems) = 0;
  // Changes the caption of the item AId, visible or not; nothing for an unknown item.
  virtual void SetMenuCaption(uint32_t AId, const std::string& ACaption) = 0;
  // Adds the icon to the notification area; false when the shell refused it (it is added
  // when the shell announces that it has started).
  virtual bool Show() = 0;
};

// The information page: a plain window of the platform's standard controls (a label per
// line, the web address, an OK button and a web button) laid out on a main window of the
// desktop's, 504 x 400 client pixels, centred on the screen, hidden until shown.
inline constexpr int32_t cInfoPageWidth = 504;
inline constexpr int32_t cInfoPageHeight = 400;

struct TInfoPageTexts {
  std::vector<std::string> Lines;
  std::string WebAddress;
  std::string OkCaption;
  std::string WebCaption;
};

struct TInfoPageEvents {
  std::function<void()> OnOK;
  std::function<void()> OnGoWeb;
};

class ITrayAndInfoPage {
public:
  virtual ~ITrayAndInfoPage() = default;
  // Main thread: the tray icon of AOwner (a window of this desktop), hidden, with the
  // program's built-in icon; its events run on the main thread.
  // Null when AOwner is not a window of this desktop.
  // The caller owns the icon; it must go before the desktop.
  virtual std::unique_ptr<ITrayIcon> CreateTrayIcon(TWindowHandle AOwner, TTrayEvents AEvents) = 0;
  // Main thread: the information page's controls on AWindow, which is sized and centred for
  // them; a second call replaces them. The events run on the main thread.
  // False when AWindow is not a main window of this desktop or a control cannot be made.
  // The page lives as long as AWindow.
  virtual bool CreateInfoPage(TWindowHandle AWindow, const TInfoPageTexts& ATexts,
                              TInfoPageEvents AEvents) = 0;
  // Main thread: new texts (a translation) for the page's controls; nothing without a page.
  virtual void SetInfoPageTexts(TWindowHandle AWindow, const TInfoPageTexts& ATexts) = 0;
};

} // namespace platform

// Where the information page's controls go at a given display scaling. The page is designed
// at 96 DPI (100 %); at any other DPI every size is scaled, rounded as the platform rounds, so
// that the page, its controls and its font grow together and no text is clipped at 150 or
// 200 %. Both desktops lay their page out with it, at creation and whenever the page's window
// moves to a monitor of another DPI.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

inline constexpr uint32_t cDefaultDpi = 96;

struct TPageRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Right() const { return Left + Width; }
  int32_t Bottom() const { return Top + Height; }
  bool operator==(const TPageRect&) const = default;
};

struct TInfoPageLayout {
  uint32_t Dpi = cDefaultDpi;
  int32_t ClientWidth = 0;
  int32_t ClientHeight = 0;
  std::vector<TPageRect> Labels; // one a line, from the top
  TPageRect Address;             // the web address, in the row after the lines
  TPageRect WebButton;           // beside it
  TPageRect OkButton;            // in the bottom right corner
};

// AValue (a size at 96 DPI) at ADpi, rounded to the nearest pixel; a DPI of 0 counts as 96.
int32_t ScaleToDpi(int32_t AValue, uint32_t ADpi);

TInfoPageLayout LayoutInfoPage(uint32_t ADpi, std::size_t ALines);

} // namespace platform

#include "platform/InfoPageLayout.h"

#include "platform/TrayAndInfoPage.h"

namespace platform {

namespace {
// The page at 96 DPI.
constexpr int32_t cMargin = 24;
constexpr int32_t cLineHeight = 22;
constexpr int32_t cLineStep = 30;
constexpr int32_t cAddressHeight = 24;
constexpr int32_t cButtonWidth = 96;
constexpr int32_t cButtonHeight = 30;
constexpr int32_t cGap = 8;
} // namespace

int32_t ScaleToDpi(int32_t AValue, uint32_t ADpi) {
  const int64_t Dpi = ADpi == 0 ? cDefaultDpi : ADpi;
  const int64_t Scaled = static_cast<int64_t>(AValue) * Dpi;
  const int64_t Half = cDefaultDpi / 2;
  return static_cast<int32_t>(Scaled >= 0 ? (Scaled + Half) / cDefaultDpi
                                          : -((-Scaled + Half) / cDefaultDpi));
}

TInfoPageLayout LayoutInfoPage(uint32_t ADpi, std::size_t ALines) {
  const auto S = [ADpi](int32_t AValue) { return ScaleToDpi(AValue, ADpi); };
  TInfoPageLayout Layout;
  Layout.Dpi = ADpi == 0 ? cDefaultDpi : ADpi;
  Layout.ClientWidth = S(cInfoPageWidth);
  Layout.ClientHeight = S(cInfoPageHeight);
  const int32_t Margin = S(cMargin);
  const int32_t ContentWidth = Layout.ClientWidth - 2 * Margin;
  const int32_t ButtonWidth = S(cButtonWidth);
  const int32_t ButtonHeight = S(cButtonHeight);
  for (std::size_t Line = 0; Line < ALines; ++Line) {
    Layout.Labels.push_back({Margin, S(cMargin + static_cast<int32_t>(Line) * cLineStep),
                             ContentWidth, S(cLineHeight)});
  }
  const int32_t AddressTop = S(cMargin + static_cast<int32_t>(ALines) * cLineStep);
  const int32_t AddressHeight = S(cAddressHeight);
  Layout.Address = {Margin, AddressTop, ContentWidth - ButtonWidth - S(cGap), AddressHeight};
  Layout.WebButton = {Layout.Address.Right() + S(cGap),
                      AddressTop - (ButtonHeight - AddressHeight) / 2, ButtonWidth, ButtonHeight};
  Layout.OkButton = {Layout.ClientWidth - Margin - ButtonWidth,
                     Layout.ClientHeight - Margin - ButtonHeight, ButtonWidth, ButtonHeight};
  return Layout;
}

} // namespace platform

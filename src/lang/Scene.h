// The least of the Scene UI toolkit the language needs: a scene registers itself while it
// lives, keeps the original of every text it shows and re-applies TranslateText to them when
// the language changes.
#pragma once

#include <string>
#include <vector>

#include "rtl/Component.h"

namespace lang {

class TScene : public rtl::TComponent {
public:
  explicit TScene(rtl::TComponent* AOwner);
  ~TScene() override;
  std::string ClassName() const override { return "TvgScene"; }
  rtl::TComponentRole Role() const override { return rtl::TComponentRole::Scene; }

  // Adds a text the scene shows; returns its index.
  int AddText(const std::string& AOriginal);
  void SetOriginal(int AIndex, const std::string& AOriginal);
  const std::string& Original(int AIndex) const { return FTexts.at(Index(AIndex)).Original; }
  const std::string& Shown(int AIndex) const { return FTexts.at(Index(AIndex)).Shown; }
  int TextCount() const { return static_cast<int>(FTexts.size()); }
  // Shows every text through TranslateText again.
  virtual void ApplyTranslations();

private:
  static std::size_t Index(int AIndex) { return static_cast<std::size_t>(AIndex); }
  struct TText {
    std::string Original;
    std::string Shown;
  };
  std::vector<TText> FTexts;
};

// Tells every live scene to re-apply its texts.
void RefreshScenes();
int LiveSceneCount();

} // namespace lang

#include "lang/Scene.h"

#include <algorithm>

#include "lang/Translation.h"

namespace lang {

namespace {
std::vector<TScene*>& LiveScenes() {
  static std::vector<TScene*> Scenes;
  return Scenes;
}
} // namespace

TScene::TScene(rtl::TComponent* AOwner) : rtl::TComponent(AOwner) {
  LiveScenes().push_back(this);
}

TScene::~TScene() {
  auto& Scenes = LiveScenes();
  Scenes.erase(std::remove(Scenes.begin(), Scenes.end(), this), Scenes.end());
}

int TScene::AddText(const std::string& AOriginal) {
  FTexts.push_back({AOriginal, TranslateText(AOriginal)});
  return TextCount() - 1;
}

void TScene::SetOriginal(int AIndex, const std::string& AOriginal) {
  TText& Text = FTexts.at(Index(AIndex));
  Text.Original = AOriginal;
  Text.Shown = TranslateText(AOriginal);
}

void TScene::ApplyTranslations() {
  for (TText& Text : FTexts) {
    Text.Shown = TranslateText(Text.Original);
  }
}

void RefreshScenes() {
  // A scene may not add or remove scenes while it refreshes; a copy keeps the walk safe anyway.
  const std::vector<TScene*> Scenes = LiveScenes();
  for (TScene* Scene : Scenes) {
    Scene->ApplyTranslations();
  }
}

int LiveSceneCount() {
  return static_cast<int>(LiveScenes().size());
}

} // namespace lang

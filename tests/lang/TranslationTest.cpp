#include <gtest/gtest.h>

#include "lang/Scene.h"
#include "lang/Translation.h"

namespace {

using namespace lang;

class TranslationTest : public ::testing::Test {
protected:
  ~TranslationTest() override { RemoveTranslationTable(); }
};

TEST_F(TranslationTest, WithoutATableTextsStayAsTheyAre) {
  RemoveTranslationTable();
  EXPECT_FALSE(HasActiveTranslationTable());
  EXPECT_EQ(TranslateText("About"), "About");
  EXPECT_EQ(TranslateText(""), "");
}

TEST_F(TranslationTest, LookupIsExactAndCaseSensitive) {
  ActivateTranslationTable(
      {"About=T", "Basic=Basic ", "Empty=", "a=b=c", "About=Second", "Abou t=no", "About me=no"});
  // Of two lines for one original the first in sorted order wins.
  EXPECT_EQ(TranslateText("About"), "Second");
  EXPECT_EQ(TranslateText("about"), "about");
  EXPECT_EQ(TranslateText("Abou"), "Abou");
  EXPECT_EQ(TranslateText("Basic"), "Basic ");
  EXPECT_EQ(TranslateText("Empty"), "Empty");
  // The name ends at the first "=": an original holding "=" is never translated.
  EXPECT_EQ(TranslateText("a=b"), "a=b");
  EXPECT_EQ(TranslateText("a"), "b=c");
  EXPECT_EQ(TranslateText(""), "");
}

TEST_F(TranslationTest, ScenesFollowActivationAndReturnToOriginalsOnRemoval) {
  TScene Scene(nullptr);
  const int Title = Scene.AddText("OK");
  const int Other = Scene.AddText("Untranslated");
  ActivateTranslationTable({"OK=\xE7\xA1\xAE\xE5\xAE\x9A"});
  EXPECT_EQ(Scene.Shown(Title), "\xE7\xA1\xAE\xE5\xAE\x9A");
  EXPECT_EQ(Scene.Shown(Other), "Untranslated");

  // While the old table goes, a scene sees translations map back to their originals.
  struct TProbe : TScene {
    TProbe() : TScene(nullptr) {}
    void ApplyTranslations() override {
      TScene::ApplyTranslations();
      if (TranslationReverting()) {
        Reverted = TranslateText("\xE7\xA1\xAE\xE5\xAE\x9A");
      }
    }
    std::string Reverted;
  } Probe;
  RemoveTranslationTable();
  EXPECT_EQ(Probe.Reverted, "OK");
  EXPECT_EQ(Scene.Shown(Title), "OK");
  EXPECT_FALSE(TranslationReverting());
  Scene.SetOriginal(Other, "OK");
  EXPECT_EQ(Scene.Shown(Other), "OK");
}

} // namespace

// The component base: a name, an owner that destroys what it owns (last created first), a
// class name, and the text properties ("Caption", "Hint") reached by name so that a language
// walk can translate any component tree.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rtl {

// What a language walk made of one text: the original it translated and the text it showed
// in its place. A text that no longer reads as shown was set anew since and is its own
// original.
struct TTextOrigin {
  std::string Original;
  std::string Shown;
  bool Known = false;

  const std::string& OriginalOf(const std::string& ACurrent) const {
    return Known && ACurrent == Shown ? Original : ACurrent;
  }
  void Remember(const std::string& AOriginal, const std::string& AShown) {
    Original = AOriginal;
    Shown = AShown;
    Known = true;
  }
};

// What a component is to the walks that visit component trees.
enum class TComponentRole { Component, Form, DataModule, Application, Scene };

class TComponent {
public:
  // A component with an owner must be created with new; the owner deletes it.
  explicit TComponent(TComponent* AOwner);
  virtual ~TComponent();

  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  void SetName(const std::string& AName) { FName = AName; }
  virtual std::string ClassName() const { return "TComponent"; }
  virtual TComponentRole Role() const { return TComponentRole::Component; }
  // The item texts of a list-bearing control (menu, tabs, status bar, ...); null for others.
  virtual std::vector<std::string>* TextItems() { return nullptr; }

  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  // Null when AIndex is out of range.
  TComponent* Components(int AIndex) const;
  // Owned component by name, compared without regard to ASCII case; null when absent.
  TComponent* FindComponent(std::string_view AName) const;
  // Destroys every owned component, the most recently created first.
  void DestroyComponents();

  // Text properties by name. False when this component has no such property.
  bool GetTextProperty(std::string_view AName, std::string& AValue) const;
  bool SetTextProperty(std::string_view AName, const std::string& AValue);
  bool HasTextProperty(std::string_view AName) const;
  // The origins of a text property (null when there is no such property) and of the item
  // texts, kept with the component so that every walk, whichever language component runs
  // it, translates from the originals.
  TTextOrigin* TextPropertyOrigin(std::string_view AName);
  std::vector<TTextOrigin>& TextItemOrigins() { return FTextItemOrigins; }

protected:
  // Publishes a text field under a property name; the field must live as long as the
  // component.
  void PublishTextProperty(std::string_view AName, std::string* AField);
  // Called after SetTextProperty changed a published field.
  virtual void TextPropertyChanged(std::string_view AName) { (void)AName; }

private:
  struct TTextProperty {
    std::string Name;
    std::string* Field;
    TTextOrigin Origin;
  };
  const TTextProperty* FindTextProperty(std::string_view AName) const;
  TTextProperty* FindTextProperty(std::string_view AName);

  TComponent* FOwner;
  std::string FName;
  std::vector<TComponent*> FComponents;
  std::vector<TTextProperty> FTextProperties;
  std::vector<TTextOrigin> FTextItemOrigins;
};

// ASCII case-insensitive equality, as component, key and section names are compared.
bool SameText(std::string_view A, std::string_view B);

} // namespace rtl

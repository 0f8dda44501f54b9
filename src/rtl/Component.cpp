#include "rtl/Component.h"

#include <algorithm>

namespace rtl {

namespace {
char AsciiLower(char AChar) {
  return (AChar >= 'A' && AChar <= 'Z') ? static_cast<char>(AChar - 'A' + 'a') : AChar;
}
} // namespace

bool SameText(std::string_view A, std::string_view B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) {
           return AsciiLower(X) == AsciiLower(Y);
         });
}

TComponent::TComponent(TComponent* AOwner) : FOwner(AOwner) {
  if (FOwner != nullptr) {
    FOwner->FComponents.push_back(this);
  }
}

TComponent::~TComponent() {
  DestroyComponents();
  if (FOwner != nullptr) {
    auto& Siblings = FOwner->FComponents;
    Siblings.erase(std::remove(Siblings.begin(), Siblings.end(), this), Siblings.end());
  }
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) {
    // The child's destructor removes it from this list.
    delete FComponents.back();
  }
}

TComponent* TComponent::Components(int AIndex) const {
  if (AIndex < 0 || AIndex >= ComponentCount()) {
    return nullptr;
  }
  return FComponents[static_cast<std::size_t>(AIndex)];
}

TComponent* TComponent::FindComponent(std::string_view AName) const {
  if (AName.empty()) {
    return nullptr;
  }
  for (TComponent* Child : FComponents) {
    if (SameText(Child->Name(), AName)) {
      return Child;
    }
  }
  return nullptr;
}

void TComponent::PublishTextProperty(std::string_view AName, std::string* AField) {
  FTextProperties.push_back({std::string(AName), AField, TTextOrigin()});
}

TComponent::TTextProperty* TComponent::FindTextProperty(std::string_view AName) {
  for (TTextProperty& Property : FTextProperties) {
    if (SameText(Property.Name, AName)) {
      return &Property;
    }
  }
  return nullptr;
}

TTextOrigin* TComponent::TextPropertyOrigin(std::string_view AName) {
  TTextProperty* Property = FindTextProperty(AName);
  return Property != nullptr ? &Property->Origin : nullptr;
}

const TComponent::TTextProperty* TComponent::FindTextProperty(std::string_view AName) const {
  return const_cast<TComponent*>(this)->FindTextProperty(AName);
}

bool TComponent::HasTextProperty(std::string_view AName) const {
  return FindTextProperty(AName) != nullptr;
}

bool TComponent::GetTextProperty(std::string_view AName, std::string& AValue) const {
  const TTextProperty* Property = FindTextProperty(AName);
  if (Property == nullptr) {
    return false;
  }
  AValue = *Property->Field;
  return true;
}

bool TComponent::SetTextProperty(std::string_view AName, const std::string& AValue) {
  const TTextProperty* Property = FindTextProperty(AName);
  if (Property == nullptr) {
    return false;
  }
  if (*Property->Field != AValue) {
    *Property->Field = AValue;
    TextPropertyChanged(Property->Name);
  }
  return true;
}

} // namespace rtl

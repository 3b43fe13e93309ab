// SPDX-License-Identifier: Apache-2.0
#include "varnel/core/component.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <sstream>

#include "varnel/core/faults.h"

namespace varnel {

TComponent::TComponent(TComponent* AOwner) : FOwner(AOwner) {
  if (FOwner) FOwner->FComponents.push_back(this);
}

TComponent::~TComponent() {
  // Each owned component leaves this list in its own destructor.
  while (!FComponents.empty()) {
    TComponent* Child = FComponents.back();
    const std::unique_ptr<TComponent> Owned(Child);
    Owned->FOwner = nullptr;
    FComponents.pop_back();
  }
  if (FOwner) {
    auto& Siblings = FOwner->FComponents;
    Siblings.erase(std::remove(Siblings.begin(), Siblings.end(), this), Siblings.end());
  }
}

namespace {

// The class registry: registration may run in any thread at any time, so
// every reader and writer holds the lock; a factory is copied out and called
// outside it, since it may itself register.
struct TClassRegistry {
  std::shared_mutex Lock;
  std::map<std::string, TComponentFactory> Classes;
};

TClassRegistry& Registry() {
  static TClassRegistry Instance;
  return Instance;
}

std::string Trim(const std::string& Text) {
  const auto First = Text.find_first_not_of(" \t\r\n");
  if (First == std::string::npos) return {};
  const auto Last = Text.find_last_not_of(" \t\r\n");
  return Text.substr(First, Last - First + 1);
}

[[noreturn]] void Malformed(const std::string& What) { throw EConvertError("Error reading form: " + What); }

}  // namespace

void RegisterComponentClass(const std::string& ClassName, TComponentFactory Factory) {
  TClassRegistry& R = Registry();
  const std::unique_lock<std::shared_mutex> Hold(R.Lock);
  R.Classes[ClassName] = std::move(Factory);
}

bool IsComponentClassRegistered(const std::string& ClassName) {
  TClassRegistry& R = Registry();
  const std::shared_lock<std::shared_mutex> Hold(R.Lock);
  return R.Classes.count(ClassName) > 0;
}

std::unique_ptr<TComponent> CreateComponentByClassName(const std::string& ClassName) {
  TComponentFactory Factory;
  {
    TClassRegistry& R = Registry();
    const std::shared_lock<std::shared_mutex> Hold(R.Lock);
    const auto Found = R.Classes.find(ClassName);
    if (Found == R.Classes.end()) return nullptr;
    Factory = Found->second;
  }
  return Factory();
}

std::string WriteComponentToText(TComponent& Component) {
  std::string Text = "object " + Component.Name() + ": " + Component.ClassName() + "\r\n";
  for (const TPublishedProperty& Property : Component.Published()) {
    Text += "  " + Property.Name + " = " + Property.Read() + "\r\n";
  }
  return Text + "end\r\n";
}

std::unique_ptr<TComponent> ReadComponentFromText(const std::string& Text) {
  std::istringstream Lines(Text);
  std::string Line;
  if (!std::getline(Lines, Line)) Malformed("empty form");
  Line = Trim(Line);
  const auto Colon = Line.find(':');
  if (Line.rfind("object ", 0) != 0 || Colon == std::string::npos) Malformed("expected 'object'");
  const std::string ClassName = Trim(Line.substr(Colon + 1));
  std::unique_ptr<TComponent> Component = CreateComponentByClassName(ClassName);
  if (!Component) throw EConvertError("Class " + ClassName + " not found");
  Component->SetName(Trim(Line.substr(7, Colon - 7)));
  const auto Properties = Component->Published();
  while (std::getline(Lines, Line)) {
    Line = Trim(Line);
    if (Line == "end") return Component;
    const auto Equals = Line.find('=');
    if (Equals == std::string::npos) Malformed("expected 'Property = Value'");
    const std::string Name = Trim(Line.substr(0, Equals));
    const auto Property = std::find_if(Properties.begin(), Properties.end(),
                                       [&](const TPublishedProperty& P) { return P.Name == Name; });
    if (Property == Properties.end()) Malformed("property " + Name + " does not exist");
    Property->Write(Trim(Line.substr(Equals + 1)));
  }
  Malformed("expected 'end'");
}

}  // namespace varnel

// SPDX-License-Identifier: Apache-2.0
// The framework's component: owner-managed lifetime, a name, and persistence
// of published properties through a text form stream.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "varnel/export.h"

namespace varnel {

// One published property: its name and how to read and write it as text.
struct TPublishedProperty {
  std::string Name;
  std::function<std::string()> Read;
  std::function<void(const std::string&)> Write;  // raises EConvertError on a bad value
};

class VARNEL_API TComponent {
 public:
  // A component with an owner belongs to it: the owner destroys it, so such
  // a component must live on the heap (see CreateOwned). A component
  // destroyed before its owner leaves the owner's list.
  explicit TComponent(TComponent* AOwner = nullptr);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int Index) const { return FComponents.at(Index); }

  const std::string& Name() const { return FName; }
  void SetName(std::string Value) { FName = std::move(Value); }

  virtual std::string ClassName() const { return "TComponent"; }
  // The published properties, in the order in which they are written.
  virtual std::vector<TPublishedProperty> Published() { return {}; }

 private:
  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;  // owned; destroyed with this component
  std::string FName;
};

// Creates a T that belongs to Owner and returns it; Owner destroys it.
template <class T>
T& CreateOwned(TComponent& Owner) {
  return *std::make_unique<T>(&Owner).release();
}

// The class registry: a component class is found by its class name.
using TComponentFactory = std::function<std::unique_ptr<TComponent>()>;
VARNEL_API void RegisterComponentClass(const std::string& ClassName, TComponentFactory Factory);
VARNEL_API bool IsComponentClassRegistered(const std::string& ClassName);
// Null when no class of that name is registered.
VARNEL_API std::unique_ptr<TComponent> CreateComponentByClassName(const std::string& ClassName);

// Writes the component as a text form ("object Name: TClass", one
// "Property = Value" line per published property, "end"; lines end in "\r\n").
VARNEL_API std::string WriteComponentToText(TComponent& Component);
// Reads a text form back into a new component of the class it names;
// raises EConvertError on an unknown class or property or a bad value.
VARNEL_API std::unique_ptr<TComponent> ReadComponentFromText(const std::string& Text);

}  // namespace varnel

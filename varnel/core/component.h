// SPDX-License-Identifier: Apache-2.0
/// \file
/// The framework's component: owner-managed lifetime, a name, and persistence
/// of published properties through a text form stream.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "varnel/export.h"

namespace varnel {

/// One published property: its name and how to read and write it as text.
struct TPublishedProperty {
  std::string Name;  ///< the property's name, as the text form writes it
  std::function<std::string()> Read;  ///< the property's value as text
  std::function<void(const std::string&)> Write;  ///< raises EConvertError on a bad value
};

/// The base of the library's components: an owner that destroys the
/// components it owns, a name, and the published properties that the text
/// form writes and reads.
class VARNEL_API TComponent {
 public:
  /// A component with an owner belongs to it: the owner destroys it, so such
  /// a component must live on the heap (see CreateOwned). A component
  /// destroyed before its owner leaves the owner's list.
  explicit TComponent(TComponent* AOwner = nullptr);
  /// Destroys the components this one owns, and leaves its owner's list.
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;  ///< not copyable: ownership is by address
  TComponent& operator=(const TComponent&) = delete;  ///< not copyable

  /// The owner, or null for a component that belongs to none.
  TComponent* Owner() const { return FOwner; }
  /// How many components this one owns.
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  /// The owned component at Index (0-based, in the order of creation);
  /// std::out_of_range outside 0..ComponentCount() − 1.
  TComponent* Components(int Index) const { return FComponents.at(Index); }

  /// The component's name, empty until set.
  const std::string& Name() const { return FName; }
  /// Sets the component's name.
  void SetName(std::string Value) { FName = std::move(Value); }

  /// The name of the component's class, as the registry and the text form know it.
  virtual std::string ClassName() const { return "TComponent"; }
  /// The published properties, in the order in which they are written.
  virtual std::vector<TPublishedProperty> Published() { return {}; }

 private:
  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;  // owned; destroyed with this component
  std::string FName;
};

/// Creates a T that belongs to Owner and returns it; Owner destroys it.
template <class T>
T& CreateOwned(TComponent& Owner) {
  return *std::make_unique<T>(&Owner).release();
}

/// The class registry: a component class is found by its class name. A
/// factory makes a new component of its class, with no owner.
using TComponentFactory = std::function<std::unique_ptr<TComponent>()>;
/// Registers Factory under ClassName, replacing a factory registered under
/// that name before. Safe from any thread.
VARNEL_API void RegisterComponentClass(const std::string& ClassName, TComponentFactory Factory);
/// Whether a class of that name is registered.
VARNEL_API bool IsComponentClassRegistered(const std::string& ClassName);
/// A new component of the class registered under ClassName; null when no
/// class of that name is registered.
VARNEL_API std::unique_ptr<TComponent> CreateComponentByClassName(const std::string& ClassName);

/// Writes the component as a text form ("object Name: TClass", one
/// "Property = Value" line per published property, "end"; lines end in "\r\n").
VARNEL_API std::string WriteComponentToText(TComponent& Component);
/// Reads a text form back into a new component of the class it names;
/// raises EConvertError on an unknown class or property or a bad value.
VARNEL_API std::unique_ptr<TComponent> ReadComponentFromText(const std::string& Text);

}  // namespace varnel

// SPDX-License-Identifier: Apache-2.0
// Design-time integration: the component-editor base class, the component's
// own editor with its six context-menu verbs, and the palette registry that a
// host application queries.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "varnel/core/component.h"
#include "varnel/export.h"

// The functions marked VARNEL_API are exported from the shared library for
// the varnel tool, which uses them; this header is not installed.

namespace varnel {

class TComponentEditor {
 public:
  explicit TComponentEditor(TComponent* AComponent) : FComponent(AComponent) {}
  virtual ~TComponentEditor() = default;
  TComponent* Component() const { return FComponent; }

  // The designer's default action: the first verb, when there is one.
  virtual void Edit() {
    if (VerbCount() > 0) RunVerb(0);
  }
  virtual void RunVerb(int /*Index*/) {}
  virtual std::string VerbCaption(int /*Index*/) { return {}; }
  virtual int VerbCount() { return 0; }
  virtual void Copy() {}

 private:
  TComponent* FComponent;
};

// The editor of TKorlen: switches the data scan and the significance level
// and shows the example and about texts, through the component's virtual
// operations so that a descendant's overrides take effect.
class TSampleEditor : public TComponentEditor {
 public:
  using TComponentEditor::TComponentEditor;
  void RunVerb(int Index) override;
  std::string VerbCaption(int Index) override;
  int VerbCount() override { return 6; }
};

using TEditorFactory = std::function<std::unique_ptr<TComponentEditor>(TComponent*)>;

// Puts the named (already registered) component classes on a palette page.
void RegisterComponents(const std::string& Page, const std::vector<std::string>& ClassNames);
// Makes Factory the editor of components of the named class.
void RegisterComponentEditor(const std::string& ClassName, TEditorFactory Factory);

// Registers TKorlen on the page "Stats", then TSampleEditor as its editor.
VARNEL_API void Register();

// What a host application asks of the registry.
std::vector<std::string> PalettePages();
std::vector<std::string> PaletteClasses(const std::string& Page);
// Null when no editor is registered for the component's class.
VARNEL_API std::unique_ptr<TComponentEditor> ComponentEditorOf(TComponent* Component);
// The 24 × 24, 16-colour device-independent bitmap shown on the palette for
// a class, by its resource name (the class name in capitals); empty if none.
std::string PaletteBitmap(const std::string& ResourceName);

}  // namespace varnel

// SPDX-License-Identifier: Apache-2.0
#include "varnel/design/editor.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <shared_mutex>

#include "varnel/korlen.h"

namespace varnel {
namespace {

const char* const kVerbCaptions[] = {"ScanData-On", "ScanData-Off", "Alpha .99", "Alpha .95", "Example...", "About..."};

// Registration may run in any thread at any time: every reader and writer
// holds the lock, and an editor factory is called outside it.
struct TRegistry {
  std::shared_mutex Lock;
  std::vector<std::pair<std::string, std::vector<std::string>>> Pages;  // in registration order
  std::map<std::string, TEditorFactory> Editors;
};

TRegistry& Registry() {
  static TRegistry Instance;
  return Instance;
}

}  // namespace

void TSampleEditor::RunVerb(int Index) {
  auto* Korlen = dynamic_cast<TKorlen*>(Component());
  if (Korlen == nullptr) return;
  switch (Index) {
    case 0: Korlen->SafetyHiSet(); break;
    case 1: Korlen->SafetyLoSet(); break;
    case 2: Korlen->Alpha99Set(); break;
    case 3: Korlen->Alpha95Set(); break;
    case 4: Korlen->ShowExample(); break;
    case 5: Korlen->ShowAbout(); break;
    default: break;
  }
}

std::string TSampleEditor::VerbCaption(int Index) {
  return Index >= 0 && Index < 6 ? kVerbCaptions[Index] : "";
}

void RegisterComponents(const std::string& Page, const std::vector<std::string>& ClassNames) {
  const std::unique_lock<std::shared_mutex> Hold(Registry().Lock);
  auto& Pages = Registry().Pages;
  auto Found = std::find_if(Pages.begin(), Pages.end(), [&](const auto& P) { return P.first == Page; });
  if (Found == Pages.end()) Found = Pages.insert(Pages.end(), {Page, {}});
  for (const std::string& Name : ClassNames) {
    if (std::find(Found->second.begin(), Found->second.end(), Name) == Found->second.end()) {
      Found->second.push_back(Name);
    }
  }
}

void RegisterComponentEditor(const std::string& ClassName, TEditorFactory Factory) {
  const std::unique_lock<std::shared_mutex> Hold(Registry().Lock);
  Registry().Editors[ClassName] = std::move(Factory);
}

void Register() {
  RegisterComponents("Stats", {"TKorlen"});
  RegisterComponentEditor("TKorlen", [](TComponent* C) { return std::make_unique<TSampleEditor>(C); });
}

std::vector<std::string> PalettePages() {
  const std::shared_lock<std::shared_mutex> Hold(Registry().Lock);
  std::vector<std::string> Names;
  for (const auto& Page : Registry().Pages) Names.push_back(Page.first);
  return Names;
}

std::vector<std::string> PaletteClasses(const std::string& Page) {
  const std::shared_lock<std::shared_mutex> Hold(Registry().Lock);
  for (const auto& P : Registry().Pages) {
    if (P.first == Page) return P.second;
  }
  return {};
}

std::unique_ptr<TComponentEditor> ComponentEditorOf(TComponent* Component) {
  if (Component == nullptr) return nullptr;
  TEditorFactory Factory;
  {
    const std::shared_lock<std::shared_mutex> Hold(Registry().Lock);
    const auto Found = Registry().Editors.find(Component->ClassName());
    if (Found == Registry().Editors.end()) return nullptr;
    Factory = Found->second;
  }
  return Factory(Component);
}

}  // namespace varnel
